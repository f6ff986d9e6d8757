// The enclosure's command line over page ECh as the log collection uses it:
// sg_senddiag sends a command, sg_ses reads the reply page.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

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

TEST(SimCommandLine, AnswersTheCommandsTheHealthReportReads) {
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
        {"show fw", "Unknown command: show fw\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(command_reply(lab, c.command), c.reply) << c.command;
}

}  // namespace
}  // namespace enctl::testing
