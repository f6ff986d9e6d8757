// Pages that come back shorter than their length field says (the lab's
// "short" fault) are read only as far as they came: no made-up SAS address,
// no cut firmware revision.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/running_lab.h"

namespace enctl {
namespace {

TEST(ShortTransfers, AreReadOnlyAsFarAsTheyCame) {
    const testing::running_lab lab(R"({"enclosures": [
      {"product": 5, "faults": [{"opcode": "0x12", "page": "0x83", "kind": "short", "length": 10}]},
      {"product": 5, "faults": [{"opcode": "0x1C", "page": "0x03", "kind": "short", "length": "0x59"}]}],
     "disks": [{"enclosure": "encl0", "slot": 0}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().out << lab.start_result().err;
    // VPD 83h of 10 bytes: the enclosure's own address is not shown at all.
    const auto handles = lab.enctl({"SCSI1:0,0,0", "show", "handles"});
    EXPECT_EQ(handles.exit_code, 0);
    EXPECT_EQ(handles.out.find("Enclosure SAS Address"), std::string::npos) << handles.out;
    EXPECT_NE(handles.out.find("     0  ZL1A2000  12000    50D15C0000100000  1:50E1AB000000117F  /dev/sda\n"),
              std::string::npos)
        << handles.out;
    // Page 03h cut inside "FwRev:2041-003": no firmware revision "204".
    const auto show = lab.enctl({"SCSI2:0,0,0", "show"});
    EXPECT_NE(show.out.find("    firmware: N/A\n"), std::string::npos) << show.out;
}

}  // namespace
}  // namespace enctl
