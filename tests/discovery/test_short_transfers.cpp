// Pages that come back shorter than their length field says (the lab's
// "short" fault) are read only as far as they came: no made-up SAS address,
// no cut firmware revision.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"

namespace enctl {
namespace {

using testing::built_program;
using testing::run_process;

constexpr const char* kLab = R"({"enclosures": [
  {"product": 5, "faults": [{"opcode": "0x12", "page": "0x83", "kind": "short", "length": 10}]},
  {"product": 5, "faults": [{"opcode": "0x1C", "page": "0x03", "kind": "short", "length": "0x59"}]}],
 "disks": [{"enclosure": "encl0", "slot": 0}]})";

TEST(ShortTransfers, AreReadOnlyAsFarAsTheyCame) {
    char pattern[] = "/tmp/enctl-short-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/lab.json") << kLab;
    const auto started = run_process({built_program("enctl-lab"), "start", dir + "/lab", dir + "/lab.json"});
    ASSERT_EQ(started.exit_code, 0) << started.out << started.err;
    testing::process_options options;
    for (std::size_t at = 0, end; at < started.out.size(); at = end + 1) {
        end = std::min(started.out.find('\n', at), started.out.size());
        const std::string line = started.out.substr(at, end - at);
        if (const std::size_t equals = line.find('='); equals != std::string::npos)
            options.env.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }

    // VPD 83h of 10 bytes: the enclosure's own address is not shown at all.
    const auto handles = testing::run_enctl({"SCSI1:0,0,0", "show", "handles"}, options);
    EXPECT_EQ(handles.exit_code, 0);
    EXPECT_EQ(handles.out.find("Enclosure SAS Address"), std::string::npos) << handles.out;
    EXPECT_NE(handles.out.find("     0  ZL1A2000  12000    50D15C0000100000  1:50E1AB000000117F  /dev/sda\n"),
              std::string::npos)
        << handles.out;
    // Page 03h cut inside "FwRev:2041-003": no firmware revision "204".
    const auto show = testing::run_enctl({"SCSI2:0,0,0", "show"}, options);
    EXPECT_NE(show.out.find("    firmware: N/A\n"), std::string::npos) << show.out;

    run_process({built_program("enctl-lab"), "stop", dir + "/lab"});
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace enctl
