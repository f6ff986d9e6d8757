// The enclosure's command line over page ECh: a command sent, then the reply
// page read, as the log collection does it.
#include <gtest/gtest.h>

#include <string>

#include "sim/enclosure.h"
#include "sim/lab_description.h"
#include "tests/sim/sim_test_util.h"

namespace enctl::sim {
namespace {

using namespace enctl::sim::testing;

std::string reply(enclosure& e) {
    const auto page = run(e, receive_diag_cdb(0xEC)).data_in;
    if (page.size() < 4 || page[0] != 0xEC) return "<no page ECh>";
    EXPECT_EQ(enctl::be16(&page[2]) + 4u, page.size());
    return std::string(page.begin() + 4, page.end());
}

std::string command(enclosure& e, const std::string& text) {
    std::vector<std::uint8_t> page = {0xEC, 0, 0, static_cast<std::uint8_t>(text.size() + 4), 0, 0, 0, 0};
    page.insert(page.end(), text.begin(), text.end());
    const auto sent = run(e, {0x1D, 0x10, 0, 0, static_cast<std::uint8_t>(page.size()), 0}, 0, page);
    EXPECT_EQ(sent.status, 0) << text;
    return reply(e);
}

TEST(SimCommandLine, AnswersTheCommandsTheHealthReportReads) {
    std::string error;
    auto lab = parse_lab_description(
        R"({"enclosures": [{"product": 5, "slots": 4, "zoning": 2, "elements": [
              {"type": 23, "index": 1, "status": "06 00 00 00"}, {"type": 23, "index": 2, "status": "07 00 00 10"},
              {"type": 25, "index": 4, "status": "02 05 00 40"}]}]})",
        error);
    ASSERT_TRUE(lab) << error;
    enclosure e(lab->enclosures.at(0));
    e.seat(0, {"ZL1A0001", 0x5000C50000000001, 0x5000C50000000002, false});
    e.seat(1, {"WL000001", 0x5000C50000000011, 0, true});
    EXPECT_EQ(reply(e), "");  // nothing sent yet

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
    for (const auto& c : cases) EXPECT_EQ(command(e, c.command), c.reply) << c.command;
    EXPECT_EQ(reply(e), "Unknown command: show fw\n");  // the reply stays until the next command
}

}  // namespace
}  // namespace enctl::sim
