#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "cmdx/cmdxses/ses_send.h"
#include "tests/cmdx/cmdx_test.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

using testing::bytes;
using testing::hex;
using testing_fake::g_fake;
using SesSend = testing::FakeScsiDevice;

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every sender: arguments -> SEND DIAGNOSTIC CDB and page (golden file).
TEST_F(SesSend, ArgumentsGiveTheCdbAndPageOfTheGoldenFile) {
    const std::array<std::uint8_t, 8> sas = {0x50, 0x0C, 0x0F, 0xF0, 0x12, 0x34, 0x56, 0x7F};
    const bytes data = {0xD0, 0xD1, 0xD2};
    const std::pair<const char*, std::function<int()>> cases[] = {
        {"cli", [&] { return ses_send_cli_command(&error_, &dev_, 3, bytes_of("ver")); }},
        {"microcode", [&] { return ses_send_download_microcode(&error_, &dev_, 0x01020304, 0x0E, 0x2000, 0x123456, data); }},
        {"nickname", [&] { return ses_send_nickname(&error_, &dev_, 7, bytes_of("rack-a01")); }},
        {"zone enable", [&] { return ses_send_zone_control(&error_, &dev_, 3, sas); }},
        {"zone disable", [&] { return ses_send_zone_control(&error_, &dev_, 0, sas); }},
        {"iom reset", [&] { return ses_send_iom_reset(&error_, &dev_, 0xF0); }},
        {"enclosure reset", [&] { return ses_send_enclosure_reset(&error_, &dev_); }},
        {"enclosure reset short", [&] { return ses_send_enclosure_reset_short(&error_, &dev_); }},
        {"event log request", [&] { return ses_send_event_log_request(&error_, &dev_, 0xE5); }},
    };
    std::string described;
    for (const auto& [name, send] : cases) {
        ASSERT_EQ(send(), 0) << name;
        const vdx_scsi_cmd& cmd = g_fake.scsi_sent.back();
        described += std::string(name) + ": " + hex(std::span(cmd.cdb, cmd.cdb_length)) + "\n  " +
                     hex(g_fake.scsi_data_out.back()) + "\n";
    }
    testing::expect_golden(described, "cmdx/golden/ses_send.txt");
}

TEST_F(SesSend, CliTextUpTo8184BytesNicknameUpTo32MicrocodeToTheLengthField) {
    ASSERT_EQ(ses_send_cli_command(&error_, &dev_, 0, bytes_of(std::string(8184, 'x'))), 0);
    ASSERT_EQ(g_fake.scsi_data_out.back().size(), 8192u);
    EXPECT_EQ(hex(std::span(g_fake.scsi_data_out.back()).first(9)), "EC 00 1F FC 00 00 00 00 78");
    ASSERT_EQ(ses_send_nickname(&error_, &dev_, 7, bytes_of(std::string(32, 'n'))), 0);
    EXPECT_EQ(g_fake.scsi_data_out.back()[39], 'n');
    // Refused before anything is sent, the record untouched.
    error_.code = 77;
    EXPECT_EQ(ses_send_cli_command(&error_, &dev_, 0, bytes_of(std::string(8185, 'x'))), 1);
    EXPECT_EQ(ses_send_nickname(&error_, &dev_, 7, bytes_of(std::string(33, 'n'))), 1);
    EXPECT_EQ(error_.code, 77u);
    EXPECT_EQ(ses_send_download_microcode(&error_, &dev_, 0, 0x0E, 0, 0, bytes(kSesMicrocodeMaxData + 1)), 1);
    EXPECT_EQ(g_fake.scsi_sent.size(), 2u);
    // A page buffer too small builds nothing.
    std::array<std::uint8_t, 143> small{};
    EXPECT_EQ(ses_build_iom_reset_page(std::span(small).first(7), 1), 0u);
    EXPECT_EQ(ses_build_zone_control_page(small, 1, std::array<std::uint8_t, 8>{}), 0u);

    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) { return cmd->scsi_status = 0x08, 0; };
    EXPECT_EQ(ses_send_enclosure_reset(&error_, &dev_), 1);
    EXPECT_EQ(error_.code, 6u);
}

}  // namespace
}  // namespace enctl
