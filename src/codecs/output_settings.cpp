#include "codecs/output_settings.h"

#include "platform/registry.h"

namespace tonalda {

bool OutputSettings::load(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath(kOutputGroup), RegistryAccess::Read);
    if (!key)
        return false;
    if (!readDwordsInOrder(
            *key,
            {{"filename", &fileNameRule}, {"Subfloder", &subFolderRule}, {"format", &format}}))
        return false;
    // Value names compare without regard to case: "rippath" is the value saved as "Rippath".
    const std::pair<std::string_view, std::string*> strings[] = {{"rippath", &ripFolder},
                                                                 {"Encodepath", &encodeFolder}};
    for (const auto& [name, target] : strings) {
        auto value = key->readString(name);
        if (!value)
            return false;
        *target = std::move(*value);
    }
    return true;
}

bool OutputSettings::save(Registry& registry, const std::function<void()>& outputChanged) {
    const auto key = registry.openKey(registryKeyPath(kOutputGroup), RegistryAccess::Write);
    if (!key)
        return false;
    bool written = key->writeString("Rippath", ripFolder);
    written = key->writeString("Encodepath", encodeFolder) && written;
    written = key->writeDword("Subfloder", static_cast<std::uint32_t>(subFolderRule)) && written;
    written = key->writeDword("filename", static_cast<std::uint32_t>(fileNameRule)) && written;
    written = key->writeDword("format", static_cast<std::uint32_t>(format)) && written;
    const bool reloaded = load(registry);
    if (outputChanged)
        outputChanged();
    return written && reloaded;
}

OutputSettings& outputSettings() {
    static OutputSettings settings;
    return settings;
}

}  // namespace tonalda
