// How getlog runs outside programs (sg3_utils, smartctl, the system's own
// reporting tools, the program itself): through the process runner of
// basekit, an argument vector and never a shell, standard input the null
// device, standard output either captured or written into a new file of the
// log folder, and a time-out that ends the program and everything it started.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace enctl {

// Exit codes of the runner besides the program's own.
inline constexpr std::uint32_t kCommandNotStarted = 0xFFFFFFFF;
inline constexpr std::uint32_t kCommandTimedOut = 0xFFFFFFFE;
inline constexpr std::uint32_t kDefaultCommandTimeout = 60;

// Time-out of every command, seconds; getlog stores its "timeout=" value here.
extern std::uint32_t g_command_timeout;

struct command_line {
    std::vector<std::string> argv{};  // argv[0]: the program, looked up in PATH when it has no "/"
    // Where standard output goes: captured (empty) or into this new file
    // (nothing already there is written through).
    std::string output_file{};
    bool merge_errors = false;  // standard error goes with standard output (else it is discarded)
    std::string working_dir{};  // empty: this process's
};

// The command as the messages show it: its words, each quoted when it holds
// blanks, quotes or shell characters, then "> file" (and "2>&1").
std::string command_text(const command_line& command);

// Runs the command for at most `timeout_seconds` (plus up to one second) and
// returns its exit code, kCommandNotStarted or kCommandTimedOut; `out` gets
// what it wrote to standard output (and standard error) when that is
// captured. A program that is not installed is noted in the log folder
// (missing_tools.txt).
std::uint32_t run_command_capture(const command_line& command, std::string& out, std::uint32_t timeout_seconds);

// The same with g_command_timeout, the output discarded; prints
// "command: ..." (debug), "Command failed (%u): ..." (debug) and
// "Command timed out: ..." (normal).
std::uint32_t run_command(const command_line& command);

}  // namespace enctl
