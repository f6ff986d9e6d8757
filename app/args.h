// The command line of enctl: targets, "debug", "help", one operation keyword
// and that operation's own arguments; the general usage.
#pragma once

#include <cstdint>
#include <span>

#include "app/run.h"

namespace enctl {

// One operation of the command line.
struct operation_entry {
    std::uint32_t code;
    const char* keyword;  // the word that selects it ("http" is selected by "http=<address>")
    const char* summary;  // its line in the general usage, or nullptr
    // Fills the operation's option record from the words after its keyword
    // (for http: from the "http=" word on); nullptr for version.
    int (*parse)(enctl_run_state& state, std::span<const char* const> args);
    void (*usage)();  // nullptr: the general usage
};

// The entry of an operation code, or nullptr.
const operation_entry* find_operation(std::uint32_t code);

// Parses the whole argument vector (argv[0] included): 0 run, 1 print the
// usage of the chosen operation (print_operation_usage), 2 stop.
int enctl_parse_args(enctl_run_state& state, std::span<const char* const> argv);

// Appends a private copy of `name` to the target table: 0, or 1 when the
// table is full or memory is short.
int add_target(enctl_run_state& state, const char* name);

// The general usage.
void enctl_usage();
// The usage of an operation; the general usage for none or version.
void print_operation_usage(std::uint32_t code);

}  // namespace enctl
