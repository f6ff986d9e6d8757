#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "cmdx/cmdxses/ses_send.h"
#include "tests/support/fake_backend.h"

namespace enctl {
namespace {

using testing_fake::fake_backend_scope;
using testing_fake::g_fake;
using testing_fake::make_fake_device;

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class SesSend : public ::testing::Test {
protected:
    const std::vector<std::uint8_t>& sent_page() { return g_fake.scsi_data_out.back(); }
    std::vector<std::uint8_t> sent_cdb() {
        const auto& cmd = g_fake.scsi_sent.back();
        return {cmd.cdb, cmd.cdb + cmd.cdb_length};
    }
    fake_backend_scope fake_;
    vdx_dev dev_ = make_fake_device("SCSI1:0,5,0", kVdxInterfaceScsi);
    vdx_error error_{};
};

TEST_F(SesSend, CliPageOfExactly8184BytesIsSentAs8192) {
    const std::string text(8184, 'x');
    ASSERT_EQ(ses_send_cli_command(&error_, &dev_, 0, bytes_of(text)), 0);
    EXPECT_EQ(sent_cdb(), (std::vector<std::uint8_t>{0x1D, 0x10, 0x00, 0x20, 0x00, 0x00}));
    const auto& page = sent_page();
    ASSERT_EQ(page.size(), 8192u);
    EXPECT_EQ(page[0], 0xEC);
    EXPECT_EQ(page[1], 0x00);
    EXPECT_EQ(page[2], 0x1F);  // 8188
    EXPECT_EQ(page[3], 0xFC);
    EXPECT_EQ(page[4], 0x00);
    EXPECT_EQ(page[8], 'x');
    EXPECT_EQ(page[8191], 'x');
}

TEST_F(SesSend, CliPageOf8185BytesIsRefusedWithoutTouchingTheRecord) {
    const std::string text(8185, 'x');
    error_.code = 77;
    EXPECT_EQ(ses_send_cli_command(&error_, &dev_, 0, bytes_of(text)), 1);
    EXPECT_EQ(error_.code, 77u);
    EXPECT_TRUE(g_fake.scsi_sent.empty());
}

TEST_F(SesSend, ShortCliCommandCarriesSelectorAndNoTerminator) {
    ASSERT_EQ(ses_send_cli_command(&error_, &dev_, 3, bytes_of("ver")), 0);
    EXPECT_EQ(sent_page(), (std::vector<std::uint8_t>{0xEC, 0, 0x00, 0x07, 0x03, 0, 0, 0, 'v', 'e', 'r'}));
    EXPECT_EQ(g_fake.scsi_sent.back().cdb[4], 11);
}

TEST_F(SesSend, DownloadMicrocodeSegment) {
    std::vector<std::uint8_t> data(4096);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(ses_send_download_microcode(&error_, &dev_, 0x01020304, 0x0E, 0x2000, 0x123456, data), 0);
    const auto& page = sent_page();
    ASSERT_EQ(page.size(), 4120u);
    const std::vector<std::uint8_t> header(page.begin(), page.begin() + 24);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{0x0E, 0x00, 0x10, 0x14, 0x01, 0x02, 0x03, 0x04,
                                                  0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
                                                  0x00, 0x12, 0x34, 0x56, 0x00, 0x00, 0x10, 0x00}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), page.begin() + 24));
    EXPECT_EQ(sent_cdb(), (std::vector<std::uint8_t>{0x1D, 0x10, 0x00, 0x10, 0x18, 0x00}));
}

TEST_F(SesSend, MicrocodeSegmentTooLongForThePageIsRefused) {
    std::vector<std::uint8_t> data(kSesMicrocodeMaxData + 1);
    EXPECT_EQ(ses_send_download_microcode(&error_, &dev_, 0, 0x0E, 0, 0, data), 1);
    EXPECT_EQ(error_.code, 1u);
    EXPECT_TRUE(g_fake.scsi_sent.empty());
}

TEST_F(SesSend, NicknamePageIsAlways40BytesZeroPadded) {
    ASSERT_EQ(ses_send_nickname(&error_, &dev_, 7, bytes_of("rack-a01")), 0);
    std::vector<std::uint8_t> expected(40, 0);
    expected[0] = 0x0F;
    expected[3] = 0x24;
    expected[7] = 7;
    const std::string nick = "rack-a01";
    std::copy(nick.begin(), nick.end(), expected.begin() + 8);
    EXPECT_EQ(sent_page(), expected);
    EXPECT_EQ(g_fake.scsi_sent.back().cdb[4], 40);

    EXPECT_EQ(ses_send_nickname(&error_, &dev_, 7, bytes_of(std::string(32, 'n'))), 0);
    EXPECT_EQ(sent_page()[39], 'n');
    EXPECT_EQ(ses_send_nickname(&error_, &dev_, 7, bytes_of(std::string(33, 'n'))), 1);
    EXPECT_EQ(g_fake.scsi_sent.size(), 2u);
}

TEST_F(SesSend, ZonePageIs144BytesWhateverTheConfiguration) {
    const std::array<std::uint8_t, 8> sas = {0x50, 0x0C, 0x0F, 0xF0, 0x12, 0x34, 0x56, 0x7F};
    ASSERT_EQ(ses_send_zone_control(&error_, &dev_, 3, sas), 0);
    std::vector<std::uint8_t> expected(144, 0);
    expected[0] = 0x04;
    expected[3] = 0x90;
    expected[4] = 0x61;
    expected[5] = 3;
    std::copy(sas.begin(), sas.end(), expected.begin() + 8);
    EXPECT_EQ(sent_page(), expected);
    EXPECT_EQ(sent_cdb(), (std::vector<std::uint8_t>{0x1D, 0x10, 0x00, 0x00, 0x90, 0x00}));

    ASSERT_EQ(ses_send_zone_control(&error_, &dev_, 0, sas), 0);
    expected[4] = 0x60;
    expected[5] = 0;
    EXPECT_EQ(sent_page(), expected);
}

TEST_F(SesSend, ResetAndEventLogPages) {
    ASSERT_EQ(ses_send_iom_reset(&error_, &dev_, 0xF0), 0);
    EXPECT_EQ(sent_page(), (std::vector<std::uint8_t>{0x04, 0, 0x00, 0x04, 0x02, 0x00, 0x01, 0xF0}));
    ASSERT_EQ(ses_send_enclosure_reset(&error_, &dev_), 0);
    EXPECT_EQ(sent_page(), (std::vector<std::uint8_t>{0x04, 0, 0x00, 0x04, 0x02, 0, 0, 0}));
    ASSERT_EQ(ses_send_enclosure_reset_short(&error_, &dev_), 0);
    EXPECT_EQ(sent_page(), (std::vector<std::uint8_t>{0x04, 0, 0x00, 0x02, 0x02, 0x00}));
    EXPECT_EQ(g_fake.scsi_sent.back().cdb[4], 6);
    ASSERT_EQ(ses_send_event_log_request(&error_, &dev_, 0xE5), 0);
    EXPECT_EQ(sent_page(), (std::vector<std::uint8_t>{0xE5, 0, 0x00, 0x01, 0x01}));
}

TEST_F(SesSend, DeviceErrorStatusOfASendIsReported) {
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->scsi_status = 0x08;
        return 0;
    };
    EXPECT_EQ(ses_send_enclosure_reset(&error_, &dev_), 1);
    EXPECT_EQ(error_.code, 6u);
    EXPECT_EQ(error_.subcode, 8u);
}

TEST(SesPageBuilders, TooSmallPageBufferBuildsNothing) {
    std::array<std::uint8_t, 7> small{};
    EXPECT_EQ(ses_build_iom_reset_page(small, 1), 0u);
    EXPECT_EQ(ses_build_enclosure_reset_short_page(small), 6u);
    std::array<std::uint8_t, 143> zone{};
    const std::array<std::uint8_t, 8> sas{};
    EXPECT_EQ(ses_build_zone_control_page(zone, 1, sas), 0u);
}

}  // namespace
}  // namespace enctl
