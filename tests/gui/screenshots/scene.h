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
// virtual drive, and a prompter that reports any message box on stderr.
struct SceneSetup {
    std::filesystem::path scratch;
    Prompter& prompter;
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
