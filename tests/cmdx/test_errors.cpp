#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "tests/cmdx/cmdx_test.h"
#include "tests/support/golden.h"
#include "vdx/vdx_sense.h"

namespace enctl {
namespace {

using testing::bytes;

// A finished command. Sense bytes past `sense_length` are stale data (AAh)
// in the buffer that must not be read.
vdx_scsi_cmd finished(std::uint8_t status, const bytes& sense, std::uint32_t sense_length, std::uint8_t opcode = 0x1C) {
    vdx_scsi_cmd cmd{};
    cmd.cdb[0] = opcode;
    cmd.scsi_status = status;
    std::fill(std::begin(cmd.sense), std::end(cmd.sense), 0xAA);
    std::copy(sense.begin(), sense.end(), cmd.sense);
    cmd.sense_length = sense_length;
    return cmd;
}

const bytes kFixed = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
const bytes kDescriptor = {0x72, 0x0B, 0x47, 0x03};

// Status and returned sense -> result and record (golden file): fixed (70h,
// 71h, with VALID), descriptor (72h) and other response codes (read in
// descriptor layout), sense cut short or absent, other statuses.
TEST(CheckError, StatusAndSenseGiveTheRecordsOfTheGoldenFile) {
    bytes deferred = kFixed;
    deferred[0] = 0xF1;
    const vdx_scsi_cmd cases[] = {
        finished(0, {}, 0),           finished(2, kFixed, 14),           finished(2, deferred, 14),
        finished(2, kDescriptor, 4),  finished(2, {0x00, 0x03, 0x11}, 3), finished(2, kFixed, 12),
        finished(2, kDescriptor, 0),  finished(0x08, {}, 0),             finished(0x18, {}, 0),
    };
    std::string described;
    for (const vdx_scsi_cmd& cmd : cases) {
        vdx_error error{};
        error.code = 9;
        const int result = cmdxscsi_check_error(&error, cmd);
        char line[200];
        std::snprintf(line, sizeof line, "status %02X, sense %s (%u) -> %d, error %u/%u %s: ", cmd.scsi_status,
                      testing::hex(vdx_scsi_sense_bytes(cmd)).c_str(), cmd.sense_length, result, error.code,
                      error.subcode, error.function);
        const std::string message = error.message;
        described += line + message.substr(0, message.find('\n')) + "\n";
    }
    testing::expect_golden(described, "cmdx/golden/check_error.txt");
}

// An ATA PASS-THROUGH with CK_COND is judged by the ATA status of its ATA
// Status Return descriptor, when that came back whole.
TEST(CheckError, AtaPassThroughWithCkCondIsJudgedByTheAtaStatus) {
    auto pass_through = [](std::uint8_t ata_status, std::uint32_t sense_length, std::uint8_t ck_cond = 0x20) {
        vdx_scsi_cmd cmd = finished(2, {0x72, 1, 0, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0x40, ata_status}, sense_length, 0x85);
        cmd.cdb[2] = ck_cond;
        return cmd;
    };
    vdx_error error{};
    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through(0x50, 22)), 0);
    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through(0x51, 22)), 1);
    EXPECT_EQ(error.subcode, 0x5104u);
    EXPECT_STREQ(error.message, "device error detected, status 51h, error 4h");
    EXPECT_STREQ(error.function, "ata_check_error");
    // The descriptor cut short is not read: the fallback status FFh fails.
    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through(0x50, 21)), 1);
    EXPECT_EQ(error.subcode, 0xFF02u);
    // Without CK_COND the sense is decoded as a SCSI error.
    EXPECT_EQ(cmdxscsi_check_error(&error, pass_through(0x50, 22, 0)), 1);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 01/00/1DH\n");
}

TEST(SenseDecoder, DescriptorsAreTakenOnlyWhenWhollyReturned) {
    const std::uint8_t sense[] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 8, 0x09, 0x02, 0xA0, 0xA1, 0x05, 0x04, 1, 2, 3};
    const vdx_sense decoded = vdx_sense_decode(sense);
    EXPECT_EQ(decoded.format, vdx_sense_format::descriptor);
    EXPECT_EQ(vdx_sense_descriptor_at(decoded, 8).size(), 4u);
    EXPECT_EQ(vdx_sense_descriptor_at(decoded, 12).size(), 0u);  // 4 bytes claimed, 3 returned
    EXPECT_EQ(vdx_sense_descriptor_at(vdx_sense_decode(std::span(sense).first(9)), 8).size(), 0u);
    EXPECT_EQ(vdx_sense_decode(std::span(sense).first(0)).format, vdx_sense_format::none);
    EXPECT_EQ(vdx_scsi_sense_bytes(finished(2, {0x70}, 200)).size(), 32u);  // never past the buffer
}

}  // namespace
}  // namespace enctl
