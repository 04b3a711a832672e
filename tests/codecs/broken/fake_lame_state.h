#pragma once
// What the stand-in LAME module records and how it is told to fail; the tests reach it through
// the module's fakeLameState().

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/lame_enc_abi.h"

struct FakeLameState {
    std::vector<std::string> calls;           // entry points in call order
    std::vector<std::uint32_t> sampleCounts;  // per beEncodeChunk
    BE_CONFIG config{};
    BE_ERR initResult = BE_ERR_SUCCESSFUL;
    BE_ERR deinitResult = BE_ERR_SUCCESSFUL;
    std::size_t failEncodeAt = 0;  // the 1-based beEncodeChunk call that fails; 0 none
    std::string tagPath;
    long long fileSizeAtTag = -1;  // size of the output when the tag call came
};

using FakeLameStateFunction = FakeLameState* (*)();
