// The command line of enctl: targets, "debug", "help", one operation word
// and that operation's own arguments; the general usage.
#pragma once

#include <span>

#include "app/run.h"

namespace enctl {

// Parses the whole argument vector (argv[0] included): 0 run, 1 print the
// usage of the chosen operation (print_operation_usage), 2 stop.
int enctl_parse_args(enctl_run_state& state, std::span<const char* const> argv);

// Appends a private copy of `name` to the target table: 0, or 1 when the
// table is full or memory is short.
int add_target(enctl_run_state& state, const char* name);

// The general usage.
void enctl_usage();
// The usage of an operation; the general usage for none or one without its own.
void print_operation_usage(const operation* chosen);

}  // namespace enctl
