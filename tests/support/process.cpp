#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "basekit/process.h"
#include "sim/lab.h"
#include "sim/sysfs_tree.h"

namespace enctl::testing {

namespace {

// Long enough for any program of the suite under the sanitizers; a hung one
// fails its test instead of holding up the whole run.
constexpr std::uint64_t kProgramTimeoutMs = 300000;

// A fresh folder under /tmp, removed with everything in it at exit.
struct scratch_dir {
    std::string dir;
    scratch_dir() {
        char path[] = "/tmp/enctl-root-XXXXXX";
        const char* made = ::mkdtemp(path);
        dir = made ? made : "/nonexistent-enctl-root";
    }
    ~scratch_dir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// An empty filesystem root: enctl run by a test sees no device unless the test
// points it at a lab. The suite must never send commands to a real enclosure.
const std::string& empty_sysroot() {
    static const scratch_dir root;
    return root.dir;
}

}  // namespace

process_result run_process(const std::vector<std::string>& argv, const process_options& options) {
    process_request request;
    if (options.run_as_uid >= 0 || options.run_as_gid >= 0) {
        request.argv = {"/usr/bin/setpriv", "--clear-groups"};
        if (options.run_as_uid >= 0) request.argv.push_back("--reuid=" + std::to_string(options.run_as_uid));
        if (options.run_as_gid >= 0) request.argv.push_back("--regid=" + std::to_string(options.run_as_gid));
    }
    request.argv.insert(request.argv.end(), argv.begin(), argv.end());
    request.stdin_text = options.stdin_text;
    request.env = options.env;
    request.unset_env = options.unset_env;
    request.working_dir = options.working_dir;
    request.timeout_ms = kProgramTimeoutMs;
    const auto ran = enctl::run_process(request);
    process_result result;
    result.out = ran.out;
    result.err = ran.started ? ran.err : ran.error;
    if (!ran.started)
        result.exit_code = 127;
    else if (!ran.timed_out)
        result.exit_code = ran.exit_code;
    return result;
}

std::string built_program(const std::string& name) {
    const char* dir = std::getenv("ENCTL_BINARY_DIR");
    return std::string(dir && *dir ? dir : ENCTL_BINARY_DIR) + "/" + name;
}

const std::string& empty_lab_root() {
    static const scratch_dir scratch;
    static const std::string root = [] {
        std::string error;
        const std::string path = scratch.dir + "/root";
        if (!sim::write_sysfs_tree(sim::lab(sim::lab_description{}), path, error)) ADD_FAILURE() << error;
        return path;
    }();
    return root;
}

process_result run_enctl(const std::vector<std::string>& args, const process_options& options) {
    std::vector<std::string> argv{built_program("enctl")};
    argv.insert(argv.end(), args.begin(), args.end());
    process_options hermetic = options;
    bool has_root = false;
    for (const auto& [name, value] : options.env) has_root = has_root || name == "ENCTL_SYSROOT";
    if (!has_root) hermetic.env.emplace_back("ENCTL_SYSROOT", empty_sysroot());
    return run_process(argv, hermetic);
}

}  // namespace enctl::testing
