// The enclosure's command line over page ECh: the real tools reach it
// (sg_senddiag sends a command, sg_ses reads the reply page), and in process
// its commands act on the state that `enctl-lab state` reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/command_line.h"
#include "sim/enclosure.h"
#include "sim/lab.h"
#include "tests/support/running_lab.h"

namespace enctl::sim {
namespace {

using testing::process_result;
using testing::running_lab;

// The reply text of page ECh (bytes 4 on) after sending `command`, or the
// tools' complaint.
std::string command_reply(const running_lab& lab, const std::string& command) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02zx", command.size() + 4);  // page length: the text and 4
    std::string page = "ec,00,00," + std::string(hex) + ",00,00,00,00";
    for (const unsigned char c : command) {
        std::snprintf(hex, sizeof hex, ",%02x", c);
        page += hex;
    }
    const process_result sent = lab.run({"/usr/bin/sg_senddiag", "--pf", "--raw=" + page, lab.node("sg0")});
    if (sent.exit_code != 0) return "<sg_senddiag: " + sent.err + ">";
    const process_result read = lab.run({"/usr/bin/sg_ses", "--page=0xEC", "-rr", lab.node("sg0")});
    if (read.exit_code != 0 || read.out.size() < 4) return "<sg_ses: " + read.err + ">";
    return read.out.substr(4);
}

TEST(SimCommandLine, TheToolsReachTheCommandsTheHealthReportReads) {
    running_lab lab(R"({"enclosures": [{"product": 5, "slots": 4, "zoning": 2, "elements": [
        {"type": 23, "index": 1, "status": "06 00 00 00"}, {"type": 23, "index": 2, "status": "07 00 00 10"},
        {"type": 25, "index": 4, "status": "02 05 00 40"}]}],
        "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZL1A0001"},
                  {"enclosure": "encl0", "slot": 1, "kind": "sata", "serial": "WL000001"}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"show drives",
         "Drive slots\nSLOT 000: On -Ok  SAS  ZL1A0001\nSLOT 001: On -Unk SATA WL000001\nSLOT 002: Off-Pwr\n"
         "SLOT 003: Off-Emp\n"},
        {"show cable",
         "CONN IOMA 0: Connected, 4 lanes at 12 Gb/s\nCONN IOMA 1: Connected, 4 lanes at 12 Gb/s\n"
         "CONN IOMA 2: Connected, 4 lanes at 12 Gb/s\nCONN IOMB 0: Connected, 4 lanes at 12 Gb/s\n"
         "CONN IOMB 1: Fault, Critical\nCONN IOMB 2: Connected, 4 lanes at 12 Gb/s\n"},
        {"zonecfg", "Zoning: enabled\nPre-defined configuration: 2\n"},
        {"show everything", "Unknown command: show everything\nType 'help' for the list of commands\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(command_reply(lab, c.command), c.reply) << c.command;
    const process_result state = lab.lab_command({"state", lab.dir(), "SCSI1:0,0,0"});
    EXPECT_NE(state.out.find(R"("cli_commands":	["show drives", "show cable", "zonecfg", "show everything"])"),
              std::string::npos)
        << state.out;
}

lab described(const std::string& json) {
    std::string error;
    auto d = parse_lab_description(json, error);
    EXPECT_TRUE(d) << error;
    return lab(d ? *d : lab_description{});
}

TEST(SimCommandLine, CommandsActOnTheStateForTheLifeOfTheLab) {
    lab l = described(R"({"enclosures": [{"product": 5, "zoning": 1}]})");
    enclosure& e = *l.devices()[0].as_enclosure;
    const auto& phys = e.state().expanders[1].phys;  // IOM A, sec1
    ASSERT_EQ(phys.size(), 68u);
    EXPECT_NE(phys[7].disparity_errors, 0u);
    EXPECT_EQ(run_cli_command(e, "sec1 err_cnts 7 read"),
              "IOM A expander 1\nPhy  Invalid DWord  Disparity Error  Loss DWord Sync  Phy Reset Problem\n"
              "  7              0               16                0                  0\n");
    EXPECT_EQ(run_cli_command(e, "sec1 err_cnts 0-10 clear"), "Error counters of phys 0-10 cleared\n");
    EXPECT_EQ(phys[7].disparity_errors, 0u);
    EXPECT_NE(phys[20].invalid_dwords, 0u);  // outside the range
    EXPECT_EQ(run_cli_command(e, "sec1 err_cnts 0-68 read"), "ERROR: invalid phy range 0-68 (phys 0-67)\n");
    EXPECT_EQ(run_cli_command(e, "err_cnts 48 read"), "ERROR: invalid phy range 48 (phys 0-47)\n");

    EXPECT_EQ(run_cli_command(e, "flash erase 4"), "IOM A expander 0: event log erased\n");
    EXPECT_EQ(run_cli_command(e, "iom sec2 flash erase 8"), "IOM B expander 2: crash log erased\n");
    EXPECT_TRUE(e.state().expanders[0].event_log.empty());
    EXPECT_FALSE(e.state().expanders[0].crash_log.empty());
    EXPECT_FALSE(e.state().expanders[1].event_log.empty());

    EXPECT_EQ(run_cli_command(e, "zonecfg disable"), "Zoning disabled\n");
    EXPECT_EQ(run_cli_command(e, "zonecfg"), "Zoning: disabled\n");
    // Prefixes the product does not have, and commands of the primary only.
    EXPECT_EQ(run_cli_command(e, "rmt show phys").rfind("Unknown command: rmt show phys\n", 0), 0u);
    EXPECT_EQ(run_cli_command(e, "sec1 show drives").rfind("Unknown command", 0), 0u);
    // The reply page holds the most recent command's output only.
    run_cli_command(e, "show autosync");
    const bytes page = build_cli_reply(e);
    EXPECT_EQ(std::string(page.begin() + 4, page.end()), "Auto synchronization: disabled\n");
    EXPECT_EQ(e.state().cli_commands.size(), 11u);
    EXPECT_EQ(e.state().cli_commands.back(), "show autosync");
}

TEST(SimCommandLine, ThePartnerIomAnswersOnlyOnDualIomProducts5And6) {
    lab l = described(R"({"enclosures": [{"product": 5}, {"product": 6, "multi_tenant": true},
        {"product": 6, "iom": "single"}, {"product": 1}]})");
    const auto reply = [&](std::size_t i, const char* command) {
        return run_cli_command(*l.devices()[i].as_enclosure, command);
    };
    EXPECT_EQ(reply(0, "iom show io"), "IOM A: present\nIOM B: present (local)\n");
    EXPECT_EQ(reply(1, "iom show io"), "ERROR: the partner IOM cannot be reached\n");
    EXPECT_EQ(reply(2, "iom show io"), "ERROR: the partner IOM cannot be reached\n");
    EXPECT_EQ(reply(3, "rmt err_cnts 67 clear"), "Error counters of phys 67-67 cleared\n");
}

TEST(SimCommandLine, TheDescriptionSetsAnyReplyTextByteForByte) {
    const std::string big(70000, 'x');
    lab l = described(R"({"enclosures": [{"product": 7, "cli_replies": {
        "show fw": {"hex": "61 00 25 73 0a 62"}, "no such command": "made up\n", "show enc": ")" + big + R"("}}]})");
    enclosure& e = *l.devices()[0].as_enclosure;
    EXPECT_EQ(run_cli_command(e, "show fw"), std::string("a\0%s\nb", 6));
    EXPECT_EQ(run_cli_command(e, "no such command"), "made up\n");
    run_cli_command(e, "show enc");
    const bytes page = build_cli_reply(e);
    ASSERT_EQ(page.size(), 4u + 0xFFFF);
    EXPECT_EQ(enctl::be16(&page[2]), 0xFFFFu);
    // The description round-trips through its JSON form, NUL bytes included.
    std::string error;
    const auto again = parse_lab_description(lab_description_json(l.description()), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->enclosures[0].cli_replies, l.description().enclosures[0].cli_replies);
}

}  // namespace
}  // namespace enctl::sim
