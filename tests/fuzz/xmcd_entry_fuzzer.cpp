// xmcd entries from a server: the parser never crashes, keeps within its tables, and gives valid
// UTF-8 texts for valid UTF-8 input.

#include <cstddef>
#include <cstdint>
#include <string>

#include "cdinfo/xmcd_entry.h"
#include "platform/text_codec.h"

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tonalda::cddb;
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    XmcdEntry entry(text);
    entry.setOption(kXmcdOptionStrictCheck, (options & 1) != 0);
    entry.setOption(kXmcdOptionYearGenre, (options & 2) != 0);
    const bool parsed = entry.parse();

    check(entry.tracks().size() <= kXmcdMaxTracks);
    check(entry.trackCount() >= 0 && entry.trackCount() <= static_cast<int>(kXmcdMaxTracks));
    check(entry.discIds().size() <= kXmcdMaxDiscIds);
    const bool utf8 = tonalda::text::isValidUtf8(text);
    for (int track = -1; track <= 100; ++track) {
        const auto title = entry.trackTitle(track);
        check(!title || !title->empty());
        check(!title || !utf8 || tonalda::text::isValidUtf8(*title));
    }
    if (parsed) {
        check(!utf8 || (tonalda::text::isValidUtf8(entry.artist()) &&
                        tonalda::text::isValidUtf8(entry.title())));
        if ((options & 1) != 0)
            for (int track = 0; track < entry.trackCount(); ++track)
                check(entry.trackTitle(track).has_value());
    }
    return 0;
}
