#include "codecs/id3_writer.h"

#include <id3/tag.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codecs/genres.h"
#include "platform/atomic_file.h"
#include "platform/text_codec.h"

namespace tonalda {
namespace {

// id3lib writes the units of a UTF-16 frame in the opposite byte order to the byte-order mark it
// puts in front of them, so the units are handed over already swapped.
std::vector<unicode_t> id3libUtf16(std::string_view utf8) {
    const std::u16string units = text::utf8ToUtf16(utf8);
    std::vector<unicode_t> swapped;
    swapped.reserve(units.size() + 1);
    for (const char16_t unit : units)
        swapped.push_back(static_cast<unicode_t>(((unit & 0xFF) << 8) | (unit >> 8)));
    swapped.push_back(0);
    return swapped;
}

// A URL field is ISO-8859-1 only: characters beyond it are percent-encoded as UTF-8 bytes, the way
// an international resource name becomes a URL, instead of turning into question marks.
std::string urlText(std::string_view utf8) {
    if (text::fitsLatin1(utf8))
        return text::utf8ToLatin1(utf8);
    std::string url;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            url += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            url += escaped;
        }
    }
    return url;
}

std::string genreText(std::int32_t genre) {
    char text[16];
    std::snprintf(text, sizeof text, "(%lu)",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(genre)));
    return text;
}

enum class TextVersion { V1, V2 };

// Adds one frame with the named field set; true when the frame holds bytes 0xFF, which
// unsynchronisation would change: its text is UTF-16 (the byte-order mark) or a Latin-1 text
// with "\u00ff". The tag takes the frame as it is (AttachFrame): AddFrame's copy of a frame frees
// memory with the wrong form of delete inside id3lib.
bool addTextFrame(ID3_Tag& tag, ID3_FrameID id, std::string_view utf8, TextVersion version) {
    auto frame = std::make_unique<ID3_Frame>(id);
    bool utf16 = false;
    std::string latin1;
    if (id == ID3FID_WWWUSER) {
        latin1 = urlText(utf8);
        frame->GetField(ID3FN_URL)->Set(latin1.c_str());
    } else if (version == TextVersion::V1 || text::fitsLatin1(utf8)) {
        latin1 = text::utf8ToLatin1(utf8);
        frame->GetField(ID3FN_TEXT)->Set(latin1.c_str());
    } else {
        frame->GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
        // Every text field of the frame follows the frame's encoding, the empty comment
        // description included; otherwise readers mis-parse the frame.
        for (const ID3_FieldID field : {ID3FN_TEXT, ID3FN_DESCRIPTION})
            if (ID3_Field* textField = frame->GetField(field))
                textField->SetEncoding(ID3TE_UTF16);
        frame->GetField(ID3FN_TEXT)->Set(id3libUtf16(utf8).data());
        utf16 = true;
    }
    tag.AttachFrame(frame.release());
    return utf16 || latin1.find('\xFF') != std::string::npos;
}

// Unsynchronisation is kept for tags it leaves as they are. A tag with bytes 0xFF (UTF-16
// frames, "\u00ff") is written without it: FFmpeg-based players misread such a tag
// unsynchronised, dropping frames and cutting titles.
bool writeTag(ID3_Tag& tag, ID3_TagType type, bool unsync) {
    tag.SetPadding(false);
    tag.SetUnsync(unsync);
    return (tag.Update(type) & type) != 0;
}

// One frame of a version's tag and the record field whose text it carries, in writing order.
struct FrameSource {
    ID3_FrameID id;
    std::string TagInfo::*text;
};

constexpr FrameSource kVersion1Frames[] = {
    {ID3FID_TITLE, &TagInfo::Title1},     {ID3FID_LEADARTIST, &TagInfo::Artist1},
    {ID3FID_COMMENT, &TagInfo::Comment1}, {ID3FID_ALBUM, &TagInfo::Album1},
    {ID3FID_TRACKNUM, &TagInfo::Track1},  {ID3FID_YEAR, &TagInfo::Year1},
};

constexpr FrameSource kVersion2Frames[] = {
    {ID3FID_TITLE, &TagInfo::Title2},         {ID3FID_LEADARTIST, &TagInfo::Artist2},
    {ID3FID_COMMENT, &TagInfo::Comment2},     {ID3FID_COMPOSER, &TagInfo::Composer},
    {ID3FID_ALBUM, &TagInfo::Album2},         {ID3FID_TRACKNUM, &TagInfo::Track2},
    {ID3FID_YEAR, &TagInfo::Year2},           {ID3FID_WWWUSER, &TagInfo::URL},
    {ID3FID_ORIGARTIST, &TagInfo::OriArtist}, {ID3FID_COPYRIGHT, &TagInfo::CopyRight},
    {ID3FID_ENCODEDBY, &TagInfo::EncodeBy},
};

bool writeVersion1(ID3_Tag& tag, const TagInfo& info) {
    for (const auto& source : kVersion1Frames)
        addTextFrame(tag, source.id, info.*source.text, TextVersion::V1);
    if (isGenreNumber(info.Genre1))
        addTextFrame(tag, ID3FID_CONTENTTYPE, genreText(info.Genre1), TextVersion::V1);
    return writeTag(tag, ID3TT_ID3V1, true);
}

bool writeVersion2(ID3_Tag& tag, const TagInfo& info, std::span<const FrameSource> frames,
                   std::optional<std::int32_t> genre) {
    bool holdsFF = false;
    for (const auto& source : frames)
        holdsFF = addTextFrame(tag, source.id, info.*source.text, TextVersion::V2) || holdsFF;
    if (genre)
        addTextFrame(tag, ID3FID_CONTENTTYPE, genreText(*genre), TextVersion::V2);
    return writeTag(tag, ID3TT_ID3V2, !holdsFF);
}

// Whether a version 1 field holds text that ISO-8859-1, and so an ID3v1 tag, cannot hold.
bool version1NeedsUnicode(const TagInfo& info) {
    for (const auto& source : kVersion1Frames)
        if (!text::fitsLatin1(info.*source.text))
            return true;
    return false;
}

bool markEmptyUtf16Descriptions(const std::filesystem::path& file);

// The version 2 tag in a fresh tag object that reads nothing from the file, so that the version 1
// frames added before (and the version 1 tag now at the end of the file) take no part in it.
bool writeVersion2Tag(const std::filesystem::path& file, const TagInfo& info,
                      std::span<const FrameSource> frames, std::optional<std::int32_t> genre,
                      const std::string& comment) {
    ID3_Tag version2;
    version2.Link(file.string().c_str(), ID3TT_NONE);
    bool written = writeVersion2(version2, info, frames, genre);
    if (!text::fitsLatin1(comment))
        written = markEmptyUtf16Descriptions(file) && written;
    return written;
}

std::uint32_t syncsafe(const unsigned char* p) {
    return std::uint32_t{p[0]} << 21 | std::uint32_t{p[1]} << 14 | std::uint32_t{p[2]} << 7 | p[3];
}

void putSyncsafe(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (7 * (3 - i)) & 0x7F);
}

std::uint32_t bigEndian(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void putBigEndian(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * (3 - i)));
}

// id3lib writes an empty UTF-16 string as its terminator alone, while ID3v2.3 starts every
// UTF-16 string with a byte-order mark; FFmpeg-based players skip a comment frame whose empty
// description lacks it. The version 2 tag at the start of the file (as written above: not
// unsynchronised, no extended header) gets the mark in each such description.
bool markEmptyUtf16Descriptions(const std::filesystem::path& file) {
    FileContents contents = readWholeFile(file);
    if (contents.status != FileContents::Status::Read)
        return false;
    std::string& bytes = contents.bytes;
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    if (bytes.size() < 10 || bytes.compare(0, 4, "ID3\x03") != 0 || (data[5] & 0xC0) != 0)
        return true;
    std::size_t end = 10 + syncsafe(data + 6);
    std::size_t at = 10;
    bool changed = false;
    while (at + 10 <= end && end <= bytes.size() && std::isalnum(data[at])) {
        std::uint32_t size = bigEndian(data + at + 4);
        const std::size_t body = at + 10;
        if (bytes.compare(at, 4, "COMM") == 0 && size >= 6 && body + size <= end &&
            data[body] == 1 && data[body + 4] == 0 && data[body + 5] == 0) {
            bytes.insert(body + 4, "\xFF\xFE");
            data = reinterpret_cast<unsigned char*>(bytes.data());
            size += 2;
            putBigEndian(data + at + 4, size);
            end += 2;
            changed = true;
        }
        at = body + size;
    }
    if (!changed)
        return true;
    putSyncsafe(data + 6, static_cast<std::uint32_t>(end - 10));
    std::string error;
    return replaceFileAtomically(file, bytes, 0666, true, error);
}

// id3lib quietly does nothing with a file it cannot open, so writability is checked first.
bool isWritableFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return false;
    std::ofstream probe(file, std::ios::binary | std::ios::in | std::ios::out);
    return probe.is_open();
}

}  // namespace

bool writeId3Tag(const TagInfo& info, const std::filesystem::path& mp3File) {
    if (!info.isV1 && !info.isV2)
        return true;
    if (!isWritableFile(mp3File))
        return false;

    const std::string name = mp3File.string();
    ID3_Tag tag;
    tag.Link(name.c_str(), ID3TT_ALL);
    tag.Strip(ID3TT_ALL);
    tag.Clear();

    bool written = true;
    if (info.isV1)
        written = writeVersion1(tag, info) && written;
    if (info.isV2) {
        // The genre is always written, whatever the number: -1 comes out as (4294967295).
        written =
            writeVersion2Tag(mp3File, info, kVersion2Frames, info.Genre2, info.Comment2) && written;
    } else if (info.isV1 && version1NeedsUnicode(info)) {
        // ID3v1 turns such text into question marks (a looked-up Japanese title, say). The same
        // fields go into a version 2 tag as well, which players read first, so the text survives.
        written =
            writeVersion2Tag(mp3File, info, kVersion1Frames,
                             isGenreNumber(info.Genre1) ? std::optional(info.Genre1) : std::nullopt,
                             info.Comment1) &&
            written;
    }
    return written;
}

}  // namespace tonalda
