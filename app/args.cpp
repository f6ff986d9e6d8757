#include "app/args.h"

#include <cstring>
#include <new>
#include <string_view>

#include "basekit/console.h"
#include "basekit/trace.h"
#include "rest/http_args.h"

namespace enctl {

namespace {

using args_view = std::span<const char* const>;

// In ascending code order: the general usage walks this table.
constexpr operation_entry kOperations[] = {
    {kOperationDiag, "diag", "    diag       display, set, and clear diagnostic page data\n",
     [](enctl_run_state& s, args_view a) { return diag_parse_args(s.diag, a); }, diag_usage},
    {kOperationFw, "fw", "    fw         firmware related operations\n",
     [](enctl_run_state& s, args_view a) { return fw_parse_args(s.fw, a); }, fw_usage},
    {kOperationGetlog, "getlog", "    getlog     capture various types of log data\n",
     [](enctl_run_state& s, args_view a) { return getlog_parse_args(s.getlog, a); }, getlog_usage},
    {kOperationHttp, "http", nullptr,
     [](enctl_run_state& s, args_view a) { return http_parse_args(s.http, a); }, http_usage},
    {kOperationIom, "iom", "    iom        display and set IOM configuration\n",
     [](enctl_run_state& s, args_view a) { return iom_parse_args(s.iom, a); }, iom_usage},
    {kOperationRcli, "rcli", "    rcli       display detailed data about the enclousure and components\n",
     [](enctl_run_state& s, args_view a) { return rcli_parse_args(s.rcli, a); }, rcli_usage},
    {kOperationShow, "show", "    show       scan SEP devices and display the product or device data\n",
     [](enctl_run_state& s, args_view a) { return show_parse_args(s.show, a); }, show_usage},
    {kOperationVersion, "version", nullptr, nullptr, nullptr},
    {kOperationZone, "zone", "    zone       display and configure zones\n",
     [](enctl_run_state& s, args_view a) { return zone_parse_args(s.zone, a); }, zone_usage},
};

constexpr std::string_view kHttpPrefix = "http=";

// The operation selected by an exact keyword (not http, which is selected by
// its "http=" word).
const operation_entry* find_keyword(std::string_view word) {
    for (const auto& entry : kOperations)
        if (entry.code != kOperationHttp && word == entry.keyword) return &entry;
    return nullptr;
}

void enable_debug() {
    static bool sink_registered = false;
    g_console_verbosity = kVerbosityDebug;
    g_trace_level = kTraceDevice;
    g_trace_enter_exit = 1;
    if (!sink_registered) {
        trace_register_sink(trace_sink_stdout);
        sink_registered = true;
    }
    CONSOLE_PRINT(kVerbosityDebug, "enabled debug\n");
}

}  // namespace

const operation_entry* find_operation(std::uint32_t code) {
    for (const auto& entry : kOperations)
        if (entry.code == code) return &entry;
    return nullptr;
}

int add_target(enctl_run_state& state, const char* name) {
    CONSOLE_PRINT(kVerbosityDebug, "add target %s\n", name);
    if (state.target_names.size() >= kMaxTargets) {
        CONSOLE_PRINT(kVerbosityOom, "maximum of %u targets are supported\n", static_cast<unsigned>(kMaxTargets));
        return 1;
    }
    try {
        state.target_names.emplace_back(name);
    } catch (const std::bad_alloc&) {
        CONSOLE_PRINT(kVerbosityOom, "out of memory\n");
        CONSOLE_PRINT(kVerbosityDebug, "could not allocate %u bytes for target %s\n",
                      static_cast<unsigned>(std::strlen(name) + 1), name);
        return 1;
    }
    return 0;
}

int enctl_parse_args(enctl_run_state& state, std::span<const char* const> argv) {
    state = enctl_run_state{};
    try {
        state.target_names.reserve(kMaxTargets);
    } catch (const std::bad_alloc&) {
        CONSOLE_PRINT(kVerbosityOom, "out of memory\n");
        CONSOLE_PRINT(kVerbosityDebug, "could not allocate %u bytes for targets\n",
                      static_cast<unsigned>(kMaxTargets * sizeof(char*)));
        return 1;
    }
    g_trace_level = 0;
    g_trace_enter_exit = 0;
    if (argv.size() < 2) return 1;

    bool help = false;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string_view word = argv[i];
        if (word == "debug") {
            enable_debug();
            continue;
        }
        if (word == "help") {
            help = true;
            CONSOLE_PRINT(kVerbosityDebug, "add op help\n");
            continue;
        }
        if (word.starts_with(kHttpPrefix)) {
            // The http operation talks to one enclosure over the network: it
            // takes its address, not device targets.
            state.operation_code = kOperationHttp;
            CONSOLE_PRINT(kVerbosityDebug, "add op http\n");
            if (help) return 1;
            if (!state.target_names.empty()) {
                CONSOLE_PRINT(kVerbosityNormal, "ERROR: the http operation does not take target devices\n\n");
                return 1;
            }
            return http_parse_args(state.http, argv.subspan(i));
        }
        if (const operation_entry* operation = find_keyword(word)) {
            state.operation_code = operation->code;
            CONSOLE_PRINT(kVerbosityDebug, "add op %s\n", operation->keyword);
            if (help) return 1;
            if (!operation->parse) return 0;  // version takes no arguments
            return operation->parse(state, argv.subspan(i + 1));
        }
        if (add_target(state, argv[i]) != 0) return 1;
    }
    return 1;
}

void enctl_usage() {
    CONSOLE_PRINT(kVerbosityNormal, "enctl usage:\n");
    CONSOLE_PRINT(kVerbosityNormal, "enctl [target [...]] operation [operation argument [...]]\n");
    CONSOLE_PRINT(kVerbosityNormal, "    [target] - device path (ie: SCSI1:4,64,0)\n");
    CONSOLE_PRINT(kVerbosityNormal, "               up to 128 targets may be specified\n");
    CONSOLE_PRINT(kVerbosityNormal, "               if no targets are specified, all detected devices are targeted\n");
    CONSOLE_PRINT(kVerbosityNormal, "    operation - operation to execute\n");
    CONSOLE_PRINT(kVerbosityNormal, "    [operation argument] - argument specific to given operation\n");
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    CONSOLE_PRINT(kVerbosityNormal, "The following operations are supported:\n");
    for (const auto& entry : kOperations)
        if (entry.summary) CONSOLE_PRINT(kVerbosityNormal, "%s", entry.summary);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void print_operation_usage(std::uint32_t code) {
    const operation_entry* operation = find_operation(code);
    if (operation && operation->usage) {
        operation->usage();
    } else {
        enctl_usage();
    }
}

}  // namespace enctl
