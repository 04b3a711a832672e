#include "rip/output_naming.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/text_codec.h"

namespace tonalda {
namespace {

// The longest name (in bytes) Linux file systems take.
constexpr std::size_t kMaxNameBytes = 255;

using text::utf8Prefix;

// The parts with a single hyphen between them, empty parts included ("-Title").
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string name;
    bool first = true;
    for (const std::string_view part : parts) {
        if (!first)
            name += '-';
        name += part;
        first = false;
    }
    return name;
}

// Fields of one version's set that the rules use.
struct NameFields {
    std::string_view title;
    std::string_view artist;
    std::string_view album;
};

std::string byRule(const NameFields& f, std::int32_t rule) {
    switch (rule) {
        case 1:
            return std::string(f.title);
        case 2:
            return joined({f.artist, f.title});
        case 3:
            return joined({f.title, f.artist});
        case 4:
            return joined({f.artist, f.album, f.title});
        case 5:
            return joined({f.album, f.title, f.artist});
        case 6:
            return joined({f.title, f.artist, f.album});
        case 7:
            return joined({f.title, f.album, f.artist});
        default:
            return {};
    }
}

// Creates one folder level inside an existing folder.
std::string makeFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directory(folder, error);
    if (error)
        return "Cannot create the folder \"" + folder.string() + "\": " + error.message();
    if (!std::filesystem::is_directory(folder, error))
        return "Cannot create the folder \"" + folder.string() + "\": " + std::strerror(ENOTDIR);
    return {};
}

}  // namespace

std::string safeNameComponent(std::string_view name) {
    std::string safe(utf8Prefix(name, kMaxNameBytes));
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '_';
    if (!safe.empty() && safe.find_first_not_of('.') == std::string::npos)
        safe.assign(safe.size(), '_');
    return safe;
}

std::string composeBaseName(std::string_view currentBaseName, const TagInfo& tag,
                            std::int32_t fileNameRule) {
    if (fileNameRule < 1 || fileNameRule > 7 || (!tag.isV1 && !tag.isV2))
        return std::string(currentBaseName);
    const NameFields fields = tag.isV1 ? NameFields{tag.Title1, tag.Artist1, tag.Album1}
                                       : NameFields{tag.Title2, tag.Artist2, tag.Album2};
    return safeNameComponent(byRule(fields, fileNameRule));
}

OutputFolder prepareOutputFolder(const std::filesystem::path& ripFolder, std::string_view artist,
                                 std::string_view album, std::int32_t subFolderRule) {
    if (subFolderRule < 0 || subFolderRule > 4)
        return {ripFolder, {}};

    std::vector<std::string> levels;
    switch (subFolderRule) {
        case 1:
            levels = {safeNameComponent(artist)};
            break;
        case 2:
            levels = {safeNameComponent(album)};
            break;
        case 3:
            levels = {safeNameComponent(joined({artist, album}))};
            break;
        case 4:
            levels = {safeNameComponent(artist), safeNameComponent(album)};
            break;
        default:
            break;
    }

    OutputFolder result{ripFolder, makeFolder(ripFolder)};
    for (const std::string& level : levels) {
        if (!result.ok())
            break;
        // An empty name adds no level: the files stay in the folder made so far.
        if (level.empty())
            continue;
        result.folder /= level;
        result.error = makeFolder(result.folder);
    }
    if (!result.ok())
        result.folder.clear();
    return result;
}

std::filesystem::path outputFilePath(const std::filesystem::path& folder, std::string_view baseName,
                                     std::string_view extension) {
    const std::string_view base = utf8Prefix(
        baseName, extension.size() < kMaxNameBytes ? kMaxNameBytes - extension.size() : 0);
    return folder / safeNameComponent(std::string(base) + std::string(extension));
}

}  // namespace tonalda
