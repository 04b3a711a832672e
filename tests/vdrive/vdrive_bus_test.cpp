// Host adapters, device types, INQUIRY, configuration errors and pending requests.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/event.h"
#include "vdrive_harness.h"

using namespace vdrive_test;

namespace {

std::string text(const uint8_t* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

constexpr const char* kShortDisc = "gen:seed 3/track audio 0:05";

TEST(VirtualBus, AdaptersAndDeviceTypesFollowTheConfiguration) {
    Module module(std::string(kShortDisc) + ";" + kShortDisc + ",addr=1:10:0;" + kShortDisc +
                  ",addr=1:2:3,type=0");
    EXPECT_EQ(module.supportInfo(), (SS_COMP << 8) | 2u);

    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 1;
    ASSERT_EQ(module.send(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 2);
    EXPECT_EQ(inquiry.HA_Unique[3], 16) << "a target above 7 needs 16 targets";
    EXPECT_EQ(text(inquiry.HA_Identifier, 16), "Virtual SCSI 1  ");
    inquiry.SRB_HaId = 0;
    ASSERT_EQ(module.send(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Unique[3], 8);
    inquiry.SRB_HaId = 2;
    EXPECT_EQ(module.send(&inquiry), SS_INVALID_HA);
    EXPECT_EQ(inquiry.SRB_Status, SS_INVALID_HA);

    auto type = [&module](uint8_t a, uint8_t t, uint8_t l, uint8_t* out) {
        SRB_GDEVBlock block{};
        block.SRB_Cmd = SC_GET_DEV_TYPE;
        block.SRB_HaId = a;
        block.SRB_Target = t;
        block.SRB_Lun = l;
        const uint32_t status = module.send(&block);
        *out = block.SRB_DeviceType;
        return status;
    };
    uint8_t found = 0;
    EXPECT_EQ(type(0, 0, 0, &found), SS_COMP);  // the first drive takes the first free place
    EXPECT_EQ(found, 5);
    EXPECT_EQ(type(1, 10, 0, &found), SS_COMP);
    EXPECT_EQ(type(1, 2, 3, &found), SS_COMP);
    EXPECT_EQ(found, 0) << "type= presents a device that is not a CD-ROM";
    EXPECT_EQ(type(0, 1, 0, &found), SS_NO_DEVICE);
    EXPECT_EQ(type(1, 2, 0, &found), SS_NO_DEVICE);
    EXPECT_EQ(type(3, 0, 0, &found), SS_INVALID_HA);
    EXPECT_EQ(module.exec({0, 0, 0, 0, 0, 0}, 0, 0, 1, 0).returned, SS_NO_DEVICE);
}

TEST(VirtualBus, NoDrivesMeansNoAdapters) {
    Module module("");
    EXPECT_EQ(module.supportInfo(), SS_NO_ADAPTERS << 8);
}

TEST(VirtualBus, InquiryTextsArePaddedWithSpaces) {
    Module module(std::string(kShortDisc) +
                  ",vendor=ACME,product=Disc Reader 2,revision=1.2,info=made here");
    const Reply reply = module.exec({0x12, 0, 0, 0, 100, 0}, 100);
    ASSERT_TRUE(reply.good());
    EXPECT_EQ(reply.transferred(), 96u);
    EXPECT_EQ(reply.data[0], 5);
    EXPECT_EQ(reply.data[4], 91) << "additional length";
    EXPECT_EQ(text(&reply.data[8], 8), "ACME    ");
    EXPECT_EQ(text(&reply.data[16], 16), "Disc Reader 2   ");
    EXPECT_EQ(text(&reply.data[32], 4), "1.2 ");
    EXPECT_EQ(text(&reply.data[36], 20), "made here           ");
    EXPECT_EQ(reply.data[96], 0xAA) << "nothing written past the reply";

    const Reply shortReply = module.exec({0x12, 0, 0, 0, 36, 0}, 100);
    EXPECT_EQ(shortReply.transferred(), 36u) << "the allocation length limits the reply";
    EXPECT_EQ(shortReply.data[36], 0xAA);
}

TEST(VirtualBus, ErrorsEndInCheckConditionWithFixedFormatSense) {
    Module module(kShortDisc);
    Reply reply = module.exec({0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, 2048);
    EXPECT_EQ(reply.returned, SS_ERR);
    EXPECT_EQ(reply.srb.SRB_TargStat, 2);
    EXPECT_EQ(reply.srb.SenseArea[0], 0x70);
    EXPECT_EQ(reply.sense().key, 5);
    EXPECT_EQ(reply.sense().asc, 0x20);
    EXPECT_EQ(reply.srb.SenseArea[14], 0) << "only SRB_SenseLen bytes are copied";

    reply = module.exec(readCd(374, 2), 2 * 2352);  // the disc ends at 375
    EXPECT_EQ(reply.sense().key, 5);
    EXPECT_EQ(reply.sense().asc, 0x21);
    EXPECT_EQ(reply.data[0], 0xAA);
    reply = module.exec(readCd(-1, 1), 2352);
    EXPECT_EQ(reply.sense().asc, 0x21);

    reply = module.exec(readToc(false, 2), 804);  // there is no track 2
    EXPECT_EQ(reply.sense().key, 5);
    EXPECT_EQ(reply.sense().asc, 0x24);

    reply = module.exec(readCd(0, 2), 2 * 2352 - 1);
    EXPECT_EQ(reply.returned, SS_ERR) << "a reply larger than the buffer is not squeezed in";
    EXPECT_EQ(reply.srb.SRB_HaStat, 0x12);
    EXPECT_EQ(reply.data[0], 0xAA);

    SRB_ExecSCSICmd bad{};
    bad.SRB_Cmd = SC_EXEC_SCSI_CMD;
    bad.SRB_CDBLen = 12;
    bad.SRB_BufLen = 100;  // and no buffer
    EXPECT_EQ(module.send(&bad), SS_INVALID_SRB);
}

TEST(VirtualBus, EmptyDrivesReportNoMedium) {
    Module module(std::string(kShortDisc) + ",nodisc;none,addr=0:1:0");
    for (uint8_t target : {0, 1}) {
        EXPECT_TRUE(module.exec({0x12, 0, 0, 0, 36, 0}, 36, 0, target).good());
        for (const auto& cdb :
             {std::vector<uint8_t>{0, 0, 0, 0, 0, 0}, readToc(false), readCd(0, 1)}) {
            const Reply reply = module.exec(cdb, 2352, 0, target);
            EXPECT_EQ(reply.sense().key, 2);
            EXPECT_EQ(reply.sense().asc, 0x3A);
        }
    }
    // Loading the tray of the drive that has a disc brings the medium, announced once.
    EXPECT_TRUE(module.exec({0x1B, 0, 0, 0, 3, 0}, 0).good());
    EXPECT_EQ(module.exec({0, 0, 0, 0, 0, 0}, 0).sense().key, 6);
    EXPECT_TRUE(module.exec({0, 0, 0, 0, 0, 0}, 0).good());
}

TEST(VirtualBus, BadItemsAreNamedAndLeftOutWhileTheOthersWork) {
    TempFolder folder;
    Module module(std::string(kShortDisc) + ",speed=fast;" + kShortDisc + ",colour=red;" +
                  (folder / "missing.cue").string() + ";" + kShortDisc + ",addr=0:3:0;" +
                  kShortDisc + ",addr=0:3:0;" + "gen:track audio 0:99");
    const std::string& messages = module.startupMessages();
    EXPECT_NE(messages.find("speed=fast"), std::string::npos) << messages;
    EXPECT_NE(messages.find("colour"), std::string::npos) << messages;
    EXPECT_NE(messages.find("missing.cue"), std::string::npos) << messages;
    EXPECT_NE(messages.find("address is taken"), std::string::npos) << messages;
    EXPECT_NE(messages.find("0:99"), std::string::npos) << messages;
    EXPECT_EQ(module.supportInfo(), (SS_COMP << 8) | 1u);
    EXPECT_TRUE(module.exec({0, 0, 0, 0, 0, 0}, 0, 0, 3).good());
    EXPECT_EQ(module.exec({0, 0, 0, 0, 0, 0}, 0, 0, 0).returned, SS_NO_DEVICE);
}

TEST(VirtualBus, TheDriveListMayComeFromAFile) {
    TempFolder folder;
    writeText(folder / "drives",
              "# two drives\ngen:seed 1/track audio 0:03,vendor=ONE\n\n"
              "gen:seed 2/track audio 0:03 # the second\n");
    Module module("@" + (folder / "drives").string());
    EXPECT_EQ(module.startupMessages(), "");
    EXPECT_EQ(text(&module.exec({0x12, 0, 0, 0, 36, 0}, 36).data[8], 8), "ONE     ");
    EXPECT_TRUE(module.exec({0x12, 0, 0, 0, 36, 0}, 36, 0, 1).good());
}

TEST(VirtualBus, DelayedRequestsReturnPendingAndSignalTheirEvent) {
    Module module(std::string(kShortDisc) + ",delay=50");
    const Reply reply = module.exec(readCd(10, 2), 2 * 2352);
    EXPECT_EQ(reply.returned, SS_PENDING);
    EXPECT_EQ(reply.srb.SRB_Status, SS_COMP);
    EXPECT_EQ(reply.transferred(), 2u * 2352);

    // A request still waiting can be aborted; the module lets go of it at once.
    tonalda::ManualResetEvent first;
    tonalda::ManualResetEvent second;
    std::vector<uint8_t> buffer1(2352), buffer2(2352, 0x55);
    SRB_ExecSCSICmd srb1{}, srb2{};
    for (auto [srb, event, buffer] :
         {std::tuple{&srb1, &first, &buffer1}, {&srb2, &second, &buffer2}}) {
        srb->SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb->SRB_Flags = SRB_EVENT_NOTIFY | SRB_DIR_IN;
        srb->SRB_BufLen = 2352;
        srb->SRB_BufPointer = buffer->data();
        srb->SRB_SenseLen = ASPI_SENSE_LEN;
        srb->SRB_CDBLen = 12;
        srb->SRB_PostProc = event->handle();
        const auto cdb = readCd(0, 1);
        std::memcpy(srb->CDBByte, cdb.data(), cdb.size());
        EXPECT_EQ(module.send(srb), SS_PENDING);
    }
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb2;
    EXPECT_EQ(module.send(&abort), SS_COMP);
    EXPECT_TRUE(second.isSet());
    EXPECT_EQ(srb2.SRB_Status, SS_ABORTED);
    EXPECT_EQ(buffer2[0], 0x55);
    EXPECT_TRUE(first.wait(std::chrono::seconds(10)));
    EXPECT_EQ(srb1.SRB_Status, SS_COMP);
}

TEST(VirtualBus, ModeSelectParameterListsAreChecked) {
    Module module(kShortDisc);
    const std::vector<uint8_t> select{0x15, 0x10, 0, 0, 12, 0};
    // Block length 2000 is not one a CD-ROM drive offers.
    Reply reply = module.exec(select, 12, 0, 0, 0, {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x07, 0xD0},
                              SRB_EVENT_NOTIFY);
    EXPECT_EQ(reply.sense().asc, 0x26);
    // A page that runs past the list.
    reply = module.exec({0x15, 0x10, 0, 0, 8, 0}, 8, 0, 0, 0, {0, 0, 0, 0, 0x01, 0x06, 0, 0},
                        SRB_EVENT_NOTIFY);
    EXPECT_EQ(reply.sense().asc, 0x1A);
    // The lists the engine sends are accepted.
    reply = module.exec({0x15, 0x10, 0, 0, 0x14, 0}, 20, 0, 0, 0,
                        {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30, 0x23, 6, 0, 0, 0, 0, 0, 0x80},
                        SRB_EVENT_NOTIFY);
    EXPECT_TRUE(reply.good());
    reply = module.exec({0x15, 0x10, 0, 0, 8, 0}, 12, 0, 0, 0,
                        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0x30}, SRB_EVENT_NOTIFY);
    EXPECT_TRUE(reply.good());
}

}  // namespace
