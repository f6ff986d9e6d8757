// Option record, argument parser and usage of the show operation.
#pragma once

#include <cstdint>
#include <span>

namespace enctl {

struct show_options {
    std::uint32_t handles;  // 0 for "show", 1 for "show handles"
};

// Clears the record; no argument or exactly "handles" gives 0, anything else 1
// (the caller prints the usage).
int show_parse_args(show_options& options, std::span<const char* const> args);
void show_usage();

}  // namespace enctl
