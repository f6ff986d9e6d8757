#include "app/args.h"

#include <cstring>
#include <new>
#include <string_view>

#include "basekit/console.h"
#include "basekit/trace.h"

namespace enctl {

namespace {

// The operation a word selects: its exact keyword, or "<keyword>=..." for an
// addressed operation. Keywords are case-sensitive.
const operation* find_operation(std::string_view word) {
    for (const operation* candidate : operations()) {
        const std::string_view keyword = candidate->keyword;
        if (!candidate->addressed && word == keyword) return candidate;
        if (candidate->addressed && word.starts_with(keyword) && word.substr(keyword.size()).starts_with('='))
            return candidate;
    }
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

// The chosen operation's own parse of the words after its word (from its word
// on when it is addressed).
int parse_operation(enctl_run_state& state, std::span<const char* const> rest, bool help) {
    const operation& chosen = *state.chosen;
    CONSOLE_PRINT(kVerbosityDebug, "add op %s\n", chosen.keyword);
    if (help) return 1;
    if (chosen.addressed) {
        if (!state.target_names.empty()) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: the %s operation does not take target devices\n\n",
                          chosen.keyword);
            return 1;
        }
        return chosen.parse(rest);
    }
    return chosen.parse ? chosen.parse(rest.subspan(1)) : 0;
}

}  // namespace

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
        } else if (word == "help") {
            help = true;
            CONSOLE_PRINT(kVerbosityDebug, "add op help\n");
        } else if ((state.chosen = find_operation(word)) != nullptr) {
            return parse_operation(state, argv.subspan(i), help);
        } else if (add_target(state, argv[i]) != 0) {
            return 1;
        }
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
    for (const operation* listed : operations())
        if (listed->summary) CONSOLE_PRINT(kVerbosityNormal, "    %-10s %s\n", listed->keyword, listed->summary);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void print_operation_usage(const operation* chosen) {
    if (chosen && chosen->usage) {
        chosen->usage();
    } else {
        enctl_usage();
    }
}

}  // namespace enctl
