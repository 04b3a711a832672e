// A stand-in for lame_enc.so that records how it is called and fails on request. Built in three
// forms: complete, without beWriteInfoTag (an older module) and without beDeinitStream (a
// module the encoder must refuse).

#include <sys/stat.h>

#include <cstring>

#include "codecs/broken/fake_lame_state.h"
#include "codecs/lame_enc_abi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
FakeLameState state;
constexpr HBE_STREAM kStream = 77;
constexpr std::uint32_t kSamplesPerChunk = 2304;
constexpr std::uint32_t kBufferSize = 64;

long long sizeOf(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}
}  // namespace

FAKE_EXPORT FakeLameState* fakeLameState() {
    return &state;
}

FAKE_EXPORT BE_ERR beInitStream(BE_CONFIG* config, std::uint32_t* samples, std::uint32_t* size,
                                HBE_STREAM* stream) {
    state.calls.push_back("init");
    std::memcpy(&state.config, config, sizeof state.config);
    *samples = kSamplesPerChunk;
    *size = kBufferSize;
    *stream = kStream;
    return state.initResult;
}

FAKE_EXPORT BE_ERR beEncodeChunk(HBE_STREAM stream, std::uint32_t count, const std::int16_t*,
                                 std::uint8_t* output, std::uint32_t* produced) {
    state.calls.push_back("encode");
    state.sampleCounts.push_back(count);
    if (stream != kStream || state.sampleCounts.size() == state.failEncodeAt)
        return BE_ERR_BUFFER_TOO_SMALL;
    std::memset(output, 'M', 4);
    *produced = 4;
    return BE_ERR_SUCCESSFUL;
}

#ifndef FAKE_LAME_WITHOUT_DEINIT
FAKE_EXPORT BE_ERR beDeinitStream(HBE_STREAM, std::uint8_t* output, std::uint32_t* produced) {
    state.calls.push_back("deinit");
    std::memset(output, 'F', 3);
    *produced = 3;
    return state.deinitResult;
}
#endif

FAKE_EXPORT BE_ERR beCloseStream(HBE_STREAM) {
    state.calls.push_back("close");
    return BE_ERR_SUCCESSFUL;
}

FAKE_EXPORT void beVersion(BE_VERSION* version) {
    state.calls.push_back("version");
    std::memset(version, 0, sizeof *version);
    version->byMajorVersion = 3;
}

FAKE_EXPORT BE_ERR beWriteVBRHeader(const char* path) {
    state.calls.push_back("vbrheader");
    state.tagPath = path;
    state.fileSizeAtTag = sizeOf(path);
    return BE_ERR_SUCCESSFUL;
}

#ifndef FAKE_LAME_WITHOUT_INFO_TAG
FAKE_EXPORT BE_ERR beWriteInfoTag(HBE_STREAM stream, const char* path) {
    if (!path) {  // a stream given up: released without a tag
        state.calls.push_back(stream == kStream ? "release" : "release-wrong-stream");
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    state.calls.push_back(stream == kStream ? "infotag" : "infotag-wrong-stream");
    state.tagPath = path;
    state.fileSizeAtTag = sizeOf(path);
    return BE_ERR_SUCCESSFUL;
}
#endif
