// Faults on every page that rcli, iom and diag use (CHECK CONDITION, BUSY,
// a failed transport, a short transfer), in process: each run ends with its
// own message or a clear error, never with a success message for what did
// not happen. The runs of each kind are one transcript in
// golden/faults_<kind>.txt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/in_process_lab.h"

namespace enctl::testing {
namespace {

struct fault_kind {
    const char* name;
    const char* fault;  // the "kind" and its fields, as in a lab description
};

constexpr fault_kind kKinds[] = {
    {"check_condition", R"("kind": "check_condition", "sense": {"key": 5, "asc": "0x24", "ascq": 0})"},
    {"busy", R"("kind": "busy")"},
    {"transport", R"("kind": "transport")"},
    {"short", R"("kind": "short", "length": 10)"},
};

// Four enclosures of product 6 (SCSI1 to SCSI4), whose faults hit: SCSI1
// the command sent on page ECh; SCSI2 the reply read of page ECh; SCSI3 mode
// page 23h (sense and select), page 0Fh (read and sent), page EEh, String
// Out page 04h and the select of mode page 20h; SCSI4 the sense of mode page
// 20h after the one discovery makes.
std::string lab_json(const fault_kind& kind) {
    const auto fault = [&](const char* opcode, const char* page, const char* more = "") {
        return std::string(R"({"opcode": ")") + opcode + R"(", "page": ")" + page + "\", " + kind.fault + more + "}";
    };
    const auto enclosure = [](const std::string& faults) {
        return R"({"product": 6, "slots": 4, "faults": [)" + faults + "]}";
    };
    return R"({"enclosures": [)" + enclosure(fault("0x1D", "0xEC")) + ", " + enclosure(fault("0x1C", "0xEC")) +
           ", " +
           enclosure(fault("0x5A", "0x23") + ", " + fault("0x55", "0x23") + ", " + fault("0x1C", "0x0F") + ", " +
                     fault("0x1D", "0x0F") + ", " + fault("0x1D", "0xEE") + ", " + fault("0x1D", "0x04") + ", " +
                     fault("0x55", "0x20")) +
           ", " + enclosure(fault("0x5A", "0x20", R"(, "skip": 1)")) + "]}";
}

const std::vector<std::vector<std::string>> kRuns = {
    {"SCSI1:0,0,0", "rcli", "show fw"},
    {"SCSI1:0,0,0", "rcli", "clear err_cnts"},
    {"SCSI1:0,0,0", "diag", "clear-eventlog"},
    {"SCSI1:0,0,0", "diag", "clear-crashevent"},
    {"SCSI1:0,0,0", "diag", "timestamp"},
    {"SCSI1:0,0,0", "iom", "oobm"},
    {"SCSI2:0,0,0", "rcli", "show fw"},
    {"SCSI2:0,0,0", "rcli", "read err_cnts"},
    {"SCSI2:0,0,0", "diag", "timestamp"},
    {"SCSI2:0,0,0", "iom", "oobm"},
    {"SCSI3:0,0,0", "iom", "oobm"},
    {"SCSI3:0,0,0", "iom", "oobm=A,10.0.0.2,255.0.0.0,10.0.0.1"},
    {"SCSI3:0,0,0", "diag", "nickname"},
    {"SCSI3:0,0,0", "diag", "nickname=DC2"},
    {"SCSI3:0,0,0", "diag", "timestamp=1"},
    {"SCSI3:0,0,0", "diag", "reset-iom-b"},
    {"SCSI3:0,0,0", "diag", "reset-enc"},
    {"SCSI3:0,0,0", "diag", "autosync-enable"},
    {"SCSI4:0,0,0", "diag", "autosync-enable"},
};

class OpsFaults : public ::testing::TestWithParam<fault_kind> {};

TEST_P(OpsFaults, EveryPageFailsCleanly) {
    in_process_lab lab(lab_json(GetParam()));
    ASSERT_TRUE(lab.ok()) << lab.error();
    std::string text;
    for (const auto& args : kRuns) {
        const in_process_result r = run_enctl_in_process(args);
        text += "$ enctl";
        for (const auto& arg : args) text += " '" + arg + "'";
        const std::size_t banner_end = r.out.find("\n\n");
        text += "\n" + (banner_end == std::string::npos ? r.out : r.out.substr(banner_end + 2));
        text += "[exit " + std::to_string(r.exit_code) + "]\n\n";
    }
    expect_golden(text, std::string("ops/golden/faults_") + GetParam().name + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Kinds, OpsFaults, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enctl::testing
