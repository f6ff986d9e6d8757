// Drives behind RAID controllers, end to end: the real enctl loads the
// substitute wrapper libraries (build/raid_wrappers/<variant>) through the
// loader's search path and reaches the lab's drives behind each controller.
// ENCTL_WRAPPER_LOG records every library call, loading and unloading.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

// Slots 0 and 4 hold plain disks; 1 and 2 sit behind the Adaptec
// controller (SAS, SATA), 3 and 5 behind the MegaRAID one (SAS, SATA).
const char* const kRaidLab = R"({"enclosures": [{"product": 5, "serial": "SER-P5"}],
  "disks": [
    {"enclosure": "encl0", "slot": 0, "serial": "ZLSAS0000001"},
    {"enclosure": "encl0", "slot": 1, "serial": "ZLRAIDA00001", "controller": "adaptec"},
    {"enclosure": "encl0", "slot": 2, "kind": "sata", "serial": "WLRAIDA00002", "controller": "adaptec"},
    {"enclosure": "encl0", "slot": 3, "serial": "ZLRAIDM00001", "controller": "megaraid"},
    {"enclosure": "encl0", "slot": 4, "kind": "sata", "serial": "WLPLAIN00003"},
    {"enclosure": "encl0", "slot": 5, "kind": "sata", "serial": "WLRAIDM00002", "controller": "megaraid"}]})";

class raid_e2e : public ::testing::Test {
protected:
    static void SetUpTestSuite() { lab_ = new running_lab(kRaidLab); }
    static void TearDownTestSuite() {
        delete lab_;
        lab_ = nullptr;
    }

    // enctl with the libraries of `variant` ("" for none) and `fault`.
    process_result run(const std::vector<std::string>& args, const std::string& variant,
                       const std::string& fault = {}) {
        log_ = lab_->dir() + "/wrapper.log";
        std::remove(log_.c_str());
        process_options options;
        options.env = lab_->env();
        options.env.push_back({"ENCTL_WRAPPER_LOG", log_});
        if (!variant.empty())
            options.env.push_back({"LD_LIBRARY_PATH", std::string(ENCTL_BINARY_DIR) + "/raid_wrappers/" + variant});
        else
            options.unset_env.push_back("LD_LIBRARY_PATH");
        if (!fault.empty()) options.env.push_back({"ENCTL_WRAPPER_FAULT", fault});
        return run_enctl(args, options);
    }

    std::string wrapper_log() const {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static running_lab* lab_;
    std::string log_;
};
running_lab* raid_e2e::lab_ = nullptr;

std::string after_banner(const process_result& r) {
    const std::size_t end = r.out.find("\n\n");
    return end == std::string::npos ? r.out : r.out.substr(end + 2);
}

void expect_lines(const std::string& text, const std::vector<std::string>& lines, const std::string& context) {
    for (const auto& line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << context << ": missing \"" << line << "\" in\n" << text;
}

// Both controllers' drives are paired with their slots by serial (SAS
// drives' serials from VPD 80h, SATA drives' from ATA IDENTIFY); without
// the libraries those slots have no handle.
TEST_F(raid_e2e, show_handles_pairs_drives_behind_both_controllers) {
    ASSERT_TRUE(lab_->started()) << lab_->start_result().err;
    const process_result with = run({"show", "handles"}, "substitute");
    EXPECT_EQ(with.exit_code, 0) << with.err;
    expect_golden(after_banner(with), "raid/golden/show_handles.txt");
    // Every drive was released before the end: each library uninitialised.
    expect_golden(wrapper_log(), "raid/golden/show_handles_calls.txt");

    const process_result without = run({"show", "handles"}, "");
    EXPECT_EQ(without.exit_code, 0) << without.err;
    expect_golden(after_banner(without), "raid/golden/show_handles_no_libraries.txt");
}

// Names, interfaces, library indexes and drive states as the trace tells them.
TEST_F(raid_e2e, enumeration_and_probe_trace) {
    ASSERT_TRUE(lab_->started());
    const process_result r = run({"debug", "show", "handles"}, "substitute");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    expect_lines(r.out,
                 {"adaptec_wrapper opened successfully\n", "Adaptec wrapper library found.\n",
                  "add device 0 (adaptec_disk0)\n", "add device 1 (adaptec_disk1)\n", "2 adaptec devices found\n",
                  "megaraid_wrapper opened successfully\n", "MegaRAID wrapper library found.\n",
                  "state = 0x18; scsi\nadd device 0 (megaraid_disk0)\n",
                  "state = 0x18; ata\nadd device 1 (megaraid_disk1)\n", "2 megaraid devices found\n",
                  "probe device adaptec_disk0\n", "detected ADAPTEC_SCSI\n", "detected ADAPTEC_ATA\n",
                  "detected MEGARAID_SCSI\n", "detected MEGARAID_ATA\n"},
                 "debug show handles");
}

struct failure_case {
    const char* name;
    const char* variant;
    const char* fault;
    std::vector<std::string> trace;  // lines the debug run prints
    std::vector<std::string> calls;  // lines of the wrapper log
    std::vector<std::string> absent; // in neither
};

TEST_F(raid_e2e, misbehaving_libraries) {
    ASSERT_TRUE(lab_->started());
    const std::vector<failure_case> cases = {
        {"a missing function fails the load and frees the library", "incomplete", "",
         {"failed to load adaptec_wrapper\n", "failed to load megaraid_wrapper\n", "_load failed\n",
          "location: "},
         {"adaptec loaded\nadaptec unloaded\n", "megaraid loaded\nmegaraid unloaded\n"},
         {"initialize", "wrapper library found"}},
        {"initialize failing stops Adaptec only", "misbehaving", "initialize",
         {"_initialize_library returned 7\n", "2 megaraid devices found\n", "megaraid_disk1"},
         {"adaptec initialize\nadaptec unloaded\n"},
         {"adaptec devices found", "adaptec uninitialize", "adaptec_disk"}},
        {"enumerate returning 0", "misbehaving", "count=0",
         {"0 adaptec devices found\n", "0 megaraid devices found\n"},
         {"adaptec enumerate 0\nadaptec uninitialize\nadaptec unloaded\n",
          "megaraid enumerate 0\nmegaraid uninitialize\nmegaraid unloaded\n"},
         {"add device 0 ("}},
        {"enumerate returning a negative count", "misbehaving", "count=-3",
         {"0 adaptec devices found\n", "0 megaraid devices found\n"},
         {"adaptec enumerate -3\nadaptec uninitialize\n"},
         {"add device 0 ("}},
        {"execute failing is error 5 with the library's status", "misbehaving", "status=6",
         {"test unit ready failed\nerror code:    5\nerror subcode: 6\nmessage: error executing adaptec command\n",
          "ata identify failed\nerror code:    5\nerror subcode: 6\nmessage: error executing megaraid command\n",
          ":: vdx_adaptec_scsi_execute (line", ":: vdx_megaraid_scsi_execute (line"},
         {"adaptec uninitialize\nadaptec unloaded\n"},
         {"detected ADAPTEC"}},
        {"a path text filling all 64 bytes", "misbehaving", "long_path",
         {"add device 0 (abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijkl)\n"},
         {},
         {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklm"}},
        {"uninitialize failing is traced by Adaptec only", "misbehaving", "uninitialize",
         {"_uninitialize_library returned 4\n"},
         {"adaptec uninitialize\nadaptec unloaded\n", "megaraid uninitialize\nmegaraid unloaded\n"},
         {}},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.name);
        const process_result r = run({"debug", "show", "handles"}, c.variant, c.fault);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        expect_lines(r.out, c.trace, c.name);
        const std::string calls = wrapper_log();
        expect_lines(calls, c.calls, c.name);
        for (const auto& text : c.absent) {
            EXPECT_EQ(r.out.find(text), std::string::npos) << c.name << ": \"" << text << "\" printed";
            EXPECT_EQ(calls.find(text), std::string::npos) << c.name << ": \"" << text << "\" called";
        }
        // The enclosure and its plain disks are unaffected.
        expect_lines(r.out, {"/dev/sda\n", "/dev/sdb\n"}, c.name);
    }
}

}  // namespace
}  // namespace enctl::testing
