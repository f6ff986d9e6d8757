#include <gtest/gtest.h>

#include <initializer_list>

#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {
namespace {

vdx_scsi_cmd finished(std::uint8_t status, std::initializer_list<std::uint8_t> sense) {
    vdx_scsi_cmd cmd{};
    cmd.cdb[0] = 0x1C;
    cmd.cdb_length = 6;
    cmd.scsi_status = status;
    std::size_t i = 0;
    for (std::uint8_t b : sense) cmd.sense[i++] = b;
    cmd.sense_length = static_cast<std::uint32_t>(i);
    return cmd;
}

TEST(CheckError, GoodStatusClearsTheRecord) {
    vdx_error error{};
    error.code = 4;
    EXPECT_EQ(cmdxscsi_check_error(&error, finished(0, {})), 0);
    EXPECT_EQ(error.code, 0u);
}

TEST(CheckError, FixedSenseGivesKeyAscAscqFromBytes2_12_13) {
    vdx_error error{};
    EXPECT_EQ(cmdxscsi_check_error(&error, finished(2, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00})), 1);
    EXPECT_EQ(error.code, 1u);
    EXPECT_EQ(error.subcode, 0u);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 05/24/00H\n");
    EXPECT_STREQ(error.function, "cmdxscsi_check_error");
    // 71h (deferred) and a VALID bit are fixed format too.
    cmdxscsi_check_error(&error, finished(2, {0xF1, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x01}));
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 06/29/01H\n");
}

TEST(CheckError, DescriptorSenseGivesKeyAscAscqFromBytes1_2_3) {
    vdx_error error{};
    EXPECT_EQ(cmdxscsi_check_error(&error, finished(2, {0x72, 0x0B, 0x47, 0x03})), 1);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 0B/47/03H\n");
}

TEST(CheckError, BusyAndOtherStatusesAreDeviceErrors) {
    vdx_error error{};
    EXPECT_EQ(cmdxscsi_check_error(&error, finished(0x08, {})), 1);
    EXPECT_EQ(error.code, 6u);
    EXPECT_EQ(error.subcode, 8u);
    EXPECT_STREQ(error.message, "device error detected, scsi status 8h");
    cmdxscsi_check_error(&error, finished(0x18, {}));
    EXPECT_EQ(error.subcode, 0x18u);
    EXPECT_STREQ(error.message, "device error detected, scsi status 18h");
}

vdx_scsi_cmd pass_through_ck_cond(std::uint8_t ata_status, std::uint8_t ata_error) {
    vdx_scsi_cmd cmd = finished(2, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0x00, ata_error,
                                    0, 0, 0, 0, 0, 0, 0, 0, 0x40, ata_status});
    cmd.cdb[0] = 0x85;
    cmd.cdb[2] = 0x20;  // CK_COND
    cmd.cdb_length = 16;
    return cmd;
}

TEST(CheckError, AtaPassThroughWithCkCondIsJudgedByTheAtaStatus) {
    vdx_error error{};
    error.code = 9;
    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through_ck_cond(0x50, 0x00)), 0);
    EXPECT_EQ(error.code, 0u);

    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through_ck_cond(0x51, 0x04)), 1);
    EXPECT_EQ(error.code, 6u);
    EXPECT_EQ(error.subcode, 0x5104u);
    EXPECT_STREQ(error.message, "device error detected, status 51h, error 4h");
    EXPECT_STREQ(error.function, "ata_check_error");

    // Without CK_COND the sense is decoded as a SCSI error.
    vdx_scsi_cmd plain = pass_through_ck_cond(0x50, 0);
    plain.cdb[2] = 0;
    EXPECT_EQ(cmdxscsi_check_error(&error, plain), 1);
    EXPECT_EQ(error.code, 1u);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 01/00/1DH\n");
}

}  // namespace
}  // namespace enctl
