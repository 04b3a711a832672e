#pragma once
// Reading and writing a settings group: a list of named 32-bit values in one registry key.

#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace tonalda {

using DwordFields = std::vector<DwordField>;

// Reads the values in the order given and stops at the first one that cannot be read: the
// values before it keep what was read, the rest keep their old contents. True only when the key
// opened and every value was read.
bool loadSettingsGroup(Registry& registry, std::string_view group, const DwordFields& values);

// Writes the values in the order given. A value that cannot be written keeps its old contents;
// false when the key could not be opened or a write failed.
bool saveSettingsGroup(Registry& registry, std::string_view group, const DwordFields& values);

// The tag switches that the Ogg and WMA groups both store first, in their stored order.
template <typename Group>
DwordFields tagSwitchFields(Group& group) {
    return {{"Copyright", &group.Copyright},
            {"Album", &group.Album},
            {"Artist", &group.Artist},
            {"Comment", &group.Comment},
            {"Composer", &group.Composer},
            {"Encodedby", &group.Encodedby},
            {"Title", &group.Title},
            {"Track", &group.Track},
            {"URL", &group.URL},
            {"Year", &group.Year},
            {"Orgartist", &group.Orgartist}};
}

inline DwordFields operator+(DwordFields first, const DwordFields& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace tonalda
