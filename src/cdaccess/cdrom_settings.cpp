#include "cdaccess/cdrom_settings.h"

#include "platform/registry.h"

namespace tonalda {

CdRomSettings& cdRomSettings() {
    static CdRomSettings settings;
    return settings;
}

bool CdRomSettings::load(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath(kCdRomGroup), RegistryAccess::Read);
    if (!key)
        return false;
    const std::pair<std::string_view, std::int32_t*> order[] = {
        {"speed", &speed},      {"Type", &type},          {"Unit", &unit},
        {"Buffer", &blockSize}, {"Jitter", &jitterCheck}, {"Overlap", &overlap},
        {"always", &always},    {"Onerr", &onError},      {"never", &never}};
    for (const auto& [name, field] : order) {
        const auto value = key->readDword(name);
        if (!value)
            return false;
        *field = static_cast<std::int32_t>(*value);
    }
    return true;
}

bool CdRomSettings::save(Registry& registry) {
    {
        const auto key =
            registry.openKey("SOFTWARE\\Quarrowind\\Tonalda\\CDROM", RegistryAccess::Write);
        if (!key)
            return false;
        const std::pair<std::string_view, std::int32_t> order[] = {
            {"Unit", unit},          {"Type", type},       {"Always", always},
            {"Never", never},        {"Onerr", onError},   {"Speed", speed},
            {"Jitter", jitterCheck}, {"Overlap", overlap}, {"Buffer", blockSize}};
        for (const auto& [name, value] : order)
            key->writeDword(name, static_cast<std::uint32_t>(value));  // failures not reported
    }
    return load(registry);
}

std::uint16_t speedKBps(std::int32_t choice) {
    if (choice < 0 || choice >= 6)
        return kMaxSpeed;
    return static_cast<std::uint16_t>(176u << choice);
}

}  // namespace tonalda
