#include "cdaccess/cdrom_settings.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "cdaccess/cd_engine.h"
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
    return readDwordsInOrder(*key, {{"speed", &speed},
                                    {"Type", &type},
                                    {"Unit", &unit},
                                    {"Buffer", &blockSize},
                                    {"Jitter", &jitterCheck},
                                    {"Overlap", &overlap},
                                    {"always", &always},
                                    {"Onerr", &onError},
                                    {"never", &never}});
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

void applyJitterOptions(CdEngine& engine, int handle, const CdRomSettings& settings) {
    const auto jitterCheck = static_cast<std::uint32_t>(settings.jitterCheck);
    const auto overlap = static_cast<std::uint32_t>(settings.overlap);
    if (settings.always) {
        engine.setCdOption(handle, kCdOptionOverlap, overlap);
        engine.setCdOption(handle, kCdOptionJitterCheck, jitterCheck);
        engine.setCdOption(handle, kCdOptionJitterMode, 1);
    }
    if (settings.onError) {
        engine.setCdOption(handle, kCdOptionJitterMode, 2);
        engine.setCdOption(handle, kCdOptionJitterCheck, jitterCheck);
        engine.setCdOption(handle, kCdOptionOverlap, overlap);
    }
    if (settings.never)
        engine.setCdOption(handle, kCdOptionJitterMode, 0);
}

namespace {
// The list holds no more than its eight entries, whatever its count says.
int listedDrives(const CdDriveList& drives) {
    return std::min<int>(drives.count, static_cast<int>(std::size(drives.drives)));
}

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
}  // namespace

std::string driveDescription(const CdDriveList& drives, std::int32_t unit) {
    if (unit < 0 || unit >= listedDrives(drives))
        return {};
    const CdDriveEntry& drive = drives.drives[unit];
    return fieldText(drive.vendor) + " " + fieldText(drive.product);
}

std::vector<std::string> driveListLines(const CdDriveList& drives) {
    std::vector<std::string> lines;
    for (int unit = 0; unit < listedDrives(drives); ++unit) {
        const CdDriveEntry& drive = drives.drives[unit];
        lines.push_back(fieldText(drive.vendor) + " " + fieldText(drive.product) + " " +
                        fieldText(drive.revision) + " " + fieldText(drive.vendorSpecific));
    }
    return lines;
}

std::uint16_t speedKBps(std::int32_t choice) {
    if (choice < 0 || choice >= 6)
        return kMaxSpeed;
    return static_cast<std::uint16_t>(176u << choice);
}

}  // namespace tonalda
