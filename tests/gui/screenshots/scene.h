#pragma once
// The pictures `make screenshots` renders. Each scene builds one top-level widget in a known
// state; the tool shows it off screen, grabs it at the device pixel ratio it runs with and saves
// build/screenshots/<name>@<ratio>x.png. Add a scene by registering it in any .cpp file of this
// folder:
//
//     static const SceneRegistration kMyDialog("my-dialog", [](SceneSetup& setup) {
//         return std::make_unique<MyDialog>(...);
//     });

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tonalda {
class Prompter;
}

namespace tonalda::screenshots {

// What every scene may use: a scratch hive holding the installer's defaults, the demo disc in a
// virtual drive (drive 0 at full speed, drive 1 at eight times real time for pictures of a rip
// under way), a prompter that reports any message box on stderr, and the description of the
// chosen drive as the program shows it. A scene's window is gone before the next scene is made.
struct SceneSetup {
    std::filesystem::path scratch;
    Prompter& prompter;
    std::function<std::string()> driveDescription;
};

struct Scene {
    std::string name;
    std::function<std::unique_ptr<QWidget>(SceneSetup&)> make;
};

std::vector<Scene>& scenes();

struct SceneRegistration {
    SceneRegistration(std::string name, std::function<std::unique_ptr<QWidget>(SceneSetup&)> make) {
        scenes().push_back({std::move(name), std::move(make)});
    }
};

}  // namespace tonalda::screenshots
