// The process runner: starts an outside program (sg_ses, smartctl, ...) from an
// argument vector, never through a shell, feeds it optional input, collects
// or redirects what it prints, and ends it and everything it started when it
// outlives its time-out. The time-out is measured and waited through the clock
// (basekit/clock.h).
//
// run_process goes through a replaceable runner: the platform's own
// (basekit/linux: posix_spawn, the child in a process group of its own;
// basekit/windows: CreatePipe and CreateProcess, the child in a job object)
// unless a test
// installed another with set_process_runner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace enctl {

// Where the child's standard error goes.
enum class error_output {
    capture,  // into process_result::err
    merge,    // wherever standard output goes (2>&1)
    discard,
};

struct process_request {
    // argv[0] is the program: a path, or a name looked up in PATH.
    std::vector<std::string> argv;
    // Written to the child's standard input, which is then closed; when empty
    // standard input is the null device.
    std::string stdin_text;
    // NAME=value pairs added to (or replacing in) the inherited environment,
    // and names removed from it.
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::string> unset_env;
    // Empty: standard output is captured into process_result::out. Otherwise
    // the file it is written to, created fresh (an existing file or link
    // there is refused).
    std::string output_file;
    error_output errors = error_output::capture;
    // Empty: the caller's working directory.
    std::string working_dir;
    // The child and its descendants are ended when they run longer than this.
    std::uint64_t timeout_ms = 30000;
    // At most this many bytes of each captured stream are kept; the rest is
    // read and dropped, so a talkative child never blocks on a full pipe.
    std::size_t capture_limit = std::size_t{16} << 20;
};

struct process_result {
    bool started = false;    // false: `error` says why, nothing ran
    bool timed_out = false;  // ended by the runner at the time-out
    int exit_code = -1;      // the child's exit status when it exited by itself
    int signal = 0;          // the signal that ended it otherwise
    bool truncated = false;  // a captured stream went past capture_limit
    std::string out;
    std::string err;
    std::string error;
    int error_number = 0;  // why nothing ran, as an errno value (ENOENT: no such program)
};

class process_runner {
public:
    virtual ~process_runner() = default;
    virtual process_result run(const process_request& request) = 0;
};

// The platform's runner (basekit/linux, basekit/windows).
process_runner& platform_process_runner();

// The runner in use; set_process_runner installs another (tests), nullptr
// restores the platform's. Not owned.
process_runner& get_process_runner();
void set_process_runner(process_runner* runner);

inline process_result run_process(const process_request& request) { return get_process_runner().run(request); }

}  // namespace enctl
