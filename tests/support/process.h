// Runs a program (no shell) with arguments, standard input text and extra
// environment through the process runner, and returns what it printed and its
// exit code. Tests of the real enctl binary go through run_enctl.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace enctl::testing {

struct process_result {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when the program did not exit normally
};

struct process_options {
    std::string stdin_text;
    // NAME=value pairs added to (or replacing in) the inherited environment.
    std::vector<std::pair<std::string, std::string>> env;
    // Names removed from the inherited environment.
    std::vector<std::string> unset_env;
    // When non-negative, the program runs as this user and group (through
    // setpriv, without supplementary groups).
    int run_as_uid = -1;
    int run_as_gid = -1;
    std::string working_dir;
};

process_result run_process(const std::vector<std::string>& argv, const process_options& options = {});

// Path of a program built beside enctl (the build directory).
std::string built_program(const std::string& name);

// Runs the built enctl with the given arguments. Unless the options name an
// ENCTL_SYSROOT, enctl sees an empty device root and no device at all.
process_result run_enctl(const std::vector<std::string>& args, const process_options& options = {});

// A device root written by the lab's tree writer for a lab without devices:
// enctl sees no device, and honours ENCTL_VIRTUAL_CLOCK as under any lab.
const std::string& empty_lab_root();

}  // namespace enctl::testing
