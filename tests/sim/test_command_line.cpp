// The enclosure's command line over page ECh in process: replies built from
// the enclosure's elements and disks, and commands that act on the state
// `enctl-lab state` reports. (The real binary reaches it through the shim in
// the operation tests.)
#include <gtest/gtest.h>

#include <string>

#include "sim/command_line.h"
#include "sim/enclosure.h"
#include "sim/lab.h"

namespace enctl::sim {
namespace {

lab described(const std::string& json) {
    std::string error;
    auto d = parse_lab_description(json, error);
    EXPECT_TRUE(d) << error;
    return lab(d ? *d : lab_description{});
}

TEST(SimCommandLine, RepliesFollowTheElementsDisksAndIoms) {
    lab l = described(R"({"enclosures": [{"product": 5, "slots": 4, "zoning": 2, "elements": [
        {"type": 23, "index": 1, "status": "06 00 00 00"}, {"type": 23, "index": 2, "status": "07 00 00 10"},
        {"type": 25, "index": 4, "status": "02 05 00 40"}]},
        {"product": 6, "multi_tenant": true}, {"product": 6, "iom": "single"}, {"product": 1}],
        "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZL1A0001"},
                  {"enclosure": "encl0", "slot": 1, "kind": "sata", "serial": "WL000001"}]})");
    const struct {
        std::size_t enclosure;
        const char* command;
        const char* reply;
    } cases[] = {
        {0, "show drives",
         "Drive slots\nSLOT 000: On -Ok  SAS  ZL1A0001\nSLOT 001: On -Unk SATA WL000001\nSLOT 002: Off-Pwr\n"
         "SLOT 003: Off-Emp\n"},
        {0, "show cable",
         "CONN IOMA 0: Connected, 4 lanes at 12 Gb/s\nCONN IOMA 1: Connected, 4 lanes at 12 Gb/s\n"
         "CONN IOMA 2: Connected, 4 lanes at 12 Gb/s\nCONN IOMB 0: Connected, 4 lanes at 12 Gb/s\n"
         "CONN IOMB 1: Fault, Critical\nCONN IOMB 2: Connected, 4 lanes at 12 Gb/s\n"},
        {0, "zonecfg", "Zoning: enabled\nPre-defined configuration: 2\n"},
        {0, "show everything", "Unknown command: show everything\nType 'help' for the list of commands\n"},
        // The partner IOM answers only on dual-IOM products 5 and 6.
        {0, "iom show io", "IOM A: present\nIOM B: present (local)\n"},
        {1, "iom show io", "ERROR: the partner IOM cannot be reached\n"},
        {2, "iom show io", "ERROR: the partner IOM cannot be reached\n"},
        {3, "rmt err_cnts 67 clear", "Error counters of phys 67-67 cleared\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run_cli_command(*l.devices()[c.enclosure].as_enclosure, c.command), c.reply) << c.command;
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
