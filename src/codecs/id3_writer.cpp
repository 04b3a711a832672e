#include "codecs/id3_writer.h"

#include <id3/tag.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "codecs/genres.h"

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

// Re-identifies the one reused frame, sets its named field and adds a copy to the tag.
void addTextFrame(ID3_Tag& tag, ID3_Frame& frame, ID3_FrameID id, std::string_view utf8,
                  TextVersion version) {
    frame.SetID(id);
    if (id == ID3FID_WWWUSER) {
        frame.GetField(ID3FN_URL)->Set(urlText(utf8).c_str());
    } else if (version == TextVersion::V1 || text::fitsLatin1(utf8)) {
        frame.GetField(ID3FN_TEXT)->Set(text::utf8ToLatin1(utf8).c_str());
    } else {
        frame.GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
        // Every text field of the frame follows the frame's encoding, the empty comment
        // description included; otherwise readers mis-parse the frame.
        for (const ID3_FieldID field : {ID3FN_TEXT, ID3FN_DESCRIPTION})
            if (ID3_Field* textField = frame.GetField(field))
                textField->SetEncoding(ID3TE_UTF16);
        frame.GetField(ID3FN_TEXT)->Set(id3libUtf16(utf8).data());
    }
    tag.AddFrame(frame);
}

bool writeTag(ID3_Tag& tag, ID3_TagType type) {
    tag.SetPadding(false);
    tag.SetUnsync(true);
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
    ID3_Frame frame;
    for (const auto& source : kVersion1Frames)
        addTextFrame(tag, frame, source.id, info.*source.text, TextVersion::V1);
    if (isGenreNumber(info.Genre1))
        addTextFrame(tag, frame, ID3FID_CONTENTTYPE, genreText(info.Genre1), TextVersion::V1);
    return writeTag(tag, ID3TT_ID3V1);
}

bool writeVersion2(ID3_Tag& tag, const TagInfo& info) {
    ID3_Frame frame;
    for (const auto& source : kVersion2Frames)
        addTextFrame(tag, frame, source.id, info.*source.text, TextVersion::V2);
    // Always written, whatever the number: -1 comes out as (4294967295).
    addTextFrame(tag, frame, ID3FID_CONTENTTYPE, genreText(info.Genre2), TextVersion::V2);
    return writeTag(tag, ID3TT_ID3V2);
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
        // A fresh tag that reads nothing from the file, so that the version 1 frames just added
        // (and the version 1 tag now at the end of the file) take no part in the version 2 tag.
        ID3_Tag version2;
        version2.Link(name.c_str(), ID3TT_NONE);
        written = writeVersion2(version2, info) && written;
    }
    return written;
}

}  // namespace tonalda
