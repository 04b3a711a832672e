#pragma once
// Text inside the program is UTF-8. These convert at the edges: ID3v1 and CDDB text on the wire
// are ISO-8859-1, ID3v2 frames that do not fit ISO-8859-1 are UTF-16.

#include <string>
#include <string_view>

namespace tonalda::text {

// What a character that ISO-8859-1 cannot hold, or a byte that is not valid UTF-8, becomes.
constexpr char kLatin1Replacement = '?';

bool isValidUtf8(std::string_view bytes);
// True when every character of the UTF-8 text has an ISO-8859-1 code.
bool fitsLatin1(std::string_view utf8);

std::string latin1ToUtf8(std::string_view latin1);
// Characters above U+00FF and invalid UTF-8 sequences become kLatin1Replacement, one per
// character or per invalid byte.
std::string utf8ToLatin1(std::string_view utf8);
// Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Text from outside that is valid UTF-8 is taken as it is; anything else is read as ISO-8859-1.
std::string utf8OrLatin1ToUtf8(std::string_view bytes);

// The text cut to at most maxBytes without splitting a character.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace tonalda::text
