// CDDB replies from a server we do not control: query and read replies, header skipping and the
// match lines. Never a crash, and every result stays within its limits and is valid UTF-8.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_text.h"
#include "platform/text_codec.h"

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tonalda::cddb;
    FuzzedDataProvider input(data, size);
    const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::size_t bufferSize = input.ConsumeIntegralInRange<std::size_t>(0, 40000);
    const std::string reply = input.ConsumeRemainingBytesAsString();

    const std::string_view body = skipHttpHeaders(reply);
    check(std::string_view(reply).ends_with(body));

    const auto matches = parseQueryReply(reply, capacity);
    check(matches.size() <= capacity && matches.size() <= 100);
    for (const CddbMatch& match : matches) {
        check(characterCount(match.category) <= 11);
        check(match.discIdText.size() <= 8);
        check(characterCount(match.artist) <= 80 && characterCount(match.title) <= 80);
        check(tonalda::text::isValidUtf8(match.artist) && tonalda::text::isValidUtf8(match.title));
        check(match.exact == 0 || match.exact == 1);
    }

    if (const auto entry = entryFromReadReply(reply, bufferSize)) {
        check(tonalda::text::isValidUtf8(*entry));
        check(body.starts_with("210"));
    }

    const std::string encoded = base64Encode(reply);
    check(encoded.size() == (reply.size() + 2) / 3 * 4);
    return 0;
}
