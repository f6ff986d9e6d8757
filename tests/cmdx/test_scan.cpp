#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cmdx/cmdxscan/cmdxscan.h"
#include "tests/support/fake_backend.h"

namespace enctl {
namespace {

using testing_fake::fake_backend_scope;
using testing_fake::g_fake;

class ScanNames : public ::testing::Test {
protected:
    void SetUp() override {
        g_fake.entries = {{kVdxEnumDisks, "disk0", 0, kVdxConnectionStorage},
                          {kVdxEnumSes, "SCSI1:4,64,0", kVdxInterfaceScsi, kVdxConnectionEnclosure},
                          {kVdxEnumSes, "SCSI2:0,5,0", kVdxInterfaceScsi, kVdxConnectionEnclosure}};
    }
    fake_backend_scope fake_;
    vdx_dev_list table_;
};

TEST_F(ScanNames, MatchesIgnoringCaseInTheGivenOrder) {
    const std::vector<std::string_view> names = {"scsi2:0,5,0", "DISK0", "SCSI1:4,64,0"};
    EXPECT_EQ(cmdxscan_scan_names(&table_, false, names), 0);
    ASSERT_EQ(table_.count, 3u);
    EXPECT_STREQ(table_[0].name, "SCSI2:0,5,0");
    EXPECT_STREQ(table_[1].name, "disk0");
    EXPECT_STREQ(table_[2].name, "SCSI1:4,64,0");
    EXPECT_EQ(table_[0].connection, kVdxConnectionEnclosure);
}

TEST_F(ScanNames, NameGivenTwiceCopiesTwoEntriesAndUnknownNamesAddNothing) {
    const std::vector<std::string> names = {"SCSI1:4,64,0", "nothere", "scsi1:4,64,0", "SCSI1:4,64"};
    EXPECT_EQ(cmdxscan_scan_names(&table_, false, names), 0);
    ASSERT_EQ(table_.count, 2u);
    EXPECT_STREQ(table_[0].name, "SCSI1:4,64,0");
    EXPECT_STREQ(table_[1].name, "SCSI1:4,64,0");
}

TEST_F(ScanNames, WithProbeADeviceThatFailsIsDiscarded) {
    g_fake.fail_open = true;
    const std::vector<std::string_view> names = {"SCSI1:4,64,0"};
    EXPECT_EQ(cmdxscan_scan_names(&table_, true, names), 0);
    EXPECT_EQ(table_.count, 0u);

    g_fake.fail_open = false;
    g_fake.probe_scsi = [](vdx_dev*) { return true; };
    EXPECT_EQ(cmdxscan_scan_names(&table_, true, names), 0);
    ASSERT_EQ(table_.count, 1u);
    EXPECT_EQ(table_[0].interface, kVdxInterfaceScsi);
    EXPECT_TRUE(vdx_dev_is_open(table_[0])) << "the copy owns its own handle";
}

TEST_F(ScanNames, NoNamesAddsNothing) {
    EXPECT_EQ(cmdxscan_scan_names(&table_, false, std::span<const std::string_view>{}), 0);
    EXPECT_EQ(table_.count, 0u);
}

}  // namespace
}  // namespace enctl
