#pragma once
// Text helpers of the CDDB client. Text inside the program is UTF-8; below protocol level 6 the
// server's text is ISO-8859-1, but some servers send UTF-8 all the same.

#include <cstddef>
#include <string>
#include <string_view>

namespace tonalda::cddb {

// Keeps at most count characters of UTF-8 text, never cutting a character in two.
std::string cutCharacters(std::string_view utf8, std::size_t count);
// Number of characters (code points) of UTF-8 text; stray continuation bytes do not count.
std::size_t characterCount(std::string_view utf8);

// Turns a piece of server text into UTF-8. replyIsUtf8 tells how the whole reply was judged:
// a valid UTF-8 reply is taken as it is (a character cut off at the end of the piece by a length
// limit is dropped), anything else is read as ISO-8859-1.
std::string serverTextToUtf8(std::string_view bytes, bool replyIsUtf8);

}  // namespace tonalda::cddb
