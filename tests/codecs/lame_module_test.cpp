// The LAME module's own guards, called directly as any program using the interface would.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codecs/codec_test_support.h"
#include "codecs/lame_enc_abi.h"

namespace tonalda {
namespace {

class LameModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = dlopen((test::moduleDir() / "lame_enc.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        init = reinterpret_cast<BEINITSTREAM>(dlsym(handle, "beInitStream"));
        encode = reinterpret_cast<BEENCODECHUNK>(dlsym(handle, "beEncodeChunk"));
        deinit = reinterpret_cast<BEDEINITSTREAM>(dlsym(handle, "beDeinitStream"));
        close = reinterpret_cast<BECLOSESTREAM>(dlsym(handle, "beCloseStream"));
        infoTag = reinterpret_cast<BEWRITEINFOTAG>(dlsym(handle, "beWriteInfoTag"));
        version = reinterpret_cast<BEVERSION>(dlsym(handle, "beVersion"));
        std::memset(&config, 0, sizeof config);
        config.dwConfig = BE_CONFIG_LAME;
        config.dwStructVersion = 1;
        config.dwStructSize = sizeof config;
        config.dwSampleRate = 44100;
        config.nMode = BE_MP3_MODE_JSTEREO;
        config.dwBitrate = 128;
        config.nPreset = LQP_NOPRESET;
        config.nVbrMethod = VBR_METHOD_NONE;
    }
    void TearDown() override {
        if (handle)
            dlclose(handle);
    }

    void* handle = nullptr;
    BEINITSTREAM init = nullptr;
    BEENCODECHUNK encode = nullptr;
    BEDEINITSTREAM deinit = nullptr;
    BECLOSESTREAM close = nullptr;
    BEWRITEINFOTAG infoTag = nullptr;
    BEVERSION version = nullptr;
    BE_CONFIG config{};
};

TEST_F(LameModuleTest, StreamLifeAndStaleHandles) {
    std::uint32_t samples = 0;
    std::uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    ASSERT_EQ(init(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(samples, 2304u);  // 1152 stereo frames of MPEG-1
    EXPECT_GE(bufferSize, 1152u * 5 / 4 + 7200);

    std::vector<std::int16_t> pcm(samples, 1000);
    std::vector<std::uint8_t> mp3(bufferSize);
    std::uint32_t produced = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(encode(stream, samples, pcm.data(), mp3.data(), &produced), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(deinit(stream, mp3.data(), &produced), BE_ERR_SUCCESSFUL);
    EXPECT_GT(produced, 0u);
    EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);
    // Closed: neither encoding nor a second close reach the released encoder.
    EXPECT_EQ(encode(stream, samples, pcm.data(), mp3.data(), &produced), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(close(stream), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(infoTag(stream, "/nonexistent/file.mp3"), BE_ERR_SUCCESSFUL);  // no tag wanted
    EXPECT_EQ(infoTag(stream, "/nonexistent/file.mp3"), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(encode(12345, samples, pcm.data(), mp3.data(), &produced), BE_ERR_INVALID_HANDLE);
}

TEST_F(LameModuleTest, RefusesRecordsItCannotUse) {
    std::uint32_t samples = 0;
    std::uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    config.dwConfig = BE_CONFIG_MP3;
    EXPECT_EQ(init(&config, &samples, &bufferSize, &stream), BE_ERR_INVALID_FORMAT);
    config.dwConfig = BE_CONFIG_LAME;
    config.nMode = 4;
    EXPECT_EQ(init(&config, &samples, &bufferSize, &stream), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config.nMode = BE_MP3_MODE_STEREO;
    config.bEnableVBR = 1;
    config.nVbrMethod = 9;
    EXPECT_EQ(init(&config, &samples, &bufferSize, &stream), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config.bEnableVBR = 0;
    // MPEG-2 rates take half the frames per chunk.
    config.dwSampleRate = 22050;
    config.dwBitrate = 64;
    ASSERT_EQ(init(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(samples, 1152u);
    EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);

    BE_VERSION info;
    std::memset(&info, 0xAB, sizeof info);
    version(&info);
    EXPECT_EQ(info.byMajorVersion, 3);
    EXPECT_GE(info.wYear, 2024);
    EXPECT_NE(std::strstr(info.zHomepage, "lame"), nullptr);
}

}  // namespace
}  // namespace tonalda
