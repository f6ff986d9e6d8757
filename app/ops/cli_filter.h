// The remote command filter: per product, the table of command strings that
// the rcli operation may send to the enclosure's command line. A rule with
// highest phy id 0 admits exactly its start string; any other admits start
// string, phy id ("<num1>" or "<num1>-<num2>", both at most the highest phy
// id) and end string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/discovery/enclosure_target.h"

namespace enctl {

// Room of the start and end strings, terminator included.
inline constexpr std::size_t kCliRuleTextSize = 256;

struct cli_command_rule {
    std::string start;              // up to 255 characters
    std::uint32_t highest_phy_id;   // 0: a fixed command
    std::string end;                // empty in fixed rules and the tx_para_get rules
};

// The table of the enclosure's product: product 1, product 2, the IOM table
// (product 5, product 6 without multi-tenant firmware), the base table
// (product 6 with it), product 7; empty for any other product.
std::span<const cli_command_rule> cli_filter_table(const enclosure_target& target);

// 0 when `command` matches the patterned `rule`, 1 when not. Explains its
// verdict at debug verbosity.
int validate_command(const cli_command_rule& rule, std::string_view command);

// Whether the table of the enclosure's product admits `command` (the first
// matching rule decides). Prints "***send_command: check index %u of %u\n"
// and "***Match found\n" at debug verbosity.
bool cli_command_allowed(const enclosure_target& target, std::string_view command);

// One line of the help listing: "  %s\n" for a fixed rule,
// "  %s<0-%u>%s\n" for a patterned one.
std::string cli_rule_help_line(const cli_command_rule& rule);

}  // namespace enctl
