#include "cdinfo/local_library.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cdinfo/disc_info.h"
#include "codecs/genres.h"
#include "platform/profile.h"

namespace tonalda {
namespace {

constexpr std::string_view kDiscSection = "CDINFO";

// One per-track section: its name and the tag field it holds (text, genre number or flag).
struct TagField {
    std::string_view section;
    std::string TagInfo::*text = nullptr;
    std::int32_t TagInfo::*number = nullptr;
    std::uint8_t TagInfo::*flag = nullptr;
    int defaultNumber = 0;  // what a missing number or flag reads as
};

// In the order they are written.
const std::array<TagField, 21> kTagFields = {{
    {"Title1", &TagInfo::Title1},
    {"Album1", &TagInfo::Album1},
    {"Artist1", &TagInfo::Artist1},
    {"Year1", &TagInfo::Year1},
    {"Genre1", nullptr, &TagInfo::Genre1, nullptr, kDefaultGenre},
    {"Track1", &TagInfo::Track1},
    {"Comment1", &TagInfo::Comment1},
    {"Title2", &TagInfo::Title2},
    {"Album2", &TagInfo::Album2},
    {"Artist2", &TagInfo::Artist2},
    {"Year2", &TagInfo::Year2},
    {"Genre2", nullptr, &TagInfo::Genre2, nullptr, 0},
    {"Track2", &TagInfo::Track2},
    {"Comment2", &TagInfo::Comment2},
    {"Composer", &TagInfo::Composer},
    {"OriArtist", &TagInfo::OriArtist},
    {"CopyRight", &TagInfo::CopyRight},
    {"URL", &TagInfo::URL},
    {"EncodeBy", &TagInfo::EncodeBy},
    {"isV1", nullptr, nullptr, &TagInfo::isV1},
    {"isV2", nullptr, nullptr, &TagInfo::isV2},
}};

std::string fieldText(const TagInfo& tag, const TagField& field) {
    if (field.text)
        return tag.*field.text;
    if (field.number)
        return std::to_string(tag.*field.number);
    return tag.*field.flag != 0 ? "1" : "0";
}

void readField(const std::filesystem::path& file, const std::string& key, const TagField& field,
               TagInfo& tag) {
    if (field.text)
        tag.*field.text = profile::readString(file, field.section, key, " ");
    else if (field.number)
        tag.*field.number = profile::readInt(file, field.section, key, field.defaultNumber);
    else
        tag.*field.flag = profile::readInt(file, field.section, key, field.defaultNumber) != 0;
}

struct TrackRange {
    int first = 0;
    int last = 0;
};

TrackRange trackRange(const DiscView& view) {
    const auto toc = view.lastToc();
    return toc ? TrackRange{toc->firstTrack, toc->lastTrack} : TrackRange{};
}

bool existsForWriting(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool existsForReading(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Empty when the file was created, else the reason.
std::string createEmpty(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return {};
}

}  // namespace

std::filesystem::path libraryFilePath(const std::filesystem::path& folder,
                                      std::uint32_t playerKey) {
    return folder / (playerKeyText(playerKey) + std::string(kLibraryExtension));
}

bool saveLocalLibrary(DiscView& view, const std::filesystem::path& folder) {
    const auto file = libraryFilePath(folder, view.readPlayerKey());
    if (!existsForWriting(file))
        return false;
    const TrackRange tracks = trackRange(view);
    const DiscInfo info = view.discInfo().snapshot();
    std::vector<profile::ProfileEntry> entries = {
        {std::string(kDiscSection), "num", std::to_string(tracks.last)},
        {std::string(kDiscSection), "artist", info.artist},
        {std::string(kDiscSection), "album", info.album},
        {std::string(kDiscSection), "genre", std::to_string(info.genreIndex)}};
    const int rows = view.rowCount();
    for (int track = tracks.first; track <= tracks.last && track - tracks.first < rows; ++track) {
        const TagInfo tag = view.rowTag(track - tracks.first);
        for (const TagField& field : kTagFields)
            entries.push_back(
                {std::string(field.section), std::to_string(track), fieldText(tag, field)});
    }
    // One replacement of the file: a crash during a save leaves the old file or the new one.
    return profile::writeStrings(file, entries);
}

bool readLocalLibrary(DiscView& view, const std::filesystem::path& folder,
                      std::string* notCreated) {
    const auto file = libraryFilePath(folder, view.readPlayerKey());
    if (!existsForReading(file)) {
        const std::string reason = createEmpty(file);
        if (notCreated)
            *notCreated = reason;
        return false;
    }
    const int count = profile::readInt(file, kDiscSection, "num", 0);
    view.discInfo().update([&](DiscInfo& info) {
        info.artist = profile::readString(file, kDiscSection, "artist", " ");
        info.album = profile::readString(file, kDiscSection, "album", " ");
        info.genreIndex = profile::readInt(file, kDiscSection, "genre", -1);
    });
    view.showDiscInfo();
    const int rows = std::min(count, view.rowCount());
    for (int row = 0; row < rows; ++row) {
        TagInfo tag;
        const std::string key = std::to_string(row + 1);
        for (const TagField& field : kTagFields)
            readField(file, key, field, tag);
        view.updateRowTag(row, [&](TagInfo& rowTag) { rowTag = tag; });
        view.setTrackTitle(row, tag.Title1);
    }
    return true;
}

bool writeCdPlayerIni(DiscView& view, const std::filesystem::path& iniFile) {
    const std::string section = playerKeyText(view.readPlayerKey());
    const TrackRange tracks = trackRange(view);
    const DiscInfo info = view.discInfo().snapshot();
    std::vector<profile::ProfileEntry> entries = {
        {section, "EntryType", "1"},
        {section, "artist", info.artist},
        {section, "title", info.album},
        {section, "genre", genreCategory(info.genreIndex)},
        {section, "numtracks", std::to_string(tracks.last)}};
    const int rows = view.rowCount();
    for (int row = 0; row <= tracks.last - tracks.first && row < rows; ++row)
        entries.push_back({section, std::to_string(row), view.rowTag(row).Title1});
    return profile::writeStrings(iniFile, entries);
}

void readCdPlayerIni(DiscView& view, const std::filesystem::path& iniFile) {
    const std::string section = playerKeyText(view.readPlayerKey());
    const TrackRange tracks = trackRange(view);
    const std::string artist = profile::readString(iniFile, section, "artist", " ");
    const std::string album = profile::readString(iniFile, section, "title", " ");
    const int genre =
        genreIndexOfCdPlayerGenre(profile::readString(iniFile, section, "genre", " "));
    view.discInfo().update([&](DiscInfo& info) {
        info.artist = artist;
        info.album = album;
        info.genreIndex = genre;
    });
    const int rows = view.rowCount();
    for (int row = tracks.first - 1; row <= tracks.last - 1; ++row) {
        if (row < 0 || row >= rows)
            continue;
        const std::string title = profile::readString(iniFile, section, std::to_string(row), " ");
        view.updateRowTag(row, [&](TagInfo& tag) {
            tag.isV1 = 1;
            tag.Artist1 = artist;
            tag.Album1 = album;
            tag.Genre1 = genre;
            tag.Title1 = title;
        });
        view.showDiscInfo();
        view.setTrackTitle(row, title);
    }
}

int genreIndexOfCdPlayerGenre(std::string_view genre) {
    for (int index = kGenreCount - 1; index >= 0; --index)
        if (genreCategory(index) == genre)
            return index;
    return -1;
}

}  // namespace tonalda
