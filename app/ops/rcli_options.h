// Option record, argument parser and usage of the rcli operation.
#pragma once

#include <cstddef>
#include <span>

namespace enctl {

// Room of the command string, terminator included.
inline constexpr std::size_t kRcliCommandSize = 256;

struct rcli_options {
    char command[kRcliCommandSize];  // 1 to 255 characters
};

// 0 when exactly one argument of 1 to 255 characters was stored, else 1.
int rcli_parse_args(rcli_options& options, std::span<const char* const> args);
void rcli_usage();

}  // namespace enctl
