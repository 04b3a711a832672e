#include "codecs/settings_values.h"

namespace tonalda {

bool loadSettingsGroup(Registry& registry, std::string_view group, const DwordFields& values) {
    const auto key = registry.openKey(registryKeyPath(group), RegistryAccess::Read);
    if (!key)
        return false;
    for (const auto& value : values)
        if (!readDwordsInOrder(*key, {value}))
            return false;
    return true;
}

bool saveSettingsGroup(Registry& registry, std::string_view group, const DwordFields& values) {
    const auto key = registry.openKey(registryKeyPath(group), RegistryAccess::Write);
    if (!key)
        return false;
    bool allWritten = true;
    for (const auto& value : values)
        allWritten =
            key->writeDword(value.name, static_cast<std::uint32_t>(*value.target)) && allWritten;
    return allWritten;
}

}  // namespace tonalda
