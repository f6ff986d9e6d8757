#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cmdx/cmdxscan/cmdxscan.h"
#include "tests/support/fake_backend.h"

namespace enctl {
namespace {

using testing_fake::g_fake;

std::string names_of(const vdx_dev_list& table) {
    std::string names;
    for (std::uint32_t i = 0; i < table.count; ++i) names += std::string(table[i].name) + ";";
    return names;
}

// Names match ignoring case, in the order given; a name given twice is
// copied twice, one that matches nothing adds nothing.
TEST(ScanNames, MatchesIgnoringCaseInTheGivenOrder) {
    testing_fake::fake_backend_scope fake;
    g_fake.entries = {{kVdxEnumDisks, "disk0", 0, kVdxConnectionStorage},
                      {kVdxEnumSes, "SCSI1:4,64,0", kVdxInterfaceScsi, kVdxConnectionEnclosure},
                      {kVdxEnumSes, "SCSI2:0,5,0", kVdxInterfaceScsi, kVdxConnectionEnclosure}};
    vdx_dev_list table;
    const std::vector<std::string_view> names = {"scsi2:0,5,0", "DISK0", "nothere", "SCSI1:4,64", "SCSI1:4,64,0",
                                                 "scsi1:4,64,0"};
    EXPECT_EQ(cmdxscan_scan_names(&table, false, names), 0);
    EXPECT_EQ(names_of(table), "SCSI2:0,5,0;disk0;SCSI1:4,64,0;SCSI1:4,64,0;");
    EXPECT_EQ(table[0].connection, kVdxConnectionEnclosure);

    // With the probe flag a device that fails its probe is discarded; the
    // copy of one that passes owns its own handle.
    vdx_dev_list probed;
    g_fake.fail_open = true;
    EXPECT_EQ(cmdxscan_scan_names(&probed, true, std::span(names).subspan(4, 1)), 0);
    EXPECT_EQ(probed.count, 0u);
    g_fake.fail_open = false;
    g_fake.probe_scsi = [](vdx_dev*) { return true; };
    EXPECT_EQ(cmdxscan_scan_names(&probed, true, std::span(names).subspan(4, 1)), 0);
    ASSERT_EQ(probed.count, 1u);
    EXPECT_EQ(probed[0].interface, kVdxInterfaceScsi);
    EXPECT_TRUE(vdx_dev_is_open(probed[0]));
}

}  // namespace
}  // namespace enctl
