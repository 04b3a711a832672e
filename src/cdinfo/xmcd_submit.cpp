#include "cdinfo/xmcd_submit.h"

#include <cstdio>

#include "cdinfo/debug_trace.h"
#include "codecs/genres.h"

namespace tonalda::cddb {
namespace {

std::string format(const char* pattern, auto... values) {
    char line[64];
    std::snprintf(line, sizeof line, pattern, values...);
    return line;
}

}  // namespace

std::string_view submitRefusalText(int result) {
    switch (result) {
        case kSubmitNoDiscTitle:
            return kRefusalNoDiscTitle;
        case kSubmitUntitledTrack:
            return kRefusalUntitledTrack;
        case kSubmitNotRead:
            return kRefusalNotRead;
        default:
            return {};
    }
}

std::string SubmitEntry::dump() const {
    std::string bytes(kSubmitDumpSize, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((discId >> (8 * i)) & 0xFF);
    bytes.replace(4, std::min(text.size(), kSubmitDumpSize - 4),
                  std::string_view(text).substr(0, kSubmitDumpSize - 4));
    return bytes;
}

int formatSubmitEntry(DiscView& view, const DiscInfo& info, int protocolLevel, SubmitEntry& out) {
    debugTrace("in formatSubmitEntry...");
    out = SubmitEntry{};
    const auto toc = view.lastToc();
    if (!toc)
        return kSubmitNotRead;
    const DiscIdentity identity = computeDiscIdentityFromToc(*toc);
    out.discId = identity.discId;

    std::string& text = out.text;
    text = "# xmcd\r\n#\r\n# Track frame offsets:\r\n";
    for (int track = 0; track < identity.trackCount; ++track)
        text += format("#       %d\r\n", identity.frameOffsets[static_cast<std::size_t>(track)]);
    text += format("#\r\n# Disc length: %d seconds\r\n", identity.leadOutSeconds);
    text += format("#\r\n# Revision: %d\r\n", info.submitRevision);
    text += format("# Submitted via: Marrowby v%d.%02d\r\n#\r\n", 1, 1);
    text += format("DISCID=%08x\r\n", identity.discId);
    text += "DTITLE=" + info.artist + " / " + info.album + "\r\n";
    if (protocolLevel == 5)
        text += "DYEAR= \r\nDGENRE=" + genreCategory(info.genreIndex) + "\r\n";
    if (info.artist.empty() && info.album.empty())
        return kSubmitNoDiscTitle;

    bool untitled = false;
    for (int track = 0; track < identity.trackCount; ++track) {
        const std::string title = askTrackTitle(view.messages(), track);
        untitled = untitled || title == format("Track %02d", track + 1);
        text += format("TTITLE%d=", track) + title + "\r\n";
    }
    if (untitled)
        return kSubmitUntitledTrack;

    text += "EXTD=\r\n";
    for (int track = 0; track < identity.trackCount; ++track)
        text += format("EXTT%d=\r\n", track);
    text += "PLAYORDER=\r\n";
    return kSubmitComplete;
}

}  // namespace tonalda::cddb
