// The zone operation on the in-process lab, with confirmations typed on
// standard input: every run and what the enclosure took, as one transcript
// (golden/zone.txt). After each run the transcript shows the enclosure's
// zoning and its String Out (04h) and page 0Eh commands.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/enclosure.h"
#include "sim/firmware_image.h"
#include "tests/support/golden.h"
#include "tests/support/in_process_lab.h"

namespace enctl::testing {
namespace {

// SCSI1 product 5; SCSI2 multi-tenant 6; SCSI3 product 7; SCSI4 product 5
// whose VPD 83h starts with a T10 designator; SCSI5 product 5 on firmware
// older than zoning files need; SCSI6 product 2; SCSI7 product 6; SCSI8
// product 5 that refuses a page 0Eh segment; SCSI9 product 5 whose VPD 83h
// transfer stops inside its NAA designator.
const char* const kZoneLab = R"({"enclosures": [
    {"product": 5}, {"product": 6, "multi_tenant": true}, {"product": 7},
    {"product": 5, "vpd83_t10_first": true}, {"product": 5, "firmware": "2029-009"}, {"product": 2},
    {"product": 6},
    {"product": 5, "faults": [{"opcode": "0x1D", "page": "0x0E", "kind": "check_condition",
                               "sense": {"key": 4, "asc": "0x44", "ascq": 0}}]},
    {"product": 5, "faults": [{"opcode": "0x12", "page": "0x83", "kind": "short", "length": 12}]}]})";

struct run {
    std::vector<std::string> args;  // {"wait"}: a minute of lab time passes (an IOM restarts)
    std::string typed = {};
};

// Runs enctl in process with `typed` as its standard input.
in_process_result run_typed(const run& r) {
    const std::string path = std::filesystem::temp_directory_path() / "enctl-zone-typed.txt";
    std::ofstream(path) << r.typed;
    EXPECT_TRUE(std::freopen(path.c_str(), "r", stdin));
    in_process_result result = run_enctl_in_process(r.args);
    EXPECT_TRUE(std::freopen("/dev/null", "r", stdin));
    std::filesystem::remove(path);
    return result;
}

std::string lab_line(in_process_lab& lab, const std::string& device) {
    const sim::enclosure& e = *lab.model().find(device)->as_enclosure;
    char text[256];
    std::snprintf(text, sizeof text, "[lab: zoning %u, file '%s', String Out %llu, page 0Eh %llu, C0h resets %u]\n",
                  e.state().zoning, e.state().zoning_file.c_str(),
                  static_cast<unsigned long long>(lab.commands(device, 0x1D, 0x04)),
                  static_cast<unsigned long long>(lab.commands(device, 0x1D, 0x0E)),
                  e.state().iom_resets.count(0xC0) ? e.state().iom_resets.at(0xC0) : 0u);
    return text;
}

TEST(Zone, RunsOnTheLabGiveTheGoldenTranscript) {
    in_process_lab lab(kZoneLab);
    ASSERT_TRUE(lab.ok()) << lab.error();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "enctl-zone-files";
    std::filesystem::create_directories(dir);
    for (const auto& [product, name] : {std::pair{5, "zones-a"}, {6, "zones-b"}}) {
        const sim::bytes image = sim::build_image(sim::image_kind::zoning, product, name, 6000);
        std::ofstream(dir / sim::image_file_name(sim::image_kind::zoning, product, false, name), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), 6000);
    }
    const std::string opal_file = "file=" + (dir / "M7310-P_zones-a.bin").string();
    const run runs[] = {
        {{"SCSI1:0,0,0", "zone", "status"}},
        {{"SCSI1:0,0,0", "zone", "config=2"}, "y\n"},
        {{"SCSI1:0,0,0", "zone", "status"}},
        {{"SCSI1:0,0,0", "zone", "config=0"}, "Y\n"},
        {{"SCSI1:0,0,0", "zone", "status"}},
        {{"SCSI1:0,0,0", "zone", "config=1"}, "n\n"},
        {{"SCSI1:0,0,0", "zone", "config=1"}, "y\n"},
        {{"SCSI1:0,0,0", "zone", "status"}},
        {{"SCSI1:0,0,0", "zone", "config=3"}, "y\n"},
        {{"SCSI1:0,0,0", "zone", "config=4"}},
        {{"SCSI1:0,0,0", "zone", "config=256"}},
        {{"SCSI1:0,0,0", "zone", opal_file}, "y\n"},
        {{"wait"}},
        {{"SCSI1:0,0,0", "zone", "status"}},
        {{"SCSI1:0,0,0", "zone", "file=" + (dir / "mat_2050.bin").string()}},
        {{"SCSI2:0,0,0", "zone", "config=2"}},
        {{"SCSI3:0,0,0", "zone", "config=1"}},
        {{"SCSI3:0,0,0", "zone", "reset"}},
        {{"SCSI3:0,0,0", "zone", "status"}},
        {{"SCSI4:0,0,0", "zone", "config=1"}, "y\n"},
        {{"SCSI9:0,0,0", "zone", "config=1"}, "y\n"},
        {{"SCSI5:0,0,0", "zone", opal_file}},
        {{"SCSI6:0,0,0", "zone", "status"}},
        {{"SCSI7:0,0,0", "zone", "file=" + (dir / "M7320-P_zones-b.bin").string()}, "y\n"},
        {{"wait"}},
        {{"SCSI7:0,0,0", "zone", "reset"}, "n\n"},
        {{"SCSI7:0,0,0", "zone", "reset"}, "y\n"},
        {{"SCSI8:0,0,0", "zone", opal_file}, "y\n"},
    };
    std::string text;
    for (const run& r : runs) {
        if (r.args[0] == "wait") {
            lab.model().clock().advance_ms(60000);
            text += "(a minute passes)\n\n";
            continue;
        }
        text += "$ enctl";
        for (const auto& arg : r.args) text += " " + arg;
        if (!r.typed.empty()) text += "    [typed: " + r.typed.substr(0, r.typed.size() - 1) + "]";
        const in_process_result result = run_typed(r);
        const std::size_t banner_end = result.out.find("\n\n");
        std::string out = result.out.substr(banner_end == std::string::npos ? 0 : banner_end + 2);
        for (std::size_t at; (at = out.find('\r')) != std::string::npos;) out.replace(at, 1, "\\r");
        text += "\n" + out;
        text += "[exit " + std::to_string(result.exit_code) + "] " + lab_line(lab, r.args[0]) + "\n";
    }
    std::filesystem::remove_all(dir);
    for (std::size_t at; (at = text.find(dir.string())) != std::string::npos;) text.replace(at, dir.string().size(), "$DIR");
    expect_golden(text, "ops/golden/zone.txt");
}

}  // namespace
}  // namespace enctl::testing
