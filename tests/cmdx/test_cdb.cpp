#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "tests/support/fake_backend.h"

namespace enctl {
namespace {

using testing_fake::fake_backend_scope;
using testing_fake::g_fake;
using testing_fake::make_fake_device;

std::vector<std::uint8_t> cdb_of(const vdx_scsi_cmd& cmd) { return {cmd.cdb, cmd.cdb + cmd.cdb_length}; }

void expect_common(const vdx_scsi_cmd& cmd, const std::uint8_t* buffer, std::uint32_t length,
                   std::uint32_t direction, std::uint32_t timeout = 30000) {
    EXPECT_EQ(cmd.data, buffer);
    EXPECT_EQ(cmd.transfer_length, length);
    EXPECT_EQ(cmd.direction, direction);
    EXPECT_EQ(cmd.timeout, timeout);
    EXPECT_EQ(cmd.sense_length, 32u);
    EXPECT_EQ(cmd.bytes_transferred, 0u);
    EXPECT_EQ(cmd.scsi_status, 0);
}

TEST(CdbBuilders, Inquiry) {
    std::array<std::uint8_t, 4096> buffer;
    vdx_scsi_cmd cmd;
    cmdxscsi_build_inquiry(&cmd, false, 0x80, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x12, 0x00, 0x00, 0x10, 0x00, 0x00}));
    expect_common(cmd, buffer.data(), 4096, kVdxDirFromDevice);
    cmdxscsi_build_inquiry(&cmd, true, 0x83, std::span(buffer).first(256));
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x12, 0x01, 0x83, 0x01, 0x00, 0x00}));
}

TEST(CdbBuilders, ModeSelectAndModeSense10) {
    std::array<std::uint8_t, 512> buffer;
    vdx_scsi_cmd cmd;
    cmdxscsi_build_mode_select10(&cmd, true, true, true, std::span(buffer).first(0x1C));
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x55, 0x13, 0, 0, 0, 0, 0, 0x00, 0x1C, 0}));
    expect_common(cmd, buffer.data(), 0x1C, kVdxDirToDevice);
    cmdxscsi_build_mode_select10(&cmd, true, false, false, std::span(buffer).first(8));
    EXPECT_EQ(cmd.cdb[1], 0x10);

    cmdxscsi_build_mode_sense10(&cmd, true, true, 3, 0x20, 0x05, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x5A, 0x18, 0xE0, 0x05, 0, 0, 0, 0x02, 0x00, 0}));
    expect_common(cmd, buffer.data(), 512, kVdxDirFromDevice);
    cmdxscsi_build_mode_sense10(&cmd, false, true, 0, 0x20, 0, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x5A, 0x08, 0x20, 0x00, 0, 0, 0, 0x02, 0x00, 0}));
}

TEST(CdbBuilders, ReadCapacity16) {
    std::array<std::uint8_t, 32> buffer;
    vdx_scsi_cmd cmd;
    cmdxscsi_build_read_capacity16(&cmd, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0}));
    expect_common(cmd, buffer.data(), 32, kVdxDirFromDevice);
}

TEST(CdbBuilders, ReceiveAndSendDiagnostic) {
    std::array<std::uint8_t, 4096> buffer;
    vdx_scsi_cmd cmd;
    cmdxscsi_build_receive_diagnostic(&cmd, true, 0x02, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x1C, 0x01, 0x02, 0x10, 0x00, 0x00}));
    expect_common(cmd, buffer.data(), 4096, kVdxDirFromDevice);
    cmdxscsi_build_receive_diagnostic(&cmd, false, 0x02, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x1C, 0x00, 0x00, 0x10, 0x00, 0x00}));

    cmdxscsi_build_send_diagnostic(&cmd, send_diagnostic_bits{}, std::span(buffer).first(144));
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0x1D, 0x10, 0x00, 0x00, 0x90, 0x00}));
    expect_common(cmd, buffer.data(), 144, kVdxDirToDevice);
    send_diagnostic_bits all{1, true, true, true, true};
    cmdxscsi_build_send_diagnostic(&cmd, all, std::span(buffer).first(0));
    EXPECT_EQ(cmd.cdb[1], 0x37);
    EXPECT_EQ(cmd.data, nullptr);
}

TEST(CdbBuilders, VendorE6ShortAndLongFormsUseTheVendorTimeout) {
    const std::uint32_t saved = g_cmdxscsi_vendor_timeout_ms;
    g_cmdxscsi_vendor_timeout_ms = 45000;
    std::array<std::uint8_t, 0x1000> buffer;
    vdx_scsi_cmd cmd;
    cmdxscsi_build_vendor_e6_read(&cmd, 0xFF, 0x06, 0x11, 0x123456, buffer);
    EXPECT_EQ(cdb_of(cmd), (std::vector<std::uint8_t>{0xE6, 0x0A, 0x11, 0x12, 0x34, 0x56, 0x00, 0x10, 0x00, 0x00}));
    expect_common(cmd, buffer.data(), 0x1000, kVdxDirFromDevice, 45000);

    cmdxscsi_build_vendor_e6_read_enhanced(&cmd, kE6StartPreparing, 0x01, 0x22, 0x01, std::span(buffer).first(16));
    EXPECT_EQ(cdb_of(cmd),
              (std::vector<std::uint8_t>{0xE6, 0x00, 0x06, 0x03, 0x01, 0x22, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00}));
    expect_common(cmd, buffer.data(), 16, kVdxDirFromDevice, 45000);
    g_cmdxscsi_vendor_timeout_ms = saved;
}

// ---------------------------------------------------------------------------
// Executors over the fake backend.

class Executors : public ::testing::Test {
protected:
    fake_backend_scope fake_;
    vdx_dev dev_ = make_fake_device("SCSI1:0,5,0", kVdxInterfaceScsi);
    vdx_error error_{};
};

TEST_F(Executors, ReceiveDiagnosticReportsTheTransferredCount) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->data[0] = 0x02;
        cmd->bytes_transferred = 20;
        return 0;
    };
    std::array<std::uint8_t, 4096> buffer{};
    std::uint32_t transferred = 99;
    ASSERT_EQ(cmdxscsi_receive_diagnostic(&error_, &dev_, 0x02, buffer, &transferred), 0);
    EXPECT_EQ(transferred, 20u);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[1], 0x01);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[2], 0x02);

    // A device without a SCSI path: the dispatch error comes back, count 0.
    dev_.interface = kVdxInterfaceNvmeIntelRste;
    EXPECT_EQ(cmdxscsi_receive_diagnostic(&error_, &dev_, 0x02, buffer, &transferred), 1);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(error_.code, 2u);
}

TEST_F(Executors, FailedDeliveryIsAlwaysAFailure) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd*) { return 1; };  // no record filled
    std::array<std::uint8_t, 32> buffer{};
    EXPECT_NE(cmdxscsi_read_capacity16(&error_, &dev_, buffer), 0);
    EXPECT_NE(cmdxscsi_mode_sense10(&error_, &dev_, false, true, 0, 0x20, 0, buffer), 0);
    EXPECT_NE(cmdxscsi_mode_select10(&error_, &dev_, true, false, false, buffer), 0);
    EXPECT_NE(cmdxscsi_inquiry(&error_, &dev_, false, 0, buffer), 0);
}

TEST_F(Executors, CheckConditionMakesTheExecutorFail) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->scsi_status = 2;
        cmd->sense[0] = 0x70;
        cmd->sense[2] = 0x05;
        cmd->sense[12] = 0x20;
        return 0;
    };
    std::array<std::uint8_t, 96> buffer{};
    EXPECT_EQ(cmdxscsi_inquiry(&error_, &dev_, false, 0, buffer), 1);
    EXPECT_EQ(error_.code, 1u);
    EXPECT_STREQ(error_.message, "SCSI Error: Status: 2H Sense Code: 05/20/00H\n");
}

TEST_F(Executors, IomConfigurationReadsModePage20Byte15) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->data[8] = 0x20;
        cmd->data[23] = 0x04;
        cmd->bytes_transferred = 24;
        return 0;
    };
    std::uint8_t config = 0;
    ASSERT_EQ(cmdxscsi_get_iom_config(&error_, &dev_, &config), 0);
    EXPECT_EQ(config, 0x04);
    const auto& sent = g_fake.scsi_sent.back();
    EXPECT_EQ(cdb_of(sent), (std::vector<std::uint8_t>{0x5A, 0x08, 0x20, 0x00, 0, 0, 0, 0x02, 0x00, 0}));

    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->data[8] = 0x21;
        cmd->bytes_transferred = 24;
        return 0;
    };
    config = 0x55;
    EXPECT_EQ(cmdxscsi_get_iom_config(&error_, &dev_, &config), 1);
    EXPECT_EQ(config, 0x55);
    // A response too short to hold byte 23 is refused as well.
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->data[8] = 0x20;
        cmd->data[23] = 0x04;
        cmd->bytes_transferred = 12;
        return 0;
    };
    EXPECT_EQ(cmdxscsi_get_iom_config(&error_, &dev_, &config), 1);
}

TEST_F(Executors, VendorReadsZeroTheBufferAndReportTheCount) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->data[0] = 0x00;
        cmd->data[1] = 0x00;
        cmd->data[2] = 0x10;
        cmd->data[3] = 0x00;
        cmd->bytes_transferred = 4;
        return 0;
    };
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xEE);
    std::uint32_t transferred = 0;
    ASSERT_EQ(vendor_e6_read_enhanced(&error_, &dev_, kE6ReadPreparedSize, 0, 0x22, 0, std::span(buffer).first(4),
                                      &transferred),
              0);
    EXPECT_EQ(transferred, 4u);
    EXPECT_EQ(buffer[2], 0x10);
    EXPECT_EQ(buffer[4], 0xEE);
    g_fake.on_scsi = nullptr;
    buffer.fill(0xEE);
    ASSERT_EQ(vendor_e6_read(&error_, &dev_, 0, 1, 0x11, 0, buffer, &transferred), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(g_fake.scsi_sent.back().cdb[1], 0x01);
}

}  // namespace
}  // namespace enctl
