#include "cdinfo/cddb_text.h"

#include <cstdint>

#include "platform/text_codec.h"

namespace tonalda::cddb {
namespace {

bool isContinuation(char c) {
    return (static_cast<std::uint8_t>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string cutCharacters(std::string_view utf8, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (!isContinuation(utf8[i]) && characters++ == count)
            return std::string(utf8.substr(0, i));
    }
    return std::string(utf8);
}

std::size_t characterCount(std::string_view utf8) {
    std::size_t characters = 0;
    for (const char c : utf8)
        characters += isContinuation(c) ? 0 : 1;
    return characters;
}

std::string serverTextToUtf8(std::string_view bytes, bool replyIsUtf8) {
    if (!replyIsUtf8)
        return text::latin1ToUtf8(bytes);
    // Drop the start of a character that a length limit cut off.
    for (std::size_t back = 0; back < 4 && back < bytes.size(); ++back) {
        if (text::isValidUtf8(bytes.substr(0, bytes.size() - back)))
            return std::string(bytes.substr(0, bytes.size() - back));
    }
    return text::utf8OrLatin1ToUtf8(bytes);
}

}  // namespace tonalda::cddb
