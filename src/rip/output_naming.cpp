#include "rip/output_naming.h"

#include <algorithm>
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

// Control characters (tab, newline, escape, DEL) and "/" and NUL become "_"; a name made only
// of dots has its dots replaced; a leading "-" becomes "_", so that no command-line tool takes
// the name for an option.
std::string withHarmlessCharacters(std::string name) {
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    if (!name.empty() && name.find_first_not_of('.') == std::string::npos)
        name.assign(name.size(), '_');
    if (!name.empty() && name.front() == '-')
        name.front() = '_';
    return name;
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// The parts that are not blank, with a single hyphen between them: a missing artist leaves no
// hyphen behind ("Title", not "-Title"). Empty when every part is blank.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string name;
    for (const std::string_view part : parts) {
        if (isBlank(part))
            continue;
        if (!name.empty())
            name += '-';
        name += part;
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
    return withHarmlessCharacters(std::string(utf8Prefix(name, kMaxComposedNameBytes)));
}

std::string composeBaseName(std::string_view currentBaseName, const TagInfo& tag,
                            std::int32_t fileNameRule) {
    if (fileNameRule < 1 || fileNameRule > 7 || (!tag.isV1 && !tag.isV2))
        return std::string(currentBaseName);
    const NameFields fields = tag.isV1 ? NameFields{tag.Title1, tag.Artist1, tag.Album1}
                                       : NameFields{tag.Title2, tag.Artist2, tag.Album2};
    const std::string composed = byRule(fields, fileNameRule);
    // Fields that are all blank would name the file by its extension alone, a hidden file.
    if (composed.empty())
        return std::string(currentBaseName);
    return safeNameComponent(composed);
}

OutputFolder prepareOutputFolder(const std::filesystem::path& ripFolder, std::string_view artist,
                                 std::string_view album, std::int32_t subFolderRule) {
    if (subFolderRule < 0 || subFolderRule > 4)
        return {ripFolder, {}};

    std::vector<std::string> levels;
    switch (subFolderRule) {
        case 1:
            levels = {safeNameComponent(joined({artist}))};
            break;
        case 2:
            levels = {safeNameComponent(joined({album}))};
            break;
        case 3:
            levels = {safeNameComponent(joined({artist, album}))};
            break;
        case 4:
            levels = {safeNameComponent(joined({artist})), safeNameComponent(joined({album}))};
            break;
        default:
            break;
    }

    OutputFolder result{ripFolder, makeFolder(ripFolder)};
    for (const std::string& level : levels) {
        if (!result.ok())
            break;
        // A blank name adds no level: the files stay in the folder made so far.
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
    const std::size_t room = std::max(extension.size(), kNameSuffixRoomBytes);
    const std::string_view base =
        utf8Prefix(baseName, room < kMaxNameBytes ? kMaxNameBytes - room : 0);
    return folder / withHarmlessCharacters(std::string(base) + std::string(extension));
}

}  // namespace tonalda
