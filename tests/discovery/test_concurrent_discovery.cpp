// Discovery and show handles on a pool of workers print what one worker
// prints, byte for byte: results, messages and debug traces, in table order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "sim/lab_description.h"
#include "tests/support/in_process_lab.h"

namespace enctl {
namespace {

using testing::in_process_lab;
using testing::run_enctl_in_process;

std::string run_with_workers(const char* workers, const std::vector<std::string>& args) {
    if (workers) ::setenv("ENCTL_JOB_WORKERS", workers, 1);
    else ::unsetenv("ENCTL_JOB_WORKERS");
    const auto r = run_enctl_in_process(args);
    ::unsetenv("ENCTL_JOB_WORKERS");
    EXPECT_EQ(r.exit_code, 0);
    // Addresses (of freed enumeration lists, of the device records that
    // mark_ses_devices traces) and the time in the log folder's name differ
    // from run to run.
    std::string out = std::regex_replace(r.out, std::regex("\\(0x[0-9a-f]+h\\)"), "(address)");
    out = std::regex_replace(out, std::regex("\ndevice [0-9A-F]+\n"), "\ndevice ADDRESS\n");
    return std::regex_replace(out, std::regex("_[0-9]{8}_[0-9]{6}"), "_TIME");
}

TEST(ConcurrentDiscovery, PrintsWhatOneWorkerPrints) {
    // A generated lab, plus a disk whose READ CAPACITY fails and an enclosure
    // whose mode page 20h cannot be read (messages from inside the jobs).
    sim::lab_description description = sim::generated_lab(6, 90);
    sim::fault_spec refused;
    refused.opcode = 0x9E;
    refused.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0};
    description.disks[7].faults.push_back(refused);
    sim::fault_spec busy;
    busy.opcode = 0x5A;
    busy.kind = sim::fault_kind::busy;
    description.enclosures[1].faults.push_back(busy);
    in_process_lab lab(sim::lab_description_json(description));
    ASSERT_TRUE(lab.ok()) << lab.error();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"show", "handles"}, {"debug", "show", "handles"}, {"show"}}) {
        const std::string one = run_with_workers("1", args);
        lab.reset_counters();
        EXPECT_EQ(run_with_workers(nullptr, args), one) << args[0];
        // A SAS disk costs READ CAPACITY, VPD 80h and 83h, nothing more.
        EXPECT_EQ(lab.commands("disk0"), args.back() == "handles" ? 3u : 0u) << args[0];
    }
}

}  // namespace
}  // namespace enctl
