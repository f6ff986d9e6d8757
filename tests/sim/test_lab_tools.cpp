// The lab as the sg3_utils tools see it through the preload shim: every page
// of every enclosure of the default lab decodes cleanly, identities, refusals
// and injected faults come back as a device reports them, and dump gives what
// sg_ses reads offline.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "sim/enclosure.h"
#include "sim/lab.h"
#include "tests/support/golden.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What sg_ses prints when something is wrong with a page.
void expect_clean(const process_result& r, const std::string& what) {
    EXPECT_EQ(r.exit_code, 0) << what << "\n" << r.err;
    EXPECT_EQ(r.err, "") << what;
    for (const char* bad : {"<<<", "too short", "arning:", "rror", "problem", "Illegal", "unexpected", "mismatch"})
        EXPECT_FALSE(contains(r.out, bad)) << what << ": \"" << bad << "\" in\n" << r.out;
}

// Runs "tool arguments" from /usr/bin, where @name stands for the path of the lab's node.
process_result run_tool(const running_lab& lab, const std::string& command) {
    std::vector<std::string> argv;
    std::istringstream words(command);
    for (std::string word; words >> word;)
        argv.push_back(word[0] == '@' ? lab.node(word.substr(1)) : argv.empty() ? "/usr/bin/" + word : word);
    return lab.run(argv);
}

// What the golden file keeps of a tool's output: page 02h without the element
// headings and with repeated lines once (every element's status flags), page
// 07h with only slot 0 of the slot texts, page 0Ah up to slot 0's phys;
// everything else whole.
std::string kept(const std::string& command, const std::string& text) {
    if (command != "sg_ses --page=2" && command != "sg_ses --page=7" && command != "sg_ses --page=0xA") return text;
    std::string out;
    std::set<std::string> seen;
    std::istringstream in(text);
    int line_number = 0;
    for (std::string line; std::getline(in, line);) {
        if (command == "sg_ses --page=0xA" && ++line_number > 16) break;
        if (command == "sg_ses --page=7" && contains(line, "descriptor: SLOT") && !contains(line, "Element 0 "))
            continue;
        if (command == "sg_ses --page=2" && (contains(line, " descriptor:") || !seen.insert(line).second)) continue;
        out += line + "\n";
    }
    return out;
}

TEST(SimLabTools, SgSesReadsEveryEnclosureOfTheDefaultLabAndDumpMatchesIt) {
    running_lab lab;
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    sim::lab model(sim::default_lab());
    std::string transcript;
    for (const auto& device : model.devices()) {
        if (!device.as_enclosure) continue;
        const sim::enclosure_spec& e = device.as_enclosure->spec();
        SCOPED_TRACE(e.label + " " + device.sg_node);
        transcript += "=== " + e.label + " " + device.name + " " + device.sg_node + "\n";
        std::vector<std::string> commands = {"sg_ses --page=0", "sg_ses --page=1",   "sg_ses --page=2",
                                             "sg_ses --page=3", "sg_ses --page=5",   "sg_ses --page=7",
                                             "sg_ses --page=0xA", "sg_ses --join", "sg_modes -p 0x20"};
        if (e.product != 3 && e.product != 4) commands.push_back("sg_ses --page=0xf");  // the vendor page set
        if (e.product >= 5) commands.push_back("sg_modes -p 0x23,1");
        for (const std::string& command : commands) {
            const process_result r = run_tool(lab, command + " @" + device.sg_node);
            expect_clean(r, command);
            if (command != "sg_ses --page=5" && command != "sg_ses --join")
                transcript += "$ " + command + "\n" + kept(command, r.out);
            if (command == "sg_ses --join") {
                EXPECT_TRUE(contains(r.out, "Additional Element Status:"));
            }
            if (command != "sg_ses --page=7") continue;
            // The slot texts are padded to one length.
            std::set<std::size_t> lengths;
            std::istringstream page7(r.out);
            for (std::string line; std::getline(page7, line);) {
                if (auto at = line.find("descriptor: SLOT "); at != std::string::npos) lengths.insert(line.size() - at);
            }
            EXPECT_EQ(lengths.size(), 1u);
        }
    }
    expect_golden(transcript, "sim/golden/default_lab_pages.txt");

    // Pages dumped by enctl-lab read offline by sg_ses as they read live.
    const auto page1 = lab.lab_command({"dump", lab.dir(), "SCSI5:0,0,0", "1"});
    const auto page7 = lab.lab_command({"dump", lab.dir(), "/dev/" + model.find("SCSI5:0,0,0")->sg_node, "0x07"});
    ASSERT_EQ(page1.exit_code, 0) << page1.err;
    ASSERT_EQ(page7.exit_code, 0) << page7.err;
    EXPECT_EQ(page7.out.substr(0, 12), "07 00 09 18 ");
    std::ofstream(lab.dir() + "/pages.hex") << page1.out << page7.out;
    const auto offline =
        run_process({"/usr/bin/sg_ses", "--inhex=" + lab.dir() + "/pages.hex", "--status", "--page=7"});
    const auto live = run_tool(lab, "sg_ses --page=7 @" + model.find("SCSI5:0,0,0")->sg_node);
    ASSERT_EQ(offline.exit_code, 0) << offline.err;
    ASSERT_TRUE(contains(live.out, "Element Descriptor In diagnostic page:"));
    EXPECT_EQ(offline.out.substr(offline.out.find("Element Descriptor In")),
              live.out.substr(live.out.find("Element Descriptor In")));
    const auto refused = lab.lab_command({"dump", lab.dir(), "disk0", "1"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.err, "disk0 is not an enclosure\n");
}

// sg0 a Host-S enclosure with sda (sg1, SAS) and sdb (sg2, SATA) in slots 0
// and 1; sg3 an NX2A enclosure; sg4 a Bay-S enclosure without element index in
// page 0Ah, with sdc (sg5); sg6 and sg7 Bay-S enclosures with injected faults;
// sdd (sg8) a disk outside every enclosure whose VPD 80h fails in transport.
const char* const kToolsLab = R"({"enclosures": [
    {"product": 7, "serial": "KVGR12345678", "sas_address": "50E1AB000A0BC000"},
    {"product": 3},
    {"product": 5, "eip": false},
    {"product": 5, "faults": [
        {"opcode": "0x1C", "page": 2, "kind": "check_condition", "sense": {"key": 2, "asc": "0x04", "ascq": 1}},
        {"opcode": "0x1C", "page": 7, "kind": "busy"},
        {"opcode": "0x1C", "page": 3, "kind": "check_condition", "count": 1,
         "sense": {"key": 6, "asc": "0x29", "ascq": 0}}]},
    {"product": 5, "faults": [{"opcode": "0x1C", "page": 2, "kind": "delay", "ms": 90000},
                              {"opcode": "0x1C", "page": 7, "kind": "short", "length": 100}]}],
  "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZA11BB22CC33DD44", "naa": "50D15C00ABCDEF00"},
            {"kind": "sata", "enclosure": "encl0", "slot": 1, "serial": "WD-SATA-0001", "naa": "50D15C00000AAAA0"},
            {"enclosure": "encl2", "slot": 2, "naa": "50D15C0000AA0000"},
            {"faults": [{"opcode": "0x12", "page": "0x80", "kind": "transport"}]}]})";

TEST(SimLabTools, IdentitiesRefusalsAndFaultsAsADeviceReportsThem) {
    running_lab lab(kToolsLab);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const struct {
        std::string command;
        bool fails;
        std::string text;  // in what the tool printed
    } cases[] = {
        {"sg_inq @sg0", false, "Peripheral device type: enclosure services device"},
        {"sg_inq @sg0", false, "Product identification: M7310-R"},
        {"sg_inq @sg0", false, "Unit serial number: KVGR12345678"},
        // The logical unit is named after the attached IOM (A: base + 100h).
        {"sg_vpd -p di @sg0", false, "designator type: NAA,  code set: Binary\n      0x50e1ab000a0bc100"},
        {"sg_ses --page=7 @sg0", false, "SLOT 000,ZA11BB22"},
        {"sg_ses --page=7 @sg0", false, "SLOT 001,WD-SATA-0001"},
        {"sg_inq @sda", false, "Unit serial number: ZA11BB22CC33DD44"},
        {"sg_vpd --page=di @sda", false,
         "Addressed logical unit:\n    designator type: NAA,  code set: Binary\n      0x50d15c00abcdef00"},
        {"sg_vpd --page=di @sda", false,
         "Target port:\n    designator type: NAA,  code set: Binary\n"
         "     transport: Serial Attached SCSI Protocol (SPL-4)\n      0x50d15c00abcdef01"},
        {"sg_readcap --16 @sda", false, "Device size: 12000138625024 bytes"},
        {"sg_inq @sdb", false, "Vendor identification: ATA"},
        {"sg_inq @sdb", false, "Unit serial number: WD-SATA-0001"},
        {"sg_vpd -p di @sdb", false, "designator type: NAA,  code set: Binary\n      0x50d15c00000aaaa0"},
        {"sg_vpd -p ai @sdb", false, "Command code: 0xec"},
        {"sg_vpd -p ai @sdb", false, "serial number: WD-SATA-0001"},
        {"sg_ses --page=0xa @sg0", false,
         "device slot number: 1\n        phy index: 0\n          SAS device type: end device\n"
         "          initiator port for:\n          target port for: SATA_device"},
        {"sg_sat_identify -i @sg2", false, "0x50d15c00000aaaa0"},
        // With CK_COND the registers come back in descriptor sense.
        {"sg_sat_identify --ck_cond -vv @sg2", false,
         "Descriptor type: ATA Status Return: extend=0 error=0x0 \n        count=0x1 lba=0x000000 device=0x40 "
         "status=0x50"},
        // ATA PASS-THROUGH(16): a command the drive does not know is aborted;
        // IDENTIFY must be PIO data-in.
        {"sg_raw -r 512 @sg2 85 08 2e 00 00 00 01 00 00 00 00 00 00 00 2f 00", true,
         "error=0x4 \n        count=0x0 lba=0x000000 device=0x40 status=0x51"},
        {"sg_raw -r 512 @sg2 85 06 2e 00 00 00 01 00 00 00 00 00 00 00 ec 00", true, "Invalid field in cdb"},
        // Refusals, and the allocation length and the caller's buffer bound a transfer.
        {"sg_raw -r 64 @sg0 1c 01 42 00 40 00", true, "Illegal Request\nAdditional sense: Invalid field in cdb"},
        {"sg_raw -r 64 @sg0 12 01 99 00 40 00", true, "Illegal Request\nAdditional sense: Invalid field in cdb"},
        {"sg_raw -r 64 @sg0 28 00 00 00 00 00 00 00 01 00", true, "Invalid command operation code"},
        {"sg_senddiag -v --pf --raw=0f,00,00,04,00,00,00,00 @sg0", true, "Invalid field in parameter list"},
        {"sg_raw -r 8 @sg0 1c 01 07 00 08 00", false, "Received 8 bytes of data"},
        {"sg_raw -r 16 @sg0 1c 01 07 40 00 00", false, "Received 16 bytes of data"},
        // Products 3 and 4 have no page C1h and no page 04h.
        {"sg_raw -r 64 @sg3 12 01 c1 00 40 00", true, "Invalid field in cdb"},
        {"sg_ses --page=4 @sg3", true, "Illegal request"},
        // Page 0Ah without element index: phy descriptors from descriptor byte 4.
        {"sg_ses --page=0xa @sg4", false, "SAS address: 0x50d15c0000aa0001"},
        // Injected faults; other pages answer, a one-shot fault is used up by one process.
        {"sg_ses --page=2 -v @sg6", true,
         "Sense key: Not Ready\nAdditional sense: Logical unit is in process of becoming ready"},
        {"sg_ses --page=7 @sg6", true, "sg_ses failed: Busy"},
        {"sg_ses --page=1 @sg6", false, "Element type: Array device slot"},
        {"sg_ses --page=3 @sg6", true, "Sense key: Unit Attention"},
        {"sg_ses --page=3 @sg6", false, "FwRev:"},
        // Longer than the tool's 60-second time-out, in lab time: timed out at once.
        {"sg_ses --page=2 @sg7", false, "Host_status=0x03 [DID_TIME_OUT]"},
        {"sg_ses --page=7 @sg7", false, "<<<element: response too short>>>"},
        {"sg_vpd --page=sn @sdd", true, "Input/output error"},
        {"sg_vpd --page=di @sdd", false, "Device Identification VPD page:"},
    };
    for (const auto& c : cases) {
        const process_result r = run_tool(lab, c.command);
        EXPECT_EQ(r.exit_code != 0, c.fails) << c.command << "\n" << r.out << r.err;
        EXPECT_TRUE(contains(r.out + r.err, c.text)) << c.command << ": \"" << c.text << "\" in\n" << r.out << r.err;
    }

    for (const char* command : {"sg_ses --page=0xa @sg4", "sg_ses --join @sg4"}) {
        const process_result r = run_tool(lab, command);
        expect_clean(r, command);
        EXPECT_FALSE(contains(r.out, "Element index:")) << r.out;
    }

    // IDENTIFY DEVICE data as a drive sends it: signature A5h and a checksum
    // byte that makes the 512 bytes sum to zero.
    const process_result raw = lab.run({"/usr/bin/sg_sat_identify", "-r", lab.node("sg2")});
    ASSERT_EQ(raw.out.size(), 512u) << raw.err;
    EXPECT_EQ(static_cast<std::uint8_t>(raw.out[510]), 0xA5);
    std::uint8_t sum = 0;
    for (char b : raw.out) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(b));
    EXPECT_EQ(sum, 0);
}

}  // namespace
}  // namespace enctl::testing
