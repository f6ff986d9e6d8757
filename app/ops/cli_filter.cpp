#include "app/ops/cli_filter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/product/product.h"
#include "basekit/console.h"

namespace enctl {

namespace {

using rules = std::vector<cli_command_rule>;

cli_command_rule fixed(std::string start) { return {std::move(start), 0, {}}; }

// The base table, in order; the IOM, product 2 and product 7 tables derive
// from it.
const rules& base_table() {
    static const rules table = {
        fixed("i2c scan"), fixed("show gpio"), fixed("show io"), fixed("show enc"), fixed("show dual"),
        fixed("show hosts"), fixed("show phys"), fixed("sec1 show phys"), fixed("sec2 show phys"),
        fixed("show ac"), fixed("show actuator"), fixed("show actuators"), fixed("show le"), fixed("show led"),
        fixed("show leds"), fixed("show sensor"), fixed("show sn"), fixed("show sensors"), fixed("show drive"),
        fixed("show drives"), fixed("show drives high"), fixed("show drives low"), fixed("show thermon"),
        fixed("show ses"), fixed("phyinfo"), fixed("phyinfo buffer"), fixed("sec1 phyinfo"),
        fixed("sec1 phyinfo buffer"), fixed("sec2 phyinfo"), fixed("sec2 phyinfo buffer"), fixed("debug dump"),
        fixed("sec1 debug dump"), fixed("sec2 debug dump"), fixed("zonecfg"), fixed("zonecfg disable"),
        {"err_cnts ", 47, " read"}, {"err_cnts ", 47, " clear"},
        {"sec1 err_cnts ", 67, " read"}, {"sec1 err_cnts ", 67, " clear"},
        {"sec2 err_cnts ", 67, " read"}, {"sec2 err_cnts ", 67, " clear"},
        fixed("show threads"), fixed("sec1 show threads"), fixed("sec2 show threads"), fixed("qinfo"),
        fixed("sec1 qinfo"), fixed("sec2 qinfo"), fixed("show fw"), fixed("show devices"), fixed("show cable"),
        fixed("show vpd"), fixed("vpd set"), fixed("status sas_phy"), fixed("sec1 status sas_phy"),
        fixed("sec2 status sas_phy"),
        {"tx_para_get", 47, ""}, {"sec1 tx_para_get", 67, ""}, {"sec2 tx_para_get", 67, ""},
        fixed("show autosync"), fixed("gpio"),
    };
    return table;
}

rules without(const rules& table, std::initializer_list<std::string_view> dropped) {
    rules out;
    for (const auto& rule : table) {
        bool drop = false;
        for (const std::string_view d : dropped) drop = drop || (rule.highest_phy_id == 0 && rule.start == d);
        if (!drop) out.push_back(rule);
    }
    return out;
}

// The base rules, then the same with "iom " in front, where "iom show
// sensors" stands before "iom show sn".
const rules& iom_table() {
    static const rules table = [] {
        rules out = base_table();
        rules partner;
        for (auto rule : base_table()) {
            rule.start = "iom " + rule.start;
            partner.push_back(std::move(rule));
        }
        for (std::size_t i = 0; i + 1 < partner.size(); ++i)
            if (partner[i].start == "iom show sn" && partner[i + 1].start == "iom show sensors")
                std::swap(partner[i], partner[i + 1]);
        out.insert(out.end(), partner.begin(), partner.end());
        return out;
    }();
    return table;
}

// Three expanders of 36 phys: every patterned rule stops at phy 35.
const rules& product2_table() {
    static const rules table = [] {
        rules out = without(base_table(), {"show cable", "show autosync"});
        for (auto& rule : out)
            if (rule.highest_phy_id != 0) rule.highest_phy_id = 35;
        return out;
    }();
    return table;
}

const rules& product7_table() {
    static const rules table = without(base_table(), {"show autosync"});
    return table;
}

// Two expanders; the second is addressed with "rmt ".
const rules& product1_table() {
    static const rules table = {
        fixed("i2c scan"), fixed("show gpio"), fixed("show io"), fixed("show hosts"), fixed("show phys"),
        fixed("rmt show phys"), fixed("show ac"), fixed("show actuator"), fixed("show actuators"),
        fixed("show le"), fixed("show led"), fixed("show leds"), fixed("show sensor"), fixed("show sn"),
        fixed("show sensors"), fixed("show drive"), fixed("show drives"), fixed("show drives high"),
        fixed("show drives low"), fixed("show thermon"), fixed("show ses"), fixed("phyinfo"),
        fixed("phyinfo buffer"), fixed("rmt phyinfo"), fixed("rmt phyinfo buffer"), fixed("debug dump"),
        fixed("rmt debug dump"),
        {"err_cnts ", 67, " read"}, {"err_cnts ", 67, " clear"},
        {"rmt err_cnts ", 67, " read"}, {"rmt err_cnts ", 67, " clear"},
        fixed("show threads"), fixed("rmt show threads"), fixed("qinfo"), fixed("rmt qinfo"), fixed("show fw"),
        fixed("show devices"), fixed("vpd set"), fixed("status sas_phy"), fixed("rmt status sas_phy"),
        {"tx_para_get", 67, ""}, {"rmt tx_para_get", 67, ""},
        fixed("gpio"), fixed("rmt gpio"),
    };
    return table;
}

// The phy id text of a patterned command as the rule's check reads it.
constexpr std::size_t kPhyIdSize = 256;

}  // namespace

std::span<const cli_command_rule> cli_filter_table(const enclosure_target& target) {
    switch (target.product_code) {
    case kProductAmberRidge: return product1_table();
    case kProductSlateRidge: return product2_table();
    case kProductOpalRidge: return iom_table();
    case kProductMtAlder: return target.multi_tenant ? base_table() : iom_table();
    case kProductGarnetRidge: return product7_table();
    default: return {};
    }
}

int validate_command(const cli_command_rule& rule, std::string_view command) {
    if (!command.starts_with(rule.start)) {
        CONSOLE_PRINT(kVerbosityDebug, "***validate_command: does not start with: %s\n", rule.start.c_str());
        return 1;
    }
    if (!rule.end.empty()) {
        const std::size_t at = command.find(rule.end);
        if (at == std::string_view::npos) {
            CONSOLE_PRINT(kVerbosityDebug, "***validate_command: end string not found: %s\n", rule.end.c_str());
            return 1;
        }
        if (at + rule.end.size() != command.size()) {
            CONSOLE_PRINT(kVerbosityDebug, "***validate_command: does not end with: %s\n", rule.end.c_str());
            return 1;
        }
    }
    const long long middle_length = static_cast<long long>(command.size()) -
                                    static_cast<long long>(rule.start.size()) -
                                    static_cast<long long>(rule.end.size());
    if (middle_length <= 0) {
        CONSOLE_PRINT(kVerbosityDebug, "***validate_command: no <phy_id> found\n");
        return 1;
    }
    char phy_id[kPhyIdSize] = {};
    std::memcpy(phy_id, command.data() + rule.start.size(),
                std::min<std::size_t>(static_cast<std::size_t>(middle_length), kPhyIdSize - 1));
    CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id=%s\n", phy_id);

    // The numbers are compared at their full width, so that a phy id beyond
    // 32 bits cannot wrap into the range.
    unsigned long num1 = 0;
    unsigned long num2 = 0;
    char* stop = nullptr;
    if (char* dash = std::strchr(phy_id, '-')) {
        num1 = std::strtoul(phy_id, &stop, 10);
        if (stop != dash) {
            CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id num1 not in this format <num1>-<num2>\n");
            return 1;
        }
        num2 = std::strtoul(dash + 1, &stop, 10);
        if (*stop != '\0') {
            CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id num2 not in this format <num1>-<num2>\n");
            return 1;
        }
        CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id1=%lu phy_id2=%lu\n", num1, num2);
    } else {
        num1 = std::strtoul(phy_id, &stop, 10);
        CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id1=%lu\n", num1);
        if (*stop != '\0') {
            CONSOLE_PRINT(kVerbosityDebug, "***validate_command: phy_id not in this format <number>\n");
            return 1;
        }
    }
    if (num1 <= rule.highest_phy_id && num2 <= rule.highest_phy_id) {
        CONSOLE_PRINT(kVerbosityDebug, "***validate_command: VALID CMD\n");
        return 0;
    }
    CONSOLE_PRINT(kVerbosityDebug, "***validate_command: INVALID PHY_ID range\n");
    return 1;
}

bool cli_command_allowed(const enclosure_target& target, std::string_view command) {
    const std::span<const cli_command_rule> table = cli_filter_table(target);
    for (std::size_t i = 0; i < table.size(); ++i) {
        CONSOLE_PRINT(kVerbosityDebug, "***send_command: check index %u of %u\n", static_cast<unsigned>(i),
                      static_cast<unsigned>(table.size()));
        const cli_command_rule& rule = table[i];
        if (rule.highest_phy_id == 0) {
            if (command == rule.start) {
                CONSOLE_PRINT(kVerbosityDebug, "***Match found\n");
                return true;
            }
        } else if (validate_command(rule, command) == 0) {
            return true;
        }
    }
    return false;
}

std::string cli_rule_help_line(const cli_command_rule& rule) {
    if (rule.highest_phy_id == 0) return "  " + rule.start + "\n";
    return "  " + rule.start + "<0-" + std::to_string(rule.highest_phy_id) + ">" + rule.end + "\n";
}

}  // namespace enctl
