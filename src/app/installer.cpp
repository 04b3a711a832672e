#include "app/installer.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <ostream>
#include <system_error>

#include "platform/registry.h"
#include "platform/user_dirs.h"

namespace tonalda {
namespace {

std::string userName() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name)
        return entry->pw_name;
    if (const char* user = std::getenv("USER"); user && user[0] != '\0')
        return user;
    return "user";
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

// Programs live in <prefix>/bin, the install folder in <prefix>/lib/tonalda.
std::filesystem::path installFolderBesideProgram() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path() / "lib" / "tonalda";
    return (program.parent_path().parent_path() / "lib" / "tonalda").lexically_normal();
}

bool existsWithType(const RegistryKey& key, const DefaultValue& value) {
    if (std::holds_alternative<std::uint32_t>(value.value))
        return key.readDword(value.name).has_value();
    return key.stringSize(value.name).has_value();
}

bool write(RegistryKey& key, const DefaultValue& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value.value))
        return key.writeDword(value.name, *number);
    return key.writeString(value.name, std::get<std::string>(value.value));
}

// The values whose strings name folders that the program writes into.
bool namesAFolder(const DefaultValue& value) {
    return (value.group == "Output" && (value.name == "Rippath" || value.name == "Encodepath")) ||
           (value.group == "Misc" && (value.name == "Temppath" || value.name == "CDDBpath"));
}

}  // namespace

InstallPlace InstallPlace::current() {
    return {installFolderBesideProgram(), homeFolder(), xdgCacheHome(), xdgDataHome(),
            userName() + "@" + hostName()};
}

std::vector<DefaultValue> defaultSettings(const InstallPlace& place) {
    std::vector<DefaultValue> values;
    const auto numbers = [&](const char* group,
                             std::initializer_list<std::pair<const char*, std::uint32_t>> list) {
        for (const auto& [name, number] : list)
            values.push_back({group, name, number});
    };
    const auto text = [&](const char* group, const char* name, std::string value) {
        values.push_back({group, name, std::move(value)});
    };

    text("Setup", "path", place.installFolder.string());
    numbers("MP3",
            {{"Copyright", 0},    {"CRC", 0},       {"Original", 1},      {"Private", 0},
             {"ReSampleRate", 0}, {"VBRHeader", 1}, {"SampleRate", 0},    {"Mode", 1},
             {"BPreset", 0},      {"Preset", 6},    {"CBR", 0},           {"CBitResorvoir", 0},
             {"BitRate", 14},     {"VBR", 1},       {"VBRQuality", 2},    {"MinBitRate", 0},
             {"MaxBitRate", 13},  {"ABR", 0},       {"ABitResorvoir", 0}, {"ABRBitRate", 192000}});
    numbers("OGG", {{"VBR", 1},
                    {"Quality", 50},
                    {"Samplerate", 0},
                    {"Minrate", 0},
                    {"Normrate", 0},
                    {"Maxrate", 0},
                    {"Mono", 0},
                    {"Stereo", 1},
                    {"Album", 1},
                    {"Artist", 1},
                    {"Comment", 1},
                    {"Title", 1},
                    {"Track", 1},
                    {"Year", 1},
                    {"Composer", 0},
                    {"Copyright", 0},
                    {"Encodedby", 0},
                    {"Orgartist", 0},
                    {"URL", 0}});
    numbers("WMA", {{"Bitrate", 4},
                    {"Samplerate", 0},
                    {"Stereo", 1},
                    {"Mono", 0},
                    {"DRM", 0},
                    {"Title", 1},
                    {"Artist", 1},
                    {"Album", 1},
                    {"Composer", 1},
                    {"Copyright", 1},
                    {"Comment", 1},
                    {"Encodedby", 0},
                    {"Orgartist", 0},
                    {"Track", 0},
                    {"URL", 0},
                    {"Year", 0}});
    numbers("CDRom", {{"Type", 0},
                      {"Unit", 0},
                      {"speed", 6},
                      {"Buffer", 26},
                      {"Jitter", 1},
                      {"Overlap", 3},
                      {"always", 1},
                      {"Onerr", 0},
                      {"never", 0}});
    text("Output", "Rippath", (place.home / "Music" / "Tonalda").string());
    text("Output", "Encodepath", (place.home / "Music" / "Tonalda" / "Converted").string());
    numbers("Output", {{"format", 1}, {"filename", 2}, {"Subfloder", 4}});
    numbers("FreeDB", {{"Server", 0}, {"Port", 80}});
    text("FreeDB", "QueryScript", "/~cddb/cddb.cgi");
    text("FreeDB", "SubmitScript", "/~cddb/submit.cgi");
    text("FreeDB", "email", place.email);
    numbers("FreeDB", {{"proxy", 0}});
    text("FreeDB", "proxyserver", "");
    numbers("FreeDB", {{"pport", 8080}, {"auth", 0}});
    text("FreeDB", "username", "");
    text("FreeDB", "pass", "");
    numbers("Misc", {{"ASPI", 0},
                     {"AutoDetect", 1},
                     {"Passthru", 0},
                     {"TOC", 1},
                     {"AutoRead", 1},
                     {"AutoSave", 0},
                     {"InitRipper", 1},
                     {"InitEnc", 0}});
    text("Misc", "Temppath", (place.cacheHome / "tonalda").string());
    text("Misc", "CDDBpath", (place.dataHome / "tonalda" / "cdlib").string());
    return values;
}

InstallReport install(Registry& registry, const std::vector<DefaultValue>& defaults, bool reset,
                      std::ostream& errors) {
    InstallReport report;
    std::unique_ptr<RegistryKey> key;
    std::string keyGroup;
    std::vector<std::filesystem::path> folders;
    for (const DefaultValue& value : defaults) {
        if (!key || keyGroup != value.group) {
            keyGroup = value.group;
            key = registry.createKey(registryKeyPath(value.group));
            if (!key) {
                errors << "tonalda-setup: cannot create the key " << registryKeyPath(value.group)
                       << " in " << registry.file().string() << "\n";
                report.ok = false;
                return report;
            }
        }
        if (!reset && existsWithType(*key, value)) {
            ++report.kept;
        } else if (write(*key, value)) {
            ++report.written;
        } else {
            errors << "tonalda-setup: cannot write " << value.group << "\\" << value.name
                   << " into " << registry.file().string() << "\n";
            report.ok = false;
        }
        if (namesAFolder(value)) {
            if (const auto stored = key->readString(value.name); stored && !stored->empty())
                folders.emplace_back(*stored);
        }
    }
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            errors << "tonalda-setup: cannot create the folder " << folder.string() << ": "
                   << error.message() << "\n";
            report.ok = false;
        }
    }
    return report;
}

}  // namespace tonalda
