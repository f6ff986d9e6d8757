// show and show handles of the real enctl binary against simulated labs. Each
// lab's runs are kept as one transcript in golden/<lab>.txt: the command, its
// output after the banner, what it wrote to standard error and its exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

struct lab_case {
    const char* name;  // golden/<name>.txt
    const char* json;  // empty: the default lab
    std::vector<std::vector<std::string>> runs;
};

// Recognition: every product by product id or by page C1h name, the
// multi-tenant variant, the "ZMC-NX2A" slot count with its fallback, unknown
// products, a failing mode page 20h and firmware without "FwRev:"; then
// target names (case ignored, twice, unknown beside known, only unknown, an
// unrecognised enclosure, a disk named as a target).
const char* const kProductsLab =
    R"({"enclosures": [
    {"product": 1, "serial": "SER-P1", "firmware": "2043-012"},)"
    // Mode page 20h fails on a recognised product 2.
    R"({"product": 2, "serial": "SER-P2", "firmware": "2038-004",
     "faults": [{"opcode": "0x5A", "page": "0x20", "kind": "check_condition",
                 "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]},)"
    // Products 3 and 4 report the INQUIRY revision as firmware.
    R"({"product": 3, "serial": "SER-P3", "firmware": "0512-001"},
    {"product": 4, "serial": "SER-P4", "firmware": "0620-002"},)"
    // "ZMC-NX2A" with 60 slots is product 5 whatever the product id; without
    // page C1h the product id decides; "ZMC-NX2A" with 68 slots is product 7.
    R"({"product": 5, "serial": "SER-P5", "firmware": "2041-003", "product_id": "UNKNOWN-5"},
    {"product": 6, "serial": "SER-P6", "firmware": "3012-007", "product_name": ""},
    {"product": 6, "multi_tenant": true, "serial": "SER-P6MT", "firmware": "3012-007", "product_id": "UNKNOWN-6"},
    {"product": 7, "serial": "SER-P7", "firmware": "3005-001", "product_id": "UNKNOWN-7"},)"
    // "ZMC-NX2A" with 24 slots falls back to the product id (SCSI9); with an
    // unknown one (SCSI10), like an unknown product without page C1h
    // (SCSI11), it is left out silently.
    R"({"product": 5, "serial": "SER-X24", "product_id": "M7320-P", "product_name": "ZMC-NX2A", "slots": 24},
    {"product": 5, "serial": "SER-U24", "product_id": "NOSUCH", "product_name": "ZMC-NX2A", "slots": 24},
    {"product": 5, "serial": "SER-UNK", "product_id": "NOSUCH", "product_name": ""},)"
    // Page 03h cut before "FwRev:", and page 03h failing: firmware "N/A".
    R"({"product": 5, "serial": "SER-NOFW", "firmware": "2041-003",
     "faults": [{"opcode": "0x1C", "page": 3, "kind": "short", "length": 24}]},
    {"product": 5, "serial": "SER-FWFAIL", "firmware": "2041-003",
     "faults": [{"opcode": "0x1C", "page": 3, "kind": "check_condition",
                 "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]}],
  "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZL0000001"}]})";

// Handles: product 2 dual-IOM reached through IOM A (a disk paired by the
// slot's shorter serial, one with the same serial on another bus, unpaired);
// product 5 single-IOM reached through IOM B; product 6 multi-tenant (slot
// texts name tenants A and B); product 7; page 0Ah without element index (EIP
// clear); products 1, 3 and 4, which have no drive listing; an enclosure whose
// own address is neither IOM's; then page 07h, 0Ah and 01h failing on one
// enclosure each, which ends only that enclosure's listing, and on the last
// enclosure a disk whose READ CAPACITY fails (Cap "N/A") and one without an
// NAA designator (empty identifier, still paired).
const char* const kHandlesLab = R"({"enclosures": [
    {"product": 2, "label": "slate", "serial": "SLATE-0001", "sas_address": "0x5000C0FF0A100000"},
    {"product": 5, "label": "opalb", "serial": "OPAL-B", "sas_address": "0x5000C0FF0A200000",
     "iom": "single", "attached_iom": "B"},
    {"product": 6, "multi_tenant": true, "label": "mt", "serial": "ALDER-MT", "sas_address": "0x5000C0FF0A300000"},
    {"product": 7, "label": "garnet", "serial": "GARNET-1", "sas_address": "0x5000C0FF0A400000"},
    {"product": 5, "label": "noeip", "serial": "OPAL-NOEIP", "sas_address": "0x5000C0FF0A500000", "eip": false},
    {"product": 1, "label": "amber", "serial": "AMBER-1"},
    {"product": 3, "label": "halcyon", "serial": "HALCYON-1"},
    {"product": 5, "label": "unknown-iom", "serial": "OPAL-NONE", "sas_address": "0x5000C0FF0A600000",
     "attached_iom": "none"},
    {"product": 6, "label": "alder", "serial": "ALDER-1", "sas_address": "0x5000C0FF0A700000"},
    {"product": 4, "label": "corvin", "serial": "CORVIN-1"},
    {"product": 5, "serial": "NO-PAGE7", "faults": [{"opcode": "0x1C", "page": 7, "kind": "check_condition",
                                                      "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]},
    {"product": 5, "serial": "NO-PAGEA", "faults": [{"opcode": "0x1C", "page": "0x0A", "kind": "busy"}]},
    {"product": 5, "serial": "NO-PAGE1", "faults": [{"opcode": "0x1C", "page": 1, "kind": "transport", "skip": 1}]},
    {"product": 5, "label": "fine", "serial": "FINE", "sas_address": "0x5000C0FF0A900000"}],
  "disks": [
    {"enclosure": "slate", "slot": 0, "serial": "ZA1ABC12345", "slot_serial": "ABC12345",
     "naa": "0x5000C50000AA0001", "blocks": 1953525168},
    {"enclosure": "slate", "slot": 5, "serial": "ZB9XYZ00001", "slot_serial": "XYZ00001",
     "naa": "0x5000C50000AA0002", "host": 20},
    {"enclosure": "slate", "slot": 23, "serial": "SLATE23SERIAL", "naa": "0x5000C50000AA0003"},
    {"enclosure": "opalb", "slot": 7, "serial": "OPALB7", "naa": "0x5000C50000BB0007"},
    {"enclosure": "mt", "slot": 1, "serial": "MTA00001", "naa": "0x5000C50000CC0001"},
    {"enclosure": "mt", "slot": 100, "serial": "MTB00100", "naa": "0x5000C50000CC0100"},
    {"enclosure": "garnet", "slot": 3, "serial": "GAR00003", "naa": "0x5000C50000DD0003"},
    {"enclosure": "noeip", "slot": 2, "serial": "NOEIP002", "naa": "0x5000C50000EE0002"},
    {"enclosure": "unknown-iom", "slot": 0, "serial": "NONE0000", "naa": "0x5000C50000FF0000"},
    {"enclosure": "alder", "slot": 0, "serial": "ALDER000", "naa": "0x5000C50000AB0000"},
    {"enclosure": "alder", "slot": 101, "serial": "ALDER101", "naa": "0x5000C50000AB0101"},
    {"enclosure": "fine", "slot": 59, "serial": "LASTSLOT1", "naa": "0x5000C50000FF0059"},
    {"enclosure": "fine", "slot": 58, "serial": "CAPFAIL1", "naa": "0x5000C50000FF0058",
     "faults": [{"opcode": "0x9E", "kind": "check_condition", "sense": {"key": 5, "asc": "0x20", "ascq": 0}}]},
    {"enclosure": "fine", "slot": 57, "serial": "NONAA001", "naa": "0x5000C50000FF0057",
     "faults": [{"opcode": "0x12", "page": "0x83", "kind": "check_condition",
                 "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]}]})";

// Texts with control characters (shown as "?"), and slots that name more
// than one disk: slot 0's serial is contained in its own disk's and in slot
// 1's (listed first), which its page 0Ah port address settles; slot 2's
// only in the enclosure's own serial (never a drive); slot 1's is exact.
const char* const kHostileLab = R"({"enclosures": [
    {"product": 5, "label": "h", "serial": "H\u001b[2JSER", "product_id": "M7320\u0007\u009b",
     "firmware": "2041-\u001b]0;x"}],
  "disks": [
    {"enclosure": "h", "slot": 1, "serial": "QXYZ777B", "slot_serial": "QXYZ777B", "naa": "0x5000C50000AA1000"},
    {"enclosure": "h", "slot": 0, "serial": "WDXYZ777A", "slot_serial": "XYZ77", "naa": "0x5000C50000AA2000"},
    {"enclosure": "h", "slot": 2, "serial": "ZZZ0002", "slot_serial": "SER", "naa": "0x5000C50000AA3000"},
    {"enclosure": "h", "slot": 3, "serial": "CTL\u0007DISK", "slot_serial": "CTL\u0007DISK",
     "naa": "0x5000C50000AA4000"}]})";

// The default lab holds every product, empty slots, a SATA disk in a slot of
// the Bay-S enclosure and an NVMe disk outside every enclosure.
const lab_case kLabs[] = {
    {"default", "", {{"show"}, {"show", "handles"}, {"SCSI5:0,0,0", "show", "handles"}}},
    {"products",
     kProductsLab,
     {{"show"},
      {"scsi1:0,0,0", "show"},
      {"SCSI4:0,0,0", "Scsi4:0,0,0", "show"},
      {"SCSI99:0,0,0", "SCSI4:0,0,0", "show"},
      {"SCSI99:0,0,0", "show"},
      {"SCSI11:0,0,0", "show"},
      {"disk0", "SCSI1:0,0,0", "show"}}},
    {"handles", kHandlesLab, {{"show", "handles"}}},
    {"hostile", kHostileLab, {{"show"}, {"show", "handles"}}},
    {"no_enclosure", R"({"enclosures": [], "disks": [{"serial": "LONELY01"}]})", {{"show"}, {"show", "handles"}}},
};

// A run as its transcript shows it; the banner (two lines and a blank line)
// is checked by the front end's tests.
std::string transcript(const std::vector<std::string>& args, const process_result& r) {
    std::string text = "$ enctl";
    for (const auto& arg : args) text += " " + arg;
    const std::size_t banner_end = r.out.find("\n\n");
    text += "\n" + (banner_end == std::string::npos ? r.out : r.out.substr(banner_end + 2));
    if (!r.err.empty()) text += "[stderr]\n" + r.err;
    return text + "[exit " + std::to_string(r.exit_code) + "]\n\n";
}

class ShowE2e : public ::testing::TestWithParam<lab_case> {};

TEST_P(ShowE2e, MatchesTheGoldenTranscript) {
    const lab_case& c = GetParam();
    running_lab lab(c.json);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    std::string text;
    for (const auto& args : c.runs) text += transcript(args, lab.enctl(args));
    expect_golden(text, std::string("e2e_show/golden/") + c.name + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Labs, ShowE2e, ::testing::ValuesIn(kLabs),
                         [](const auto& info) { return std::string(info.param.name); });

// A drive that stops answering costs one time-out: after it, nothing more is
// sent to it in the run (traced), and its data shows as not read. Disk 1 times
// out on its first INQUIRY (VPD 80h, after READ CAPACITY), disk 2 on READ
// CAPACITY; neither is sent anything after that.
TEST(ShowE2eTimeOuts, ADriveIsSentNothingMoreAfterItsFirstTimeOut) {
    running_lab lab(R"({"enclosures": [{"product": 5, "label": "o", "serial": "OPAL-TO"}],
      "disks": [{"enclosure": "o", "slot": 0, "serial": "FINE0000"},
        {"enclosure": "o", "slot": 1, "serial": "GONE0001", "faults": [{"opcode": "0x12", "kind": "delay", "ms": 60000}]},
        {"enclosure": "o", "slot": 2, "serial": "GONE0002", "faults": [{"opcode": "0x9E", "kind": "delay", "ms": 60000}]}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    std::string text = transcript({"show", "handles"}, lab.enctl({"show", "handles"})) + "$ enctl-lab stats\n";
    const std::string stats = lab.lab_command({"stats", lab.dir()}).out;
    for (std::size_t at = 0, end; at < stats.size(); at = end + 1) {
        end = stats.find('\n', at);
        const std::string line = stats.substr(at, end - at);
        if (line.rfind("disk1 ", 0) == 0 || line.rfind("disk2 ", 0) == 0) text += line + "\n";
    }
    expect_golden(text, "e2e_show/golden/timeouts.txt");
    const std::string debug = lab.enctl({"debug", "show", "handles"}).out;
    EXPECT_NE(debug.find("disk1: command timed out (SG_IO time-out) - no further commands to it in this run\n"),
              std::string::npos);
    EXPECT_NE(debug.find("disk2: timed out earlier in this run - command not sent\n"), std::string::npos);
}

}  // namespace
}  // namespace enctl::testing
