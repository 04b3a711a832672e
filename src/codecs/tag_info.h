#pragma once
// The descriptive text of one output file: an ID3 version 1 field set, a version 2 field set and a
// switch for each. Field names are also the per-track keys of the local CD library. Text is UTF-8.

#include <cstdint>
#include <string>

namespace tonalda {

constexpr std::int32_t kDefaultGenre = 17;  // "Rock"

struct TagInfo {
    std::string Title1;
    std::string Album1;
    std::string Artist1;
    std::string Year1;
    std::int32_t Genre1 = kDefaultGenre;
    std::string Track1 = "0";
    std::string Comment1;
    std::string Title2;
    std::string Album2;
    std::string Artist2;
    std::string Year2;
    std::int32_t Genre2 = kDefaultGenre;
    std::string Track2 = "0";
    std::string Comment2;
    std::string Composer;
    std::string OriArtist;
    std::string CopyRight;
    std::string URL;
    std::string EncodeBy;
    std::uint8_t isV1 = 0;
    std::uint8_t isV2 = 0;

    void reset() { *this = TagInfo{}; }
    bool operator==(const TagInfo&) const = default;
};

}  // namespace tonalda
