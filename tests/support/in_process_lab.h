// A simulated lab served in process, for tests of discovery and operations.
//
// While an in_process_lab lives, its backend table sits in the test slot of
// vdx's backend array and the platform slot is empty: enumeration, probe,
// open and every SCSI, ATA and NVMe command of enctl reach the lab's model
// (sim::lab) directly, with no lab process, sysfs tree or preload shim. The
// devices look as the Linux backend lists them from the lab's tree (names,
// /dev paths, addresses, order), and the probe sends the same commands, so
// outputs and command counters match a run of the real binary on that lab.
// The lab's virtual clock is the process clock meanwhile: waits take no time,
// and the lab's delay faults and the program's waits share one time line.
// One lab at a time.
//
//     in_process_lab lab;                      // or in_process_lab lab(json);
//     ASSERT_TRUE(lab.ok()) << lab.error();
//     auto r = run_enctl_in_process({"show"});
//     EXPECT_EQ(lab.commands("SCSI1:0,0,0", 0x1C, 0x03), 1u);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/lab.h"
#include "vdx/vdx_backend.h"

namespace enctl::testing {

class in_process_lab {
public:
    // The built-in default lab (sim/README.md, "The default lab").
    in_process_lab();
    // A lab description in JSON (sim/README.md); see ok().
    explicit in_process_lab(std::string_view json);
    ~in_process_lab();
    in_process_lab(const in_process_lab&) = delete;
    in_process_lab& operator=(const in_process_lab&) = delete;

    // False when the description was refused (error() says why) or another
    // lab is already being served; nothing is installed then.
    bool ok() const { return model_ != nullptr; }
    const std::string& error() const { return error_; }

    // The model: devices, faults, counters, clock (only when ok()).
    sim::lab& model() { return *model_; }

    // The device names enumeration gives, in its order ("disk0", "nvme0",
    // "SCSI1:0,0,0", ...).
    std::vector<std::string> device_names() const;

    // Commands a device (target name, node or /dev path) received since the
    // start or the last reset: all of them, those of one opcode, or of one
    // opcode and page (the page of sim/README.md's command counters).
    std::uint64_t commands(std::string_view device, int opcode = -1, int page = -1) const;
    // Every counter, as `enctl-lab stats` prints them.
    std::string stats() const { return model_->stats_text(); }
    void reset_counters() { model_->reset_stats(); }

private:
    void serve(const sim::lab_description& description);

    std::unique_ptr<sim::lab> model_;
    std::string error_;
    std::optional<vdx_backend_scope> platform_slot_;  // emptied
    std::optional<vdx_backend_scope> test_slot_;      // the lab's table
};

struct in_process_result {
    int exit_code = -1;
    std::string out;  // standard output
};

// enctl's whole program run in this process with the given words after the
// program name (it needs the same rights as the binary).
in_process_result run_enctl_in_process(const std::vector<std::string>& args);

}  // namespace enctl::testing
