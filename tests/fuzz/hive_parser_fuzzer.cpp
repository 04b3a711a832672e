// The hive parser on arbitrary bytes: it must never crash, and whatever it accepts must survive
// a rewrite unchanged, since every write of the program serialises what it parsed.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/hive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tonalda::hive;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParseResult parsed = parse(text);
    if (!parsed.document) {
        if (parsed.error.line == 0 || parsed.error.message.empty())
            __builtin_trap();
        return 0;
    }
    const std::string written = serialize(*parsed.document);
    const ParseResult reparsed = parse(written);
    if (!reparsed.document || !(*reparsed.document == *parsed.document))
        __builtin_trap();
    if (serialize(*reparsed.document) != written)
        __builtin_trap();
    for (const Key& key : parsed.document->keys) {
        if (!parsed.document->exists(key.path) || parsed.document->find(key.path) != &key)
            __builtin_trap();
    }
    return 0;
}
