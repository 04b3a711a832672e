#include "codecs/mp3_encoder.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <system_error>
#include <vector>

#include "codecs/encoder_common.h"
#include "codecs/mp3_settings.h"
#include "codecs/output_name.h"
#include "codecs/stdio_file.h"
#include "platform/cancel_token.h"
#include "platform/progress.h"
#include "platform/prompter.h"
#include "platform/registry.h"

namespace tonalda {

namespace fs = std::filesystem;

namespace {

constexpr const char* kModuleFile = "lame_enc.so";

std::string withCode(const char* format, std::uint32_t code) {
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(code));
    return text;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

}  // namespace

BE_CONFIG buildLameConfig(Registry& registry) {
    BE_CONFIG config;
    std::memset(&config, 0, sizeof config);
    const auto key = registry.openKey(registryKeyPath("MP3"), RegistryAccess::Read);
    const auto read = [&key](std::string_view name) -> std::uint32_t {
        return key ? key->readDword(name).value_or(0) : 0;
    };
    const auto readSigned = [&read](std::string_view name) {
        return static_cast<std::int32_t>(read(name));
    };

    config.dwConfig = BE_CONFIG_LAME;
    config.dwStructVersion = 1;
    config.dwStructSize = BE_CONFIG_SIZE;
    config.dwMpegVersion = 1;
    config.bCopyright = readSigned("Copyright");
    config.bCRC = readSigned("CRC");
    config.bOriginal = readSigned("Original");
    config.bPrivate = readSigned("Private");
    const std::uint32_t resample = read("ReSampleRate");
    config.bWriteVBRHeader = readSigned("VBRHeader");
    config.nMode = readSigned("Mode");
    // Every file this encoder reads is CD audio, so that is the input rate LAME is told. A chosen
    // rate other than the CD's is the rate of the MP3 file, which LAME resamples to. With the
    // CD's rate ("Default" or 44100 Hz) the resample switch keeps that rate on the output;
    // without it LAME picks the output rate, lower for low bitrates.
    const std::uint32_t chosenRate = mp3SampleRate(readSigned("SampleRate"));
    config.dwSampleRate = kCdSampleRate;
    if (chosenRate != kCdSampleRate)
        config.dwReSampleRate = chosenRate;
    else
        config.dwReSampleRate = resample ? kCdSampleRate : 0;

    if (read("BPreset"))
        config.nPreset = mp3PresetNumber(readSigned("Preset"));
    if (read("CBR")) {
        config.nPreset = LQP_NOPRESET;
        config.bNoRes = readSigned("CBitResorvoir");
        config.dwBitrate = mp3ConstantBitrate(readSigned("BitRate"));
        config.nVbrMethod = VBR_METHOD_NONE;
        config.bEnableVBR = 0;
    }
    if (read("VBR")) {
        config.dwMaxBitrate = mp3VbrBitrate(readSigned("MaxBitRate"));
        config.dwBitrate = mp3VbrBitrate(readSigned("MinBitRate"));
        config.nVBRQuality = readSigned("VBRQuality");
        config.nPreset = LQP_NOPRESET;
        config.nVbrMethod = VBR_METHOD_NEW;
        config.bEnableVBR = 1;
    }
    if (read("ABR")) {
        config.bNoRes = readSigned("ABitResorvoir");
        config.dwVbrAbr_bps = read("ABRBitRate");
        config.bEnableVBR = 1;
        config.nVbrMethod = VBR_METHOD_ABR;
    }
    return config;
}

Mp3Encoder::Mp3Encoder(Registry& registry, Prompter& prompter)
    : registry_(registry), prompter_(prompter) {}

void Mp3Encoder::forgetEntryPoints() {
    initStream_ = nullptr;
    encodeChunk_ = nullptr;
    deinitStream_ = nullptr;
    closeStream_ = nullptr;
    versionOf_ = nullptr;
    writeVbrHeader_ = nullptr;
    writeInfoTag_ = nullptr;
}

void Mp3Encoder::loadEncoder() {
    forgetEntryPoints();
    const fs::path folder = installFolder(registry_);
    if (folder.empty()) {
        prompter_.tell("Open Registry error");
        return;
    }
    // The new load is made before the old one is let go, so a module loaded before stays loaded.
    ModuleLibrary library = ModuleLibrary::load(folder / kModuleFile);
    if (!library.loaded()) {
        prompter_.tell("Error loading lame_enc.DLL");
        return;
    }
    library_ = std::move(library);

    const auto init = library_.entryPoint<BEINITSTREAM>("beInitStream");
    const auto encode = library_.entryPoint<BEENCODECHUNK>("beEncodeChunk");
    const auto deinit = library_.entryPoint<BEDEINITSTREAM>("beDeinitStream");
    const auto close = library_.entryPoint<BECLOSESTREAM>("beCloseStream");
    const auto version = library_.entryPoint<BEVERSION>("beVersion");
    const auto vbrHeader = library_.entryPoint<BEWRITEVBRHEADER>("beWriteVBRHeader");
    if (!init || !encode || !deinit || !close || !version || !vbrHeader) {
        prompter_.tell("Unable to get LAME interfaces");
        return;
    }
    encodeChunk_ = encode;
    deinitStream_ = deinit;
    closeStream_ = close;
    versionOf_ = version;
    writeVbrHeader_ = vbrHeader;
    writeInfoTag_ = library_.entryPoint<BEWRITEINFOTAG>("beWriteInfoTag");

    std::memset(&version_, 0, sizeof version_);
    versionOf_(&version_);
    config_ = buildLameConfig(registry_);
    initStream_ = init;  // set last: it marks the encoder usable
}

bool Mp3Encoder::encodeFile(const fs::path& input, ProgressSink* progress,
                            const CancelToken& cancel, const fs::path& outputFolder) {
    const fs::path name = replaceLastFourCharacters(input.filename().string(), ".mp3");
    return encode(input, outputFolder.empty() ? name : outputFolder / name, progress, cancel);
}

bool Mp3Encoder::encodeFileTo(const fs::path& input, const std::string& outputBase,
                              ProgressSink* progress, const CancelToken& cancel) {
    return encode(input, replaceLastFourCharacters(outputBase, ".mp3"), progress, cancel);
}

bool Mp3Encoder::encode(const fs::path& input, const fs::path& output, ProgressSink* progress,
                        const CancelToken& cancel) {
    if (!usable())
        return false;
    UniqueFile in = openFile(input, "rb");
    if (!in) {
        prompter_.tell("Cannot open the input file " + input.string() + ": " +
                       std::strerror(errno));
        return false;
    }
    // Creating the output would truncate the input when both name the same file.
    if (sameFile(input, output)) {
        prompter_.tell("The output file is the input file: " + output.string());
        return false;
    }
    UniqueFile out = openFile(output, "w+b");
    if (!out) {
        prompter_.tell("Cannot create the output file " + output.string() + ": " +
                       std::strerror(errno));
        return false;
    }
    std::error_code ignored;
    // Ends the file without a finished MP3: nothing half-made is left behind.
    const auto abandon = [&] {
        in.reset();
        out.reset();
        fs::remove(output, ignored);
        return false;
    };

    std::uint32_t samplesPerChunk = 0;
    std::uint32_t outputBufferSize = 0;
    HBE_STREAM stream = 0;
    lastError_ = initStream_(&config_, &samplesPerChunk, &outputBufferSize, &stream);
    if (lastError_ != BE_ERR_SUCCESSFUL) {
        prompter_.tell(withCode("Error opening encoding stream (%lu) err", lastError_));
        return abandon();
    }

    std::vector<std::int16_t> pcm;
    std::vector<std::uint8_t> mp3;
    try {
        mp3.resize(outputBufferSize);
        pcm.resize(samplesPerChunk);
    } catch (const std::bad_alloc&) {
        std::cout << "Out of memory" << std::endl;
        closeStream_(stream);
        return abandon();
    }

    const long long totalBytes = openFileSize(in.get());
    std::fseek(in.get(), kCanonicalWavHeaderBytes, SEEK_SET);
    long long bytesDone = 0;
    // A short write ends the file: what follows would be missing from it anyway (a full disk, a
    // file size limit), and a cut MP3 with its length tag would look complete.
    const auto writeFailed = [&](int error) {
        closeStream_(stream);
        prompter_.tell(outputWriteErrorText(output.string(), std::strerror(error)));
        return abandon();
    };
    const auto writeOut = [&](std::uint32_t count) {
        return count == 0 || std::fwrite(mp3.data(), 1, count, out.get()) == count;
    };

    // Whole samples only: an odd trailing byte is dropped.
    std::size_t count = std::fread(pcm.data(), sizeof(std::int16_t), samplesPerChunk, in.get());
    while (count > 0) {
        if (cancel.stopRequested()) {
            closeStream_(stream);
            return abandon();
        }
        std::uint32_t produced = 0;
        lastError_ = encodeChunk_(stream, static_cast<std::uint32_t>(count), pcm.data(), mp3.data(),
                                  &produced);
        if (lastError_ != BE_ERR_SUCCESSFUL) {
            closeStream_(stream);
            prompter_.tell(withCode("beEncodeChunk() failed (%lu),err", lastError_));
            return abandon();
        }
        if (!writeOut(produced))
            return writeFailed(errno);
        bytesDone += static_cast<long long>(count) * 2;
        reportProgress(progress, bytesDone, totalBytes);
        count = std::fread(pcm.data(), sizeof(std::int16_t), samplesPerChunk, in.get());
    }

    std::uint32_t produced = 0;
    lastError_ = deinitStream_(stream, mp3.data(), &produced);
    if (lastError_ != BE_ERR_SUCCESSFUL)
        prompter_.tell(withCode("beExitStream failed (%lu),, err", lastError_));
    if (!writeOut(produced) || std::fflush(out.get()) != 0)
        return writeFailed(errno);
    closeStream_(stream);
    in.reset();
    if (!closeChecked(out)) {
        const int error = errno;
        prompter_.tell(outputWriteErrorText(output.string(), std::strerror(error)));
        return abandon();
    }

    // The Xing/Info frame goes into the finished, closed file.
    const std::string outputName = output.string();
    if (writeInfoTag_)
        writeInfoTag_(stream, outputName.c_str());
    else
        writeVbrHeader_(outputName.c_str());
    return true;
}

}  // namespace tonalda
