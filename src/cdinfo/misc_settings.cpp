#include "cdinfo/misc_settings.h"

#include <utility>

#include "platform/registry.h"

namespace tonalda {

bool MiscSettings::load(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath(kMiscGroup), RegistryAccess::Read);
    if (!key)
        return false;
    if (!readDwordsInOrder(*key, {{"ASPI", &aspi},
                                  {"AutoDetect", &autoDetect},
                                  {"Passthru", &passthru},
                                  {"TOC", &toc},
                                  {"AutoRead", &autoRead},
                                  {"AutoSave", &autoSave},
                                  {"InitEnc", &initEnc},
                                  {"InitRipper", &initRipper}}))
        return false;
    const std::pair<std::string_view, std::string*> folders[] = {{"Temppath", &tempPath},
                                                                 {"CDDBpath", &cddbPath}};
    // A folder that is missing is skipped; one stored as another type cannot be read and fails
    // the load like an unreadable number.
    for (const auto& [name, target] : folders) {
        if (!key->hasValue(name))
            continue;
        auto value = key->readString(name);
        if (!value)
            return false;
        *target = std::move(*value);
    }
    return true;
}

bool MiscSettings::save(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath(kMiscGroup), RegistryAccess::Write);
    if (!key)
        return false;
    bool written = key->writeString("Temppath", tempPath, false);
    written = key->writeString("CDDBpath", cddbPath, false) && written;
    const std::pair<std::string_view, std::int32_t> flags[] = {
        {"AutoDetect", autoDetect}, {"ASPI", aspi},
        {"Passthru", passthru},     {"TOC", toc},
        {"AutoRead", autoRead},     {"AutoSave", autoSave},
        {"InitEnc", initEnc},       {"InitRipper", initRipper}};
    for (const auto& [name, value] : flags)
        written = key->writeDword(name, value != 0 ? 1 : 0) && written;
    return load(registry) && written;
}

MiscSettings& miscSettings() {
    static MiscSettings settings;
    return settings;
}

}  // namespace tonalda
