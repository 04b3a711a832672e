// Discs from CUE sheets, WAV folders and generated descriptions, read back through the module.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include <algorithm>
#include <cstring>
#include <set>

#include "vdrive_harness.h"

using namespace vdrive_test;

namespace {

constexpr uint32_t kFrame = 2352;

struct TocEntry {
    int number;
    uint8_t control;
    uint32_t address;
};

std::vector<TocEntry> tocEntries(const Reply& reply) {
    std::vector<TocEntry> entries;
    const size_t length = (reply.data[0] << 8 | reply.data[1]) + 2u;
    for (size_t at = 4; at + 8 <= length; at += 8) {
        const uint8_t* d = &reply.data[at];
        entries.push_back({d[2], static_cast<uint8_t>(d[1] & 0x0F),
                           static_cast<uint32_t>(d[4] << 24 | d[5] << 16 | d[6] << 8 | d[7])});
    }
    return entries;
}

uint32_t msf(int32_t lba) {
    const int32_t f = lba + 150;
    return static_cast<uint32_t>((f / 4500) << 16 | (f / 75 % 60) << 8 | f % 75);
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t from, size_t size) {
    return {bytes.begin() + static_cast<long>(from),
            bytes.begin() + static_cast<long>(from + size)};
}

// A disc of two BIN files and a WAVE file: an INDEX 00 gap, a PREGAP of silence, a mode 1 data
// track with 2352-byte sectors, and a WAV whose last frame is partial.
class CueDisc : public ::testing::Test {
  protected:
    void SetUp() override {
        bin1 = randomBytes(1000 * kFrame, 1);
        bin2 = randomBytes(300 * kFrame, 2);
        samples = randomBytes(200 * kFrame + 1000, 3);
        writeFile(folder / "one.bin", bin1);
        writeFile(folder / "two.bin", bin2);
        writeFile(folder / "three.wav", wavFile(samples));
        writeText(folder / "disc.cue",
                  "REM a comment\n"
                  "FILE \"one.bin\" BINARY\n"
                  "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    FLAGS DCP\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
                  "  TRACK 03 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:10:00\n"
                  "FILE \"two.bin\" BINARY\n"
                  "  TRACK 04 MODE1/2352\n    INDEX 01 00:00:00\n"
                  "FILE \"three.wav\" WAVE\n"
                  "  TRACK 05 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:50\n");
    }
    TempFolder folder;
    std::vector<uint8_t> bin1, bin2, samples;
    // Where each part lands: one.bin 0..999 with 150 frames of silence inserted before frame 750;
    // two.bin from 1150; three.wav from 1450, 201 frames.
    static constexpr int32_t kStarts[5] = {0, 450, 900, 1150, 1500};
    static constexpr int32_t kLeadOut = 1651;
};

TEST_F(CueDisc, TocInBothAddressModesFollowsTheSheet) {
    Module module((folder / "disc.cue").string());
    ASSERT_EQ(module.startupMessages(), "");
    for (bool useMsf : {false, true}) {
        const Reply reply = module.exec(readToc(useMsf), 804);
        ASSERT_TRUE(reply.good());
        EXPECT_EQ(reply.data[2], 1);
        EXPECT_EQ(reply.data[3], 5);
        EXPECT_EQ(reply.transferred(), 4u + 6 * 8);
        const auto entries = tocEntries(reply);
        ASSERT_EQ(entries.size(), 6u);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(entries[i].number, i + 1);
            EXPECT_EQ(entries[i].address,
                      useMsf ? msf(kStarts[i]) : static_cast<uint32_t>(kStarts[i]))
                << "track " << i + 1;
        }
        EXPECT_EQ(entries[0].control, 0);
        EXPECT_EQ(entries[1].control, 2) << "FLAGS DCP";
        EXPECT_EQ(entries[3].control, 4) << "data track";
        EXPECT_EQ(entries[5].number, 0xAA);
        EXPECT_EQ(entries[5].address, useMsf ? msf(kLeadOut) : static_cast<uint32_t>(kLeadOut));
        EXPECT_EQ(reply.data[5], 0x10) << "ADR 1 in the high nibble";
    }
    // From track 4 on, and the lead-out alone.
    auto entries = tocEntries(module.exec(readToc(false, 4), 804));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].number, 4);
    entries = tocEntries(module.exec(readToc(false, 0xAA), 804));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].address, static_cast<uint32_t>(kLeadOut));
    const Reply truncated = module.exec(readToc(false, 0, 12), 804);
    EXPECT_EQ(truncated.transferred(), 12u);
    EXPECT_EQ(truncated.data[1], 50) << "the length field tells the whole size";
}

TEST_F(CueDisc, ReadCdReturnsTheImageBytes) {
    Module module((folder / "disc.cue").string());
    // The disc as a drive sees it, assembled from the files by hand.
    std::vector<uint8_t> disc = slice(bin1, 0, 750 * kFrame);
    disc.resize(disc.size() + 150 * kFrame, 0);
    disc.insert(disc.end(), bin1.begin() + 750 * kFrame, bin1.end());
    disc.insert(disc.end(), bin2.begin(), bin2.end());
    disc.insert(disc.end(), samples.begin(), samples.end());
    disc.resize(static_cast<size_t>(kLeadOut) * kFrame, 0);

    for (auto [lba, frames] : {std::pair{0, 26},
                               {440, 26},
                               {740, 20},
                               {890, 26},
                               {1140, 20},
                               {1440, 30},
                               {1640, 11},
                               {1000, 255}}) {
        // User data; sync, headers and user data; and all of it with EDC/ECC.
        for (auto [selection, dataBytes] :
             {std::pair{0x10, 2048u}, {0xF0, 2064u}, {0xF8, kFrame}}) {
            const Reply reply =
                module.exec(readCd(lba, frames, static_cast<uint8_t>(selection)), frames * kFrame);
            ASSERT_TRUE(reply.good()) << lba;
            // Audio frames are the whole image frame whatever the selection; data sectors give
            // the selected fields.
            const uint32_t dataSectors =
                std::max(0, std::min(1450, lba + static_cast<int>(frames)) - std::max(1150, lba));
            EXPECT_EQ(reply.transferred(), frames * kFrame - dataSectors * (kFrame - dataBytes));
            if (dataSectors == 0 || selection == 0xF8) {
                EXPECT_TRUE(reply.data == slice(disc, lba * kFrame, frames * kFrame))
                    << "frames " << lba << "+" << frames << " selection " << int(selection);
            }
        }
    }
    // User data of the data track: 2048 bytes of each 2352-byte sector.
    const Reply user = module.exec(readCd(1160, 3, 0x10), 3 * 2048);
    ASSERT_TRUE(user.good());
    for (int s = 0; s < 3; ++s) {
        EXPECT_TRUE(slice(user.data, s * 2048, 2048) == slice(bin2, (10 + s) * kFrame + 16, 2048));
    }
    // Asking for CD-DA sectors where the data track lies is refused.
    std::vector<uint8_t> cddaOnly = readCd(1160, 1, 0x10);
    cddaOnly[1] = 1 << 2;
    EXPECT_EQ(module.exec(cddaOnly, kFrame).sense().asc, 0x64);
}

TEST_F(CueDisc, Read10NeedsTheRawBlockLengthAndVendorReadsMoveExactlyNFrames) {
    Module module((folder / "disc.cue").string());
    const std::vector<uint8_t> read10{0x28, 0, 0, 0, 0, 100, 0, 0, 4, 0};
    Reply reply = module.exec(read10, 4 * kFrame);
    EXPECT_EQ(reply.returned, SS_ERR) << "audio sectors need 2352-byte blocks";
    EXPECT_EQ(reply.sense().asc, 0x64);

    const std::vector<uint8_t> toRaw{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30};
    ASSERT_TRUE(module.exec({0x15, 0, 0, 0, 12, 0}, 12, 0, 0, 0, toRaw, SRB_EVENT_NOTIFY).good());
    reply = module.exec(read10, 4 * kFrame);
    ASSERT_TRUE(reply.good());
    EXPECT_TRUE(reply.data == slice(bin1, 100 * kFrame, 4 * kFrame));

    const std::vector<uint8_t> restore{0, 0, 0, 8, 0x53, 0, 0, 0, 0, 0, 0x08, 0};
    reply = module.exec({0x15, 0, 0, 0, 12, 0}, 12, 0, 0, 0, restore,
                        SRB_EVENT_NOTIFY | SRB_ENABLE_RESIDUAL_COUNT);
    ASSERT_TRUE(reply.good());
    EXPECT_EQ(reply.srb.SRB_BufLen, 0u) << "the whole list was taken";
    EXPECT_EQ(module.exec(read10, 4 * kFrame).sense().asc, 0x64);
    // 2048-byte blocks read the data track's user data.
    reply = module.exec({0x28, 0, 0, 0, 0x04, 0x88, 0, 0, 1, 0}, 2048);  // LBA 1160
    ASSERT_TRUE(reply.good());
    EXPECT_TRUE(reply.data == slice(bin2, 10 * kFrame + 16, 2048));

    // 0xD8 moves exactly N frames even into a larger buffer; 0xD4 likewise.
    reply = module.exec({0xD8, 0, 0, 0, 0, 200, 0, 0, 0, 5, 0, 0}, 8 * kFrame);
    ASSERT_TRUE(reply.good());
    EXPECT_EQ(reply.transferred(), 5 * kFrame);
    EXPECT_TRUE(slice(reply.data, 0, 5 * kFrame) == slice(bin1, 200 * kFrame, 5 * kFrame));
    EXPECT_EQ(reply.data[5 * kFrame], 0xAA);
    reply = module.exec({0xD4, 0, 0, 0, 0, 200, 0, 0, 5, 0}, 5 * kFrame);
    ASSERT_TRUE(reply.good());
    EXPECT_TRUE(reply.data == slice(bin1, 200 * kFrame, 5 * kFrame));
}

// Sheets of one FILE per track, as ripped images often are. The served disc is checked against
// the files laid end to end, with the silence of PREGAP and POSTGAP put in.
class MultiFileSheets : public ::testing::Test {
  protected:
    void SetUp() override {
        a = randomBytes(100 * kFrame, 11);
        b = randomBytes(80 * kFrame, 12);
        c = randomBytes(60 * kFrame, 13);
        writeFile(folder / "a.wav", wavFile(a));
        writeFile(folder / "b.bin", b);
        writeFile(folder / "c.bin", c);
    }

    struct Served {
        std::vector<uint32_t> starts;  // the tracks, then the lead-out
        std::vector<uint8_t> disc;
    };
    Served serve(const std::string& sheet) {
        writeText(folder / "disc.cue", sheet);
        Module module((folder / "disc.cue").string());
        EXPECT_EQ(module.startupMessages(), "");
        Served served;
        const Reply toc = module.exec(readToc(false), 804);
        if (!toc.good())
            return served;  // no disc: the sheet was refused
        for (const TocEntry& entry : tocEntries(toc))
            served.starts.push_back(entry.address);
        const uint32_t leadOut = served.starts.empty() ? 0 : served.starts.back();
        for (uint32_t lba = 0; lba < leadOut; lba += 20) {
            const uint32_t frames = std::min(20u, leadOut - lba);
            const Reply reply =
                module.exec(readCd(static_cast<int32_t>(lba), frames, 0xF8), frames * kFrame);
            EXPECT_TRUE(reply.good()) << lba;
            served.disc.insert(served.disc.end(), reply.data.begin(), reply.data.end());
        }
        return served;
    }
    static std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }
    static std::vector<uint8_t> silence(uint32_t frames) {
        return std::vector<uint8_t>(frames * kFrame, 0);
    }

    TempFolder folder;
    std::vector<uint8_t> a, b, c;
};

TEST_F(MultiFileSheets, IndexZeroAtTheEndOfThePreviousFileIsThatFilesTail) {
    const Served served = serve(
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n"
        "FILE \"b.bin\" BINARY\n    INDEX 01 00:00:00\n"
        "  TRACK 03 AUDIO\n    INDEX 00 00:00:50\n"
        "FILE \"c.bin\" BINARY\n    INDEX 01 00:00:00\n");
    EXPECT_EQ(served.starts, (std::vector<uint32_t>{0, 100, 180, 240}));
    EXPECT_TRUE(served.disc == joined({a, b, c}));
}

TEST_F(MultiFileSheets, GapsInTheirOwnFilePregapAndPostgap) {
    const Served served = serve(
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:01:00\n"
        "FILE \"b.bin\" BINARY\n  TRACK 02 AUDIO\n    PREGAP 00:00:30\n    INDEX 01 00:00:00\n"
        "FILE \"c.bin\" BINARY\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
        "    INDEX 01 00:00:20\n");
    // a, 75 frames after track 1, 30 before track 2, b, then c with its first 20 frames as gap.
    EXPECT_EQ(served.starts, (std::vector<uint32_t>{0, 205, 305, 345}));
    EXPECT_TRUE(served.disc == joined({a, silence(75), silence(30), b, c}));

    // Without any INDEX 00, and a gap in the previous file together with a POSTGAP there.
    const Served plain = serve(
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE \"b.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:10\n"
        "  TRACK 03 AUDIO\n    INDEX 00 00:01:00\n"
        "FILE \"c.bin\" BINARY\n    INDEX 01 00:00:00\n");
    EXPECT_EQ(plain.starts, (std::vector<uint32_t>{0, 100, 190, 250}));
    EXPECT_TRUE(plain.disc == joined({a, b, silence(10), c}));
}

TEST_F(MultiFileSheets, AGapOutsideThePreviousFilesTailIsRefused) {
    for (const std::string gap : {"00:02:00", "00:00:00"}) {  // past a's end; before track 1
        writeText(folder / "bad.cue",
                  "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    INDEX 00 " +
                      gap +
                      "\n"
                      "FILE \"b.bin\" BINARY\n    INDEX 01 00:00:00\n");
        Module module((folder / "bad.cue").string());
        EXPECT_NE(module.startupMessages().find("bad.cue: track 2 has its INDEX 00 outside"),
                  std::string::npos)
            << module.startupMessages();
    }
}

// What libcue reads loosely is refused with the sheet's name and the line.
TEST(CueSheets, TrackCountsAndTimesAreCheckedLineByLine) {
    TempFolder folder;
    writeFile(folder / "a.bin", randomBytes(200 * kFrame, 4));
    std::string hundred = "FILE \"a.bin\" BINARY\n";
    for (int track = 1; track <= 100; ++track) {
        char lines[64];
        std::snprintf(lines, sizeof lines, "  TRACK %02d AUDIO\n    INDEX 01 00:00:%02d\n", track,
                      track % 75);
        hundred += lines;
    }
    const std::vector<std::pair<std::string, std::string>> sheets{
        {"hundred", hundred},
        {"signed", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:-5:00\n"},
        {"frames", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:00:75\n"},
        {"seconds", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:60:00\n"},
        {"pregap",
         "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  PREGAP 00:02:99\n"
         "  INDEX 01 00:00:00\n"},
        {"postgap",
         "FILE \"a.bin\" BINARY\n\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
         "  POSTGAP 1:2\n"},
    };
    const std::vector<std::string> expected{
        "hundred.cue: line 200: a track after the 99th",
        "signed.cue: line 3: INDEX 01 has the time \"00:-5:00\"",
        "frames.cue: line 3: INDEX 01 has the time \"00:00:75\"",
        "seconds.cue: line 3: INDEX 01 has the time \"00:60:00\"",
        "pregap.cue: line 3: PREGAP has the time \"00:02:99\"",
        "postgap.cue: line 5: POSTGAP has the time \"1:2\""};
    std::string drives;
    for (const auto& [name, sheet] : sheets) {
        writeText(folder / (name + ".cue"), sheet);
        drives += (folder / (name + ".cue")).string() + ";";
    }
    Module module(drives);
    EXPECT_EQ(module.supportInfo(), SS_NO_ADAPTERS << 8);
    for (const std::string& message : expected)
        EXPECT_NE(module.startupMessages().find(message), std::string::npos)
            << message << "\n"
            << module.startupMessages();
}

TEST(CueSheets, MalformedSheetsAndFilesAreRefusedWithAMessage) {
    TempFolder folder;
    writeFile(folder / "a.bin", randomBytes(100 * kFrame, 4));
    std::vector<uint8_t> mono(20 * kFrame);
    writeFile(folder / "mono.wav", wavFile(mono, 44100, 16, 1));
    writeFile(folder / "fast.wav", wavFile(mono, 48000));
    writeFile(folder / "wide.wav", wavFile(mono, 44100, 24, 2));
    writeFile(folder / "fake.wav", randomBytes(1000, 5));
    const std::vector<std::pair<std::string, std::string>> sheets{
        {"nofile", "TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"},
        {"mode", "FILE \"a.bin\" BINARY\n  TRACK 01 MODE7/1234\n  INDEX 01 00:00:00\n"},
        {"cdg", "FILE \"a.bin\" BINARY\n  TRACK 01 CDG\n  INDEX 01 00:00:00\n"},
        {"garbled", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 0x:zz:00\n"},
        {"huge", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 99:99:99\n"},
        {"order",
         "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:01:00\n"
         "  TRACK 02 AUDIO\n  INDEX 01 00:00:10\n"},
        {"noindex", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"},
        {"missing", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"},
        {"mono", "FILE \"mono.wav\" WAVE\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"},
        {"fast", "FILE \"fast.wav\" WAVE\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"},
        {"wide", "FILE \"wide.wav\" WAVE\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"},
        {"datawave", "FILE \"mono.wav\" WAVE\n  TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n"},
        {"empty", ""},
        {"binary", std::string("\x00\x01\xFF\xFE", 4)},
    };
    std::string drives;
    for (const auto& [name, sheet] : sheets) {
        writeText(folder / (name + ".cue"), sheet);
        drives += (folder / (name + ".cue")).string() + ";";
    }
    drives += (folder / "a.bin").string();  // not a disc description either
    Module module(drives);
    EXPECT_EQ(module.supportInfo(), SS_NO_ADAPTERS << 8);
    const std::string& messages = module.startupMessages();
    for (const auto& [name, sheet] : sheets) {
        EXPECT_NE(messages.find(name + ".cue"), std::string::npos) << name << "\n" << messages;
    }
    EXPECT_NE(messages.find("1 channel"), std::string::npos) << messages;
    EXPECT_NE(messages.find("48000 Hz"), std::string::npos) << messages;
    EXPECT_NE(messages.find("24-bit"), std::string::npos) << messages;
    EXPECT_NE(messages.find("gone.bin"), std::string::npos) << messages;
}

// A FIFO where a file should be (an image, a sheet's FILE, a disc description, the drive list
// itself) is refused at once with its name: waiting for a writer would hang every program that
// loads the module, whatever drive it wants.
TEST(CueSheets, FifosAreRefusedWithoutWaiting) {
    TempFolder folder;
    for (const char* name : {"sheet.cue", "track.bin", "desc.disc", "drives.list"})
        ASSERT_EQ(mkfifo((folder / name).c_str(), 0600), 0) << name;
    writeText(folder / "uses.cue",
              "FILE \"track.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    const std::string drives =
        (folder / "sheet.cue").string() + ";" + (folder / "uses.cue").string() + ";" +
        (folder / "desc.disc").string() + ";gen:seed 3/track audio 100,addr=0:5:0";
    const auto loadWithin = [&](const std::string& list, auto check) {
        auto loading = std::async(std::launch::async, [list, check] {
            Module module(list);
            check(module);
        });
        if (loading.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
            return loading.get();
        ADD_FAILURE() << "loading the module waits on a FIFO";
        // Let the waiting opens go on, one after the other: a writer that closes at once ends each.
        while (loading.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            for (const char* name : {"sheet.cue", "track.bin", "desc.disc", "drives.list"}) {
                const int fd = open((folder / name).c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    close(fd);
            }
    };
    loadWithin(drives, [&](const Module& module) {
        const std::string& messages = module.startupMessages();
        for (const char* name : {"sheet.cue", "track.bin", "desc.disc"})
            EXPECT_NE(messages.find(std::string(name) + ": not a regular file"), std::string::npos)
                << name << "\n"
                << messages;
        // The generated disc is served as the one drive.
        EXPECT_EQ(tocEntries(module.exec(readToc(false), 804, 0, 5)).back().address, 100u);
    });
    loadWithin("@" + (folder / "drives.list").string(), [&](const Module& module) {
        EXPECT_NE(module.startupMessages().find("drives.list: not a regular file"),
                  std::string::npos)
            << module.startupMessages();
        EXPECT_EQ(module.supportInfo(), SS_NO_ADAPTERS << 8);
    });
}

TEST(CueSheets, CookedDataSectorsAreServedWhole) {
    // A MODE1/2048 image holds user data only; the drive adds sync, header, EDC and ECC.
    TempFolder folder;
    const auto cooked = randomBytes(20 * 2048, 8);
    writeFile(folder / "data.iso", cooked);
    writeText(folder / "disc.cue",
              "FILE \"data.iso\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n");
    Module module((folder / "disc.cue").string());
    EXPECT_EQ(tocEntries(module.exec(readToc(false), 804)).back().address, 20u);
    const Reply raw = module.exec(readCd(5, 2, 0xF8), 2 * kFrame);
    ASSERT_TRUE(raw.good());
    for (int s = 0; s < 2; ++s) {
        const uint8_t* sector = &raw.data[s * kFrame];
        EXPECT_EQ(sector[1], 0xFF);
        EXPECT_EQ(sector[14], 5 + s) << "BCD frame of LBA 5 + 150";
        EXPECT_EQ(sector[15], 1) << "mode 1";
        EXPECT_TRUE(std::equal(sector + 16, sector + 16 + 2048, cooked.begin() + (5 + s) * 2048));
        EXPECT_FALSE(std::all_of(sector + 2064, sector + 2068, [](uint8_t b) { return b == 0; }))
            << "an EDC is present";
    }
    const Reply user = module.exec({0x28, 0, 0, 0, 0, 5, 0, 0, 2, 0}, 2 * 2048);
    ASSERT_TRUE(user.good()) << "READ(10) with 2048-byte blocks reads data tracks";
    EXPECT_TRUE(std::equal(user.data.begin(), user.data.end(), cooked.begin() + 5 * 2048));
}

TEST(WavFolders, EachFileIsATrackAndPartialFramesArePadded) {
    TempFolder folder;
    const auto first = randomBytes(100 * kFrame + 4, 6);
    const auto second = randomBytes(50 * kFrame, 7);
    writeFile(folder / "02 second.wav", wavFile(second));
    writeFile(folder / "01 first.WAV", wavFile(first));
    writeText(folder / "notes.txt", "not a track");
    Module module(folder.path().string());
    const auto entries = tocEntries(module.exec(readToc(false), 804));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].address, 101u);
    EXPECT_EQ(entries[2].address, 151u);
    const Reply reply = module.exec(readCd(100, 2), 2 * kFrame);
    ASSERT_TRUE(reply.good());
    EXPECT_TRUE(slice(reply.data, 0, 4) == slice(first, 100 * kFrame, 4));
    EXPECT_TRUE(std::all_of(reply.data.begin() + 4, reply.data.begin() + kFrame,
                            [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(slice(reply.data, kFrame, kFrame) == slice(second, 0, kFrame));
}

// Generated discs: tonalda-mkdisc writes exactly what the drive serves, and the audio is music,
// not silence or a pattern.
TEST(GeneratedDiscs, MkdiscFilesHoldExactlyWhatTheDriveServes) {
    TempFolder folder;
    writeText(folder / "test.disc",
              "# two audio tracks around a data track\nseed 11\n"
              "track audio 0:04:10\ntrack data 0:02\ntrack audio 300 pregap 0:01:00\n");
    ASSERT_EQ(runMkdisc((folder / "test.disc").string() + " " + (folder / "out").string()), 0);
    const auto bin = readFile(folder / "out" / "disc.bin");
    ASSERT_EQ(bin.size(), (310u + 150 + 75 + 300) * kFrame);

    Module module((folder / "test.disc").string() + ";" + (folder / "out" / "disc.cue").string() +
                  ",addr=0:1:0");
    ASSERT_EQ(module.startupMessages(), "");
    const Reply generated = module.exec(readToc(true), 804);
    const Reply fromCue = module.exec(readToc(true), 804, 0, 1);
    EXPECT_TRUE(generated.data == fromCue.data) << "the CUE sheet describes the same disc";
    const auto entries = tocEntries(generated);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].address, msf(310 + 150 + 75));

    for (int32_t lba = 0; lba < 835; lba += 26) {
        const uint32_t frames = std::min<uint32_t>(26, 835 - lba);
        const Reply reply = module.exec(readCd(lba, frames, 0xF8), frames * kFrame);
        ASSERT_TRUE(reply.good());
        ASSERT_TRUE(reply.data == slice(bin, lba * kFrame, frames * kFrame)) << lba;
    }
    const auto track3 = readFile(folder / "out" / "track03.wav");
    ASSERT_EQ(track3.size(), 44u + 300 * kFrame);
    EXPECT_TRUE(slice(track3, 44, 300 * kFrame) == slice(bin, 535 * kFrame, 300 * kFrame));
    const auto track1 = readFile(folder / "out" / "track01.wav");
    EXPECT_EQ(track1.size(), 44u + 310 * kFrame);
    EXPECT_FALSE(std::filesystem::exists(folder / "out" / "track02.wav"))
        << "data tracks have no WAV";

    // Music: loud enough, and rich in distinct sample values.
    std::set<int16_t> values;
    int peak = 0;
    for (size_t at = 44 + 150 * kFrame; at + 1 < 44 + 250 * kFrame; at += 2) {
        const auto v = static_cast<int16_t>(track1[at] | track1[at + 1] << 8);
        values.insert(v);
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    EXPECT_GT(peak, 4000);
    EXPECT_GT(values.size(), 5000u);
}

TEST(GeneratedDiscs, DataSectorsCarryAValidHeaderAndEdc) {
    Module module("gen:seed 5/track data 0:02/track audio 0:02");
    const Reply reply = module.exec(readCd(100, 1, 0xF8), kFrame);
    ASSERT_TRUE(reply.good());
    const std::vector<uint8_t> sync{0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_TRUE(slice(reply.data, 0, 12) == sync);
    EXPECT_EQ(reply.data[12], 0x00);  // 00:03:25 in BCD for LBA 100
    EXPECT_EQ(reply.data[13], 0x03);
    EXPECT_EQ(reply.data[14], 0x25);
    EXPECT_EQ(reply.data[15], 1);
    // The EDC: CRC-32 over sync, header and user data with the polynomial of the CD standard.
    uint32_t edc = 0;
    for (int i = 0; i < 2064; ++i) {
        edc ^= reply.data[i];
        for (int bit = 0; bit < 8; ++bit) {
            edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0);
        }
    }
    EXPECT_EQ(edc, static_cast<uint32_t>(reply.data[2064] | reply.data[2065] << 8 |
                                         reply.data[2066] << 16 | reply.data[2067] << 24));
    // The parity: every P vector (a column of the 24 x 43 word matrix, plus two parity words)
    // and every Q vector (a diagonal, plus two) is a codeword of a Reed-Solomon code over
    // GF(2^8) with roots 1 and alpha, so both of its syndromes vanish.
    auto timesAlpha = [](uint8_t a) {
        return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
    };
    const uint8_t* body = &reply.data[12];  // header on: 1170 words of two bytes
    auto syndromesVanish = [&](const std::vector<int>& words, int pair) {
        uint8_t s0 = 0;
        uint8_t s1 = 0;
        for (int word : words) {
            const uint8_t value = body[2 * word + pair];
            s0 ^= value;
            s1 = timesAlpha(s1) ^ value;
        }
        return s0 == 0 && s1 == 0;
    };
    for (int pair = 0; pair < 2; ++pair) {
        for (int column = 0; column < 43; ++column) {
            std::vector<int> words;
            for (int row = 0; row < 26; ++row) {
                words.push_back(43 * row + column);
            }
            EXPECT_TRUE(syndromesVanish(words, pair)) << "P column " << column;
        }
        for (int diagonal = 0; diagonal < 26; ++diagonal) {
            std::vector<int> words;
            for (int j = 0; j < 43; ++j) {
                words.push_back((44 * j + 43 * diagonal) % 1118);
            }
            words.push_back(1118 + diagonal);
            words.push_back(1144 + diagonal);
            EXPECT_TRUE(syndromesVanish(words, pair)) << "Q diagonal " << diagonal;
        }
    }
}

}  // namespace
