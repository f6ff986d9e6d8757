// Option record, argument parser and usage of the getlog operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

inline constexpr std::size_t kGetlogPackDirectorySize = 1024;
inline constexpr std::int32_t kGetlogDefaultTimeout = 60;

struct getlog_options {
    std::uint32_t common;           // standard SES pages and INQUIRY data
    std::uint32_t vendor;           // vendor pages, expander logs, remote command output
    std::uint32_t vendor_iom;       // the IOM remote command list
    std::uint32_t system_light;     // light host logs
    std::uint32_t system_heavy;     // heavy host logs
    std::uint32_t pack;             // pack the log folder into a zip file
    std::uint32_t drives;           // per-drive logs after a confirmation prompt
    std::uint32_t drives_noprompt;  // per-drive logs without a prompt
    std::int32_t timeout;           // seconds per external command
    std::uint32_t health;           // HTML health report per enclosure
    std::uint32_t device_handles;   // "show handles" output per enclosure
    std::uint32_t own_displays;     // the program's own show and iom output
    char pack_directory[kGetlogPackDirectorySize];  // text after "pack="
};

// 0: run; 1: the caller prints the getlog usage; 2: an error message was
// printed, stop without usage.
int getlog_parse_args(getlog_options& options, std::span<const char* const> args);
void getlog_usage();

}  // namespace enctl
