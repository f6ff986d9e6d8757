// The rcli operation: one command string for the enclosure's own command
// line, checked against the product's filter table, confirmed where it
// addresses the partner IOM or may take the enclosure offline, sent, and its
// reply printed. Four strings expand into a series of error-counter commands.
#include <cstring>
#include <span>
#include <string_view>

#include "app/operation.h"
#include "app/ops/cli_channel.h"
#include "app/ops/cli_filter.h"
#include "app/ops/confirm.h"
#include "app/ops/enclosure_walk.h"
#include "app/ops/rcli_options.h"
#include "app/product/product.h"
#include "basekit/console.h"

namespace enctl {

namespace {

rcli_options g_rcli;  // the run's request, filled by the parse

struct counter_read {
    const char* heading;
    const char* command;
};

constexpr const char* kClearProduct1[] = {"err_cnts 0-35 clear", "err_cnts 36-67 clear", "rmt err_cnts 0-35 clear",
                                          "rmt err_cnts 36-67 clear"};
constexpr const char* kClearProduct2[] = {"err_cnts 0-35 clear", "sec1 err_cnts 0-35 clear",
                                          "sec2 err_cnts 0-35 clear"};
constexpr const char* kClearProducts567[] = {"err_cnts 0-47 clear", "sec1 err_cnts 0-35 clear",
                                             "sec1 err_cnts 36-67 clear", "sec2 err_cnts 0-35 clear",
                                             "sec2 err_cnts 36-67 clear"};
constexpr const char* kClearIom[] = {"iom err_cnts 0-47 clear", "iom sec1 err_cnts 0-35 clear",
                                     "iom sec1 err_cnts 36-67 clear", "iom sec2 err_cnts 0-35 clear",
                                     "iom sec2 err_cnts 36-67 clear"};

constexpr counter_read kReadProduct1[] = {
    {"Primary error counts\n", "err_cnts 0-35 read"},
    {"Primary error counts\n", "err_cnts 36-67 read"},
    {"Secondary error counts\n", "rmt err_cnts 0-35 read"},
    {"Secondary error counts\n", "rmt err_cnts 36-67 read"},
};
constexpr counter_read kReadProduct2[] = {
    {"Primary error counts\n", "err_cnts 0-35 read"},
    {"Secondary_1 error counts\n", "sec1 err_cnts 0-35 read"},
    {"Secondary_2 error counts\n", "sec2 err_cnts 0-35 read"},
};
constexpr counter_read kReadProducts567[] = {
    {"Primary error counts\n", "err_cnts 0-47 read"},
    {"Secondary_1 error counts\n", "sec1 err_cnts 0-35 read"},
    {"Secondary_1 error counts\n", "sec1 err_cnts 36-67 read"},
    {"Secondary_2 error counts\n", "sec2 err_cnts 0-35 read"},
    {"Secondary_2 error counts\n", "sec2 err_cnts 36-67 read"},
};
constexpr counter_read kReadIom[] = {
    {"Primary iom error counts\n", "iom err_cnts 0-47 read"},
    {"Secondary_1 iom error counts\n", "iom sec1 err_cnts 0-35 read"},
    {"Secondary_1 iom error counts\n", "iom sec1 err_cnts 36-67 read"},
    {"Secondary_2 iom error counts\n", "iom sec2 err_cnts 0-35 read"},
    {"Secondary_2 iom error counts\n", "iom sec2 err_cnts 36-67 read"},
};

std::span<const char* const> clear_series(std::uint32_t product) {
    switch (product) {
    case kProductAmberRidge: return kClearProduct1;
    case kProductSlateRidge: return kClearProduct2;
    case kProductOpalRidge:
    case kProductMtAlder:
    case kProductGarnetRidge: return kClearProducts567;
    default: return {};
    }
}

std::span<const counter_read> read_series(std::uint32_t product) {
    switch (product) {
    case kProductAmberRidge: return kReadProduct1;
    case kProductSlateRidge: return kReadProduct2;
    case kProductOpalRidge:
    case kProductMtAlder:
    case kProductGarnetRidge: return kReadProducts567;
    default: return {};
    }
}

int not_supported() {
    CONSOLE_PRINT(kVerbosityNormal, "This command is not supported on this platform\n");
    return 1;
}

// The warning lines and prompt, then the answer: true to go on.
bool confirmed(std::initializer_list<const char*> warning) {
    for (const char* line : warning) CONSOLE_PRINT(kVerbosityNormal, "%s", line);
    const bool yes = read_confirmation();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    if (!yes) CONSOLE_PRINT(kVerbosityNormal, "Operation canceled by the user\n");
    return yes;
}

bool iom_confirmed() {
    return confirmed({"RCLI IOM commands are meant to run only on one IOM at a time.\n",
                      "Please do not run multiple RCLI IOM commands from multiple IOMs to avoid potential command "
                      "timeouts.\n",
                      "If you want to proceed, press 'Y' or 'y': "});
}

// Sends one command and prints its reply; a failed send or read says so
// rather than looking like an empty reply. 0 when the reply was printed.
int send_and_print(vdx_dev& device, std::string_view command) {
    vdx_error error{};
    if (send_cli_command(&error, device, command) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command could not be sent to the enclosure\n");
        return 1;
    }
    const cli_reply reply = read_cli_reply(&error, device, kCliDisplayAllocation, print_cli_line);
    if (!reply.read) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The reply could not be read from the enclosure\n");
        return 1;
    }
    if (reply.cut) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The reply of the enclosure was cut short\n");
        return 1;
    }
    return 0;
}

int clear_counters(vdx_dev& device, std::span<const char* const> series) {
    if (series.empty()) return not_supported();
    unsigned failed = 0;
    for (const char* command : series) {
        vdx_error error{};
        failed += send_cli_command(&error, device, command) != 0;
    }
    if (failed != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: %u of the %u commands to clear the err_cnts values could not be sent\n",
                      failed, static_cast<unsigned>(series.size()));
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Commands have been sent to clear all the values for err_cnts\n");
    return 0;
}

int read_counters(vdx_dev& device, std::span<const counter_read> series) {
    if (series.empty()) return not_supported();
    for (const auto& entry : series) {
        CONSOLE_PRINT(kVerbosityNormal, "%s", entry.heading);
        send_and_print(device, entry.command);
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
    return 0;
}

bool has_iom_counters(const enclosure_target& target) {
    return (target.product_code == kProductOpalRidge || target.product_code == kProductMtAlder) &&
           !target.multi_tenant;
}

void print_help(std::span<const cli_command_rule> table) {
    CONSOLE_PRINT(kVerbosityNormal, "\nList of commands available for this platform:\n\n");
    for (const auto& rule : table) CONSOLE_PRINT(kVerbosityNormal, "%s", cli_rule_help_line(rule).c_str());
}

// Filters, confirms, sends and prints: 0 when sent (or the list shown), 1
// when refused, cancelled or not delivered.
int send_command(vdx_dev& device, const enclosure_target& target, std::string_view command) {
    CONSOLE_PRINT(kVerbosityDebug, "send_command: \"%.*s\"\n", static_cast<int>(command.size()), command.data());
    const std::span<const cli_command_rule> table = cli_filter_table(target);
    if (table.empty()) return not_supported();
    if (command == "help") {
        print_help(table);
        return 0;
    }
    if (!cli_command_allowed(target, command)) return not_supported();
    if (command.starts_with("iom ") && !iom_confirmed()) return 1;
    if (command.find("zonecfg disable") != std::string_view::npos &&
        !confirmed({"As a result of the \"zonecfg disable\", the enclosure may go offline for a period of time.\n",
                    "Please ensure this is done during a maintenance window.\n",
                    "Press 'Y' or 'y' if you want to continue: "}))
        return 1;
    if (command.find("show autosync") != std::string_view::npos &&
        !firmware_version_equals(target, kFwGateRcliExact) && !firmware_version_at_least(target, kFwGate3000))
        return not_supported();
    if (command == "iom show cable" && (target.multi_tenant || !firmware_version_at_least(target, kFwGate3000)))
        return not_supported();
    return send_and_print(device, command);
}

int rcli_run(target_list& targets) {
    const std::string_view command = g_rcli.command;
    for_each_enclosure(targets, [&](vdx_dev& device, const enclosure_target& target) {
        CONSOLE_PRINT(kVerbosityDebug, "rcli cmd: \"%s\"\n", g_rcli.command);
        if (!target.extended_support) {
            print_product_not_supported();
        } else if (command == "clear err_cnts") {
            clear_counters(device, clear_series(target.product_code));
        } else if (command == "read err_cnts") {
            read_counters(device, read_series(target.product_code));
        } else if (command == "iom clear err_cnts" || command == "iom read err_cnts") {
            if (!has_iom_counters(target)) {
                not_supported();
            } else if (iom_confirmed()) {
                if (command == "iom clear err_cnts")
                    clear_counters(device, kClearIom);
                else
                    read_counters(device, kReadIom);
            }
        } else {
            send_command(device, target, command);
        }
    });
    return 0;
}

}  // namespace

extern constinit const operation kRcliOperation{
    .code = 7,
    .keyword = "rcli",
    .summary = "display detailed data about the enclousure and components",
    .parse = [](std::span<const char* const> args) { return rcli_parse_args(g_rcli, args); },
    .usage = rcli_usage,
    .run = rcli_run,
};

}  // namespace enctl
