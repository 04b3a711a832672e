#pragma once
// Output names formed the way the encoders do: the last four characters of a name (normally its
// ".wav" or ".tmp" extension) give way to the new extension.

#include <string>
#include <string_view>

namespace tonalda {

// Counts characters, not bytes, so a UTF-8 name is never cut inside a character. A name of fewer
// than four characters is replaced as a whole.
std::string replaceLastFourCharacters(std::string_view name, std::string_view extension);

}  // namespace tonalda
