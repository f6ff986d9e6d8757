#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "tests/support/fake_backend.h"

namespace enctl {
namespace {

using testing_fake::fake_backend_scope;
using testing_fake::g_fake;
using testing_fake::make_fake_device;

TEST(AtaIdentify, BuiltAsPioDataInOfOneBlock) {
    std::array<std::uint8_t, 512> buffer;
    vdx_ata_cmd cmd;
    std::memset(&cmd, 0xAA, sizeof cmd);
    cmdxata_build_identify(&cmd, buffer);
    EXPECT_EQ(cmd.protocol, 4);
    EXPECT_EQ(cmd.transfer_unit, 1u);
    EXPECT_EQ(cmd.t_length, 2);
    EXPECT_EQ(cmd.count, 1);
    EXPECT_EQ(cmd.command, 0xEC);
    EXPECT_EQ(cmd.data, buffer.data());
    EXPECT_EQ(cmd.length, 512u);
    EXPECT_EQ(cmd.timeout, 30000u);
    EXPECT_EQ(cmd.direction, kVdxDirFromDevice);
    EXPECT_EQ(cmd.features, 0);
    EXPECT_EQ(cmd.lba, 0u);
    EXPECT_EQ(cmd.device, 0);
    EXPECT_EQ(cmd.extend, 0);
    EXPECT_EQ(cmd.check_condition, 0);
}

TEST(AtaIdentify, SerialIsUnswappedAndTrimmed) {
    std::array<std::uint8_t, 512> data{};
    // "  WD-WX12345678     " stored pairwise swapped as ATA strings are
    const std::string serial = "  WD-WX12345678      ";
    for (std::size_t i = 0; i < 20; i += 2) {
        data[20 + i] = static_cast<std::uint8_t>(serial[i + 1]);
        data[20 + i + 1] = static_cast<std::uint8_t>(serial[i]);
    }
    vdx_error error{};
    char out[32];
    ASSERT_EQ(cmdxata_identify_parse_serial(&error, out, data), 0);
    EXPECT_STREQ(out, "WD-WX12345678");
    EXPECT_EQ(cmdxata_identify_parse_serial(&error, out, std::span(data).first(39)), 1);
    EXPECT_EQ(error.code, 1u);
    EXPECT_STREQ(error.message, "buffer not large enough to parse ata identify serial");
}

TEST(AtaIdentify, ErrBitIsADeviceError) {
    vdx_error error{};
    vdx_ata_cmd cmd{};
    cmd.status = 0x50;
    EXPECT_EQ(cmdxata_check_error(&error, cmd), 0);
    cmd.status = 0x51;
    cmd.error = 0x04;
    EXPECT_EQ(cmdxata_check_error(&error, cmd), 1);
    EXPECT_EQ(error.code, 6u);
    EXPECT_EQ(error.subcode, 0x5104u);
    EXPECT_STREQ(error.message, "device error detected, status 51h, error 4h");
}

TEST(NvmeIdentify, BuiltForTheAdminQueue) {
    std::array<std::uint8_t, 4096> buffer;
    vdx_nvme_cmd cmd;
    std::memset(&cmd, 0xAA, sizeof cmd);
    cmdxnvme_build_identify(&cmd, 0x11, 1, 0x22, buffer);
    EXPECT_EQ(cmd.opcode, 0x06u);
    EXPECT_EQ(cmd.nsid, 0x11u);
    EXPECT_EQ(cmd.cdw10, 0x00220001u);
    EXPECT_EQ(cmd.cdw11, 0u);
    EXPECT_EQ(cmd.data, buffer.data());
    EXPECT_EQ(cmd.length, 4096u);
    EXPECT_EQ(cmd.direction, kVdxDirFromDevice);
    EXPECT_EQ(cmd.timeout, 30000u);
    EXPECT_EQ(cmd.queue, 0u);
}

TEST(NvmeIdentify, CompletionStatusAndSerial) {
    vdx_error error{};
    vdx_nvme_cmd cmd{};
    cmd.completion[3] = 0x00010000;  // phase bit only
    EXPECT_EQ(cmdxnvme_check_error(&error, cmd), 0);
    cmd.completion[3] = ((1u << 9) | (0x0Bu << 1) | 1u) << 16;
    EXPECT_EQ(cmdxnvme_check_error(&error, cmd), 1);
    EXPECT_EQ(error.code, 6u);
    EXPECT_EQ(error.subcode, 0x10Bu);
    EXPECT_STREQ(error.message, "device error detected, sct 1h, sc bh");

    std::array<std::uint8_t, 24> data{};
    std::memcpy(&data[4], "S4EWNX0R123456      ", 20);
    char out[32];
    ASSERT_EQ(cmdxnvme_identify_controller_parse_serial(&error, out, data), 0);
    EXPECT_STREQ(out, "S4EWNX0R123456");
    EXPECT_EQ(cmdxnvme_identify_controller_parse_serial(&error, out, std::span(data).first(23)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse nvme controller serial\n");
}

class GetSerial : public ::testing::Test {
protected:
    fake_backend_scope fake_;
    vdx_error error_{};
};

TEST_F(GetSerial, SatDiskIsAskedWithAtaIdentifyNotVpd80) {
    vdx_dev dev = make_fake_device("disk2", kVdxInterfaceScsiSatAta, kVdxConnectionStorage);
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        const std::string swapped = "ASATNS21";  // "SATASN12", pairwise swapped
        std::memcpy(cmd->data + 20, swapped.data(), swapped.size());
        std::memset(cmd->data + 20 + swapped.size(), ' ', 20 - swapped.size());
        cmd->bytes_transferred = 512;
        return 0;
    };
    char out[32];
    ASSERT_EQ(cmdxbasics_get_serial(&error_, &dev, out), 0) << error_.message;
    EXPECT_STREQ(out, "SATASN12");
    ASSERT_EQ(g_fake.scsi_sent.size(), 1u);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[0], 0x85);
}

TEST_F(GetSerial, ScsiDeviceIsAskedWithVpd80) {
    vdx_dev dev = make_fake_device("SCSI1:0,5,0", kVdxInterfaceScsi);
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        const std::uint8_t page[] = {0x0D, 0x80, 0x00, 0x06, 'E', 'N', 'C', '0', '0', '1'};
        std::memcpy(cmd->data, page, sizeof page);
        cmd->bytes_transferred = sizeof page;
        return 0;
    };
    char out[32];
    ASSERT_EQ(cmdxbasics_get_serial(&error_, &dev, out), 0);
    EXPECT_STREQ(out, "ENC001");
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[0], 0x12);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[1], 0x01);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[2], 0x80);
}

TEST_F(GetSerial, NvmeControllerIsAskedWithIdentifyController) {
    vdx_dev dev = make_fake_device("nvme0", kVdxInterfaceNvme, kVdxConnectionStorage);
    std::uint32_t cdw10 = 0;
    g_fake.on_nvme = [&](vdx_error*, vdx_dev*, vdx_nvme_cmd* cmd) {
        cdw10 = cmd->cdw10;
        std::memcpy(cmd->data + 4, "NVSN77              ", 20);
        return 0;
    };
    char out[32];
    ASSERT_EQ(cmdxbasics_get_serial(&error_, &dev, out), 0);
    EXPECT_STREQ(out, "NVSN77");
    EXPECT_EQ(cdw10, 1u);
}

TEST_F(GetSerial, FailuresComeBackAndUnknownInterfaceIsError2) {
    vdx_dev dev = make_fake_device("SCSI1:0,5,0", kVdxInterfaceScsi);
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->scsi_status = 0x08;
        return 0;
    };
    char out[32];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(cmdxbasics_get_serial(&error_, &dev, out), 1);
    EXPECT_EQ(error_.code, 6u);
    EXPECT_STREQ(out, "");

    vdx_dev hub = make_fake_device("hub", kVdxInterfaceUsbRootHub, kVdxConnectionUsbRootHub);
    EXPECT_EQ(cmdxbasics_get_serial(&error_, &hub, out), 1);
    EXPECT_EQ(error_.code, 2u);
    EXPECT_STREQ(error_.message, "unsupported device interface\n");
}

}  // namespace
}  // namespace enctl
