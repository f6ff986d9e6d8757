// One operation of enctl as the front end sees it. Each operation defines its
// descriptor next to its own code (with its option record, parser, usage and
// run) and is listed once in the table of app/operations.cpp; the entry, the
// argument parser and the run know operations only through these fields.
#pragma once

#include <cstdint>
#include <span>

#include "app/discovery/target_list.h"

namespace enctl {

// What an operation's run needs besides its own option record.
enum class operation_needs {
    nothing,  // runs right after the parse: no program context, no devices (version)
    context,  // the program context but no device discovery; runs on an empty table (http)
    devices,  // the device table, built from the targets or by discovery
};

struct operation {
    std::uint32_t code;    // operation code; the general usage lists by ascending code
    const char* keyword;   // the word that selects it, and its name in messages
    const char* summary = nullptr;  // its line in the general usage, or none
    // Selected by a word "<keyword>=<address>" instead of the bare keyword; that
    // word goes to the parser with the rest, and targets are refused, since the
    // address names the one enclosure.
    bool addressed = false;
    operation_needs needs = operation_needs::devices;
    // Clears the operation's own option record and fills it from the words
    // after the keyword: 0 run, 1 print the usage, 2 stop. nullptr: takes no
    // arguments (any words after the keyword are ignored).
    int (*parse)(std::span<const char* const> args) = nullptr;
    void (*usage)() = nullptr;  // nullptr: the general usage
    // Walks the table and returns the exit code.
    int (*run)(target_list& targets) = nullptr;
    // Questions the front end asks of the parsed option record; nullptr answers no.
    bool (*needs_one_target)() = nullptr;         // exactly one target must be named
    bool (*needs_end_devices)() = nullptr;        // disks are added to the table
    bool (*runs_without_enclosures)() = nullptr;  // run even when discovery tags no enclosure
    // The folder under which the run's log folder is named (empty or nullptr:
    // the system temporary directory).
    const char* (*log_base_dir)() = nullptr;
};

// The answer of an optional question of the descriptor.
inline bool asks(bool (*question)()) { return question != nullptr && question(); }

// Every operation, in ascending code order.
std::span<const operation* const> operations();

}  // namespace enctl
