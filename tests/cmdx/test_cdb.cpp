#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "tests/cmdx/cmdx_test.h"
#include "tests/support/golden.h"
#include "vdx/vdx_sat.h"

namespace enctl {
namespace {

using testing::bytes;
using testing_fake::g_fake;
using testing::hex;
using build = std::function<void(vdx_scsi_cmd*, std::span<std::uint8_t>)>;

// Every builder: arguments and buffer length -> CDB, direction, transfer
// length (cut to what the CDB field carries), time-out, in a zeroed command
// with sense length 32. The vendor time-out is set apart from the SCSI one.
TEST(CdbBuilders, ArgumentsGiveTheBytesOfTheGoldenFile) {
    const std::tuple<const char*, std::size_t, build> cases[] = {
        {"inquiry", 4096, [](auto* c, auto b) { cmdxscsi_build_inquiry(c, false, 0x80, b); }},
        {"inquiry vpd 83h", 256, [](auto* c, auto b) { cmdxscsi_build_inquiry(c, true, 0x83, b); }},
        {"inquiry over 16 bits", 0x12345, [](auto* c, auto b) { cmdxscsi_build_inquiry(c, false, 0, b); }},
        {"mode select pf rtd sp", 0x1C, [](auto* c, auto b) { cmdxscsi_build_mode_select10(c, true, true, true, b); }},
        {"mode select pf", 8, [](auto* c, auto b) { cmdxscsi_build_mode_select10(c, true, false, false, b); }},
        {"mode sense", 512, [](auto* c, auto b) { cmdxscsi_build_mode_sense10(c, true, true, 3, 0x20, 5, b); }},
        {"mode sense dbd", 512, [](auto* c, auto b) { cmdxscsi_build_mode_sense10(c, false, true, 0, 0x20, 0, b); }},
        {"read capacity", 32, [](auto* c, auto b) { cmdxscsi_build_read_capacity16(c, b); }},
        {"receive diagnostic", 4096, [](auto* c, auto b) { cmdxscsi_build_receive_diagnostic(c, true, 2, b); }},
        {"receive diagnostic no pcv", 4096, [](auto* c, auto b) { cmdxscsi_build_receive_diagnostic(c, false, 2, b); }},
        {"send diagnostic", 144, [](auto* c, auto b) { cmdxscsi_build_send_diagnostic(c, {}, b); }},
        {"send diagnostic all bits", 0, [](auto* c, auto b) { cmdxscsi_build_send_diagnostic(c, {1, true, true, true, true}, b); }},
        {"vendor short", 0x1000, [](auto* c, auto b) { cmdxscsi_build_vendor_e6_read(c, 0xFF, 6, 0x11, 0x123456, b); }},
        {"ata identify through sat", 4096, [](auto* c, auto b) {
             vdx_ata_cmd ata;
             std::memset(&ata, 0xAA, sizeof ata);
             cmdxata_build_identify(&ata, b.first(512));
             vdx_scsi_build_ata_pass_through(c, ata);
         }},
        {"vendor long", 16, [](auto* c, auto b) { cmdxscsi_build_vendor_e6_read_enhanced(c, 3, 1, 0x22, 1, b); }},
    };
    const std::uint32_t saved = g_cmdxscsi_vendor_timeout_ms;
    g_cmdxscsi_vendor_timeout_ms = 45000;
    std::string described;
    for (const auto& [name, length, builder] : cases) {
        bytes buffer(length);
        vdx_scsi_cmd cmd;
        std::memset(&cmd, 0xAA, sizeof cmd);
        builder(&cmd, buffer);
        char line[160];
        std::snprintf(line, sizeof line, "%s: %s | dir %u, %u bytes, %u ms\n", name,
                      hex(std::span(cmd.cdb, cmd.cdb_length)).c_str(), cmd.direction, cmd.transfer_length, cmd.timeout);
        described += line;
        EXPECT_EQ(cmd.data, length ? buffer.data() : nullptr) << name;
        EXPECT_EQ(cmd.sense_length, 32u) << name;
        EXPECT_EQ(cmd.bytes_transferred + cmd.scsi_status + cmd.sense[31], 0u) << name;
    }
    g_cmdxscsi_vendor_timeout_ms = saved;
    testing::expect_golden(described, "cmdx/golden/cdb_builders.txt");
}

using Executors = testing::FakeScsiDevice;

TEST_F(Executors, ReadsReportTheTransferredCountAndVendorReadsZeroTheBufferFirst) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) { return cmd->data[2] = 0x10, cmd->bytes_transferred = 4, 0; };
    const std::function<int(std::span<std::uint8_t>, std::uint32_t*)> reads[] = {
        [&](auto b, auto* n) { return cmdxscsi_receive_diagnostic(&error_, &dev_, 0x02, b, n); },
        [&](auto b, auto* n) { return cmdxscsi_inquiry(&error_, &dev_, true, 0x83, b, n); },
        [&](auto b, auto* n) { return vendor_e6_read_enhanced(&error_, &dev_, 4, 0, 0x22, 0, b, n); },
        [&](auto b, auto* n) { return vendor_e6_read(&error_, &dev_, 0, 1, 0x11, 0, b, n); },
    };
    for (const auto& read : reads) {
        const bool vendor = &read - reads >= 2;  // the vendor reads zero their buffer first
        std::array<std::uint8_t, 8> buffer;
        buffer.fill(0xEE);
        std::uint32_t transferred = 99;
        ASSERT_EQ(read(std::span(buffer).first(6), &transferred), 0);
        EXPECT_EQ(transferred, 4u);
        EXPECT_EQ(hex(buffer), vendor ? "00 00 10 00 00 00 EE EE" : "EE EE 10 EE EE EE EE EE");
    }
    // A device without a SCSI path: the dispatch error comes back, count 0.
    dev_.interface = kVdxInterfaceNvmeIntelRste;
    std::array<std::uint8_t, 8> buffer{};
    std::uint32_t transferred = 99;
    EXPECT_EQ(reads[1](buffer, &transferred), 1);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(error_.code, 2u);
}

TEST_F(Executors, FailedDeliveryOrCheckConditionIsAFailure) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd*) { return 1; };  // no record filled
    std::array<std::uint8_t, 96> buffer{};
    EXPECT_NE(cmdxscsi_read_capacity16(&error_, &dev_, buffer), 0);
    EXPECT_NE(cmdxscsi_mode_sense10(&error_, &dev_, false, true, 0, 0x20, 0, buffer), 0);
    EXPECT_NE(cmdxscsi_mode_select10(&error_, &dev_, true, false, false, buffer), 0);
    EXPECT_NE(cmdxscsi_inquiry(&error_, &dev_, false, 0, buffer), 0);
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        std::memcpy(cmd->sense, "\x70\x00\x05\x00\x00\x00\x00\x0A\x00\x00\x00\x00\x20", 13);
        return cmd->scsi_status = 2, 0;
    };
    EXPECT_EQ(cmdxscsi_inquiry(&error_, &dev_, false, 0, buffer), 1);
    EXPECT_STREQ(error_.message, "SCSI Error: Status: 2H Sense Code: 05/20/00H\n");
}

TEST_F(Executors, IomConfigurationNeedsModePage20UpToByte23) {
    for (const auto& [page, transferred, result] : {std::tuple{0x20, 24u, 0}, {0x21, 24u, 1}, {0x20, 23u, 1}}) {
        g_fake.on_scsi = [&](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
            cmd->data[8] = static_cast<std::uint8_t>(page);
            cmd->data[23] = 0x04;
            return cmd->bytes_transferred = transferred, 0;
        };
        std::uint8_t config = 0x55;
        EXPECT_EQ(cmdxscsi_get_iom_config(&error_, &dev_, &config), result) << transferred;
        EXPECT_EQ(config, result == 0 ? 0x04 : 0x55);
    }
    EXPECT_EQ(hex(std::span(g_fake.scsi_sent.back().cdb, 10)), "5A 08 20 00 00 00 00 02 00 00");
}

}  // namespace
}  // namespace enctl
