// tonalda-setup: the installer. Writes every settings value into the hive, keeping the values
// that are already there unless --reset is given, and creates the folders the settings name.

#include <cstring>
#include <iostream>

#include "app/installer.h"
#include "platform/registry.h"

namespace {

void usage(std::ostream& out) {
    out << "Usage: tonalda-setup [--reset]\n"
           "Writes Tonalda's settings into the hive ($TONALDA_HIVE, else\n"
           "$XDG_CONFIG_HOME/tonalda/registry.reg), keeping values that exist already.\n"
           "  --reset  write every value again with its default\n";
}

}  // namespace

int main(int argc, char** argv) {
    bool reset = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reset") == 0) {
            reset = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(std::cout);
            return 0;
        } else {
            std::cerr << "tonalda-setup: unknown argument " << argv[i] << "\n";
            usage(std::cerr);
            return 2;
        }
    }
    tonalda::Registry& registry = tonalda::Registry::instance();
    const tonalda::InstallReport report = tonalda::install(
        registry, tonalda::defaultSettings(tonalda::InstallPlace::current()), reset, std::cerr);
    std::cout << "tonalda-setup: " << report.written << " values written, " << report.kept
              << " kept, in " << registry.file().string() << "\n";
    return report.ok ? 0 : 1;
}
