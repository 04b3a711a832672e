// Fuzzes the reader that finds the audio of a WAV file to be converted: the chunks before and
// after the data, the format chunk (plain and extensible), and sizes that run past the file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "codecs/wav_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 65536) {
        return 0;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
        fmemopen(const_cast<uint8_t*>(data), size, "rb"), std::fclose);
    if (!in) {
        return 0;
    }
    std::string error;
    const auto layout = tonalda::readWavLayout(in.get(), size, error);
    if (!layout) {
        if (error.empty()) {
            std::abort();  // a refusal always says why
        }
        return 0;
    }
    // The audio found lies inside the file, after a chunk header, and a canonical file is one
    // whose audio runs from byte 44 to the end.
    if (layout->dataOffset < 20 || layout->dataOffset > size ||
        layout->dataOffset + layout->dataLength > size || layout->fileSize != size) {
        std::abort();
    }
    if (layout->isCanonical() &&
        (layout->dataOffset != 44 || layout->dataOffset + layout->dataLength != size ||
         !layout->isCdAudio())) {
        std::abort();
    }
    return 0;
}
