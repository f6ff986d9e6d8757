// Option record, argument parser and usage of the diag operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

inline constexpr std::size_t kDiagTextSize = 256;

// Exactly one flag is set by a successful parse.
struct diag_options {
    std::uint32_t show_nickname;     // "nickname"
    std::uint32_t set_nickname;      // "nickname=" with or without text
    std::uint32_t clear_event_log;   // "clear-eventlog"
    std::uint32_t clear_crash_log;   // "clear-crashevent"
    std::uint32_t reset_enclosure;   // "reset-enc"
    std::uint32_t reset_iom_a;       // "reset-iom-a"
    std::uint32_t reset_iom_b;       // "reset-iom-b"
    std::uint32_t show_timestamp;    // "timestamp"
    std::uint32_t set_timestamp;     // "timestamp=" with text
    std::uint32_t enable_autosync;   // "autosync-enable"
    std::uint32_t disable_autosync;  // "autosync-disable"
    char nickname[kDiagTextSize];    // text after "nickname="
    char timestamp[kDiagTextSize];   // text after "timestamp="
};

// 0 when the request is complete, 1 otherwise (the caller prints the usage).
int diag_parse_args(diag_options& options, std::span<const char* const> args);
void diag_usage();

}  // namespace enctl
