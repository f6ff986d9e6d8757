// The remote command filter: the five tables in order, the verdicts of the
// patterned rules, and the lab's command line knowing every command a table
// (or the log capture) may send.
#include <gtest/gtest.h>

#include <string>

#include "app/ops/cli_filter.h"
#include "app/product/product.h"
#include "sim/command_line.h"
#include "sim/enclosure.h"
#include "sim/lab.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"

namespace enctl::testing {
namespace {

enclosure_target target(std::uint32_t product, bool multi_tenant = false) {
    enclosure_target t{};
    t.product_code = product;
    t.multi_tenant = multi_tenant ? 1 : 0;
    return t;
}

struct table_case {
    std::uint32_t product;
    bool multi_tenant;
    const char* name;
    std::size_t rules;
};
constexpr table_case kTables[] = {
    {1, false, "product 1", 44}, {2, false, "product 2", 58}, {5, false, "IOM (products 5, 6)", 120},
    {6, true, "base (product 6 multi-tenant)", 60}, {7, false, "product 7", 59},
};

TEST(CliFilter, TablesListTheirRulesInOrder) {
    std::string listing;
    for (const auto& c : kTables) {
        const auto table = cli_filter_table(target(c.product, c.multi_tenant));
        EXPECT_EQ(table.size(), c.rules) << c.name;
        listing += std::string("== ") + c.name + "\n";
        for (const auto& rule : table) listing += cli_rule_help_line(rule);
    }
    expect_golden(listing, "ops/golden/cli_filter_tables.txt");
    EXPECT_EQ(cli_filter_table(target(6)).size(), 120u);
    for (const std::uint32_t none : {0u, 3u, 4u}) EXPECT_TRUE(cli_filter_table(target(none)).empty());
}

TEST(CliFilter, VerdictsPerProduct) {
    const struct {
        const char* command;
        const char* allowed_on;  // products (m: 6 with multi-tenant firmware)
    } cases[] = {
        {"err_cnts 0-35 read", "1256m7"},
        {"err_cnts 0-47 read", "156m7"},
        {"err_cnts 0-67 read", "1"},
        {"err_cnts 4294967296 read", ""},  // wider than 32 bits: no wrap into the range
        {"err_cnts 5x read", ""},
        {"err_cnts 5- read", "1256m7"},   // an empty second number counts as 0
        {"err_cnts 5 read read", ""},     // the end string must be the tail, once
        {"err_cnts  read", ""},
        {"tx_para_get 5", "1256m7"},
        {"tx_para_get", ""},
        {"iom show drives", "56"},
        {"iom show sensors", "56"},
        {"iom sec2 tx_para_get 67", "56"},
        {"show cable", "56m7"},
        {"show autosync", "56m"},
        {"rmt gpio", "1"},
        {"sec1 err_cnts 36-67 clear", "56m7"},
        {"show drives ", ""},
        {"help", ""},
    };
    const std::pair<enclosure_target, char> products[] = {
        {target(1), '1'}, {target(2), '2'}, {target(3), '3'}, {target(5), '5'},
        {target(6), '6'}, {target(6, true), 'm'}, {target(7), '7'},
    };
    for (const auto& c : cases)
        for (const auto& [t, tag] : products)
            EXPECT_EQ(cli_command_allowed(t, c.command), std::string(c.allowed_on).find(tag) != std::string::npos)
                << c.command << " on " << tag;
}

TEST(CliFilter, ValidateCommandExplainsItsVerdictAtDebugVerbosity) {
    const cli_command_rule read{"err_cnts ", 35, " read"};
    const cli_command_rule tx{"tx_para_get", 47, ""};
    std::string out;
    for (const auto& [rule, command] : {std::pair{read, "show drives"}, {read, "err_cnts 1 clear"},
                                        {read, "err_cnts 1 read more"}, {read, "err_cnts read"},
                                        {read, "err_cnts x-1 read"}, {read, "err_cnts 1-2x read"},
                                        {read, "err_cnts 3-36 read"}, {tx, "tx_para_get 1 "}, {tx, "tx_para_get 07"}}) {
        out += std::string("> ") + command + "\n";
        out += console_output([&] { out += std::to_string(validate_command(rule, command)) + "\n"; },
                              kVerbosityDebug);
    }
    expect_golden(out, "ops/golden/validate_command.txt");
}

// Every command of every table (patterned rules with their whole range), and
// the commands only the log capture sends, are known to the lab's enclosures
// of that product.
TEST(CliFilter, TheLabKnowsEveryCommandItMayBeSent) {
    std::string error;
    auto description = sim::parse_lab_description(R"({"enclosures": [{"product": 1}, {"product": 2},
        {"product": 5}, {"product": 6}, {"product": 6, "multi_tenant": true}, {"product": 7}]})", error);
    ASSERT_TRUE(description) << error;
    sim::lab lab(*description);
    const enclosure_target targets[] = {target(1), target(2), target(5), target(6), target(6, true), target(7)};
    const char* const capture_only[] = {"sec1 err_cnts 0-60 read", "sec2 err_cnts 0-60 read",
                                        "i2c rd -p=4 -a=0x71 -o=0x00 0xff", "show vpd"};
    for (std::size_t i = 0; i < std::size(targets); ++i) {
        sim::enclosure& e = *lab.devices()[i].as_enclosure;
        std::vector<std::string> commands;
        for (const auto& rule : cli_filter_table(targets[i]))
            commands.push_back(rule.highest_phy_id == 0 ? rule.start
                               : rule.end.empty()     ? rule.start + " " + std::to_string(rule.highest_phy_id)
                                                      : rule.start + "0-" + std::to_string(rule.highest_phy_id) + rule.end);
        for (const char* c : capture_only) {
            if (targets[i].product_code >= 5) commands.push_back(c);
            if (i == 2 || i == 3) commands.push_back("iom " + std::string(c));
        }
        for (const auto& command : commands) {
            const std::string reply = sim::run_cli_command(e, command);
            EXPECT_TRUE(!reply.empty() && reply.find("Unknown command") == std::string::npos &&
                        reply.rfind("ERROR", 0) != 0)
                << "product " << targets[i].product_code << ": " << command << " -> " << reply;
        }
    }
}

}  // namespace
}  // namespace enctl::testing
