#include "tests/support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

extern char** environ;

namespace enctl::testing {

namespace {

struct pipe_pair {
    int fd[2] = {-1, -1};
    ~pipe_pair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    void close_end(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
};

std::vector<std::string> build_environment(const process_options& options) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& name : options.unset_env) env.erase(name);
    for (const auto& [name, value] : options.env) env[name] = value;
    std::vector<std::string> out;
    out.reserve(env.size());
    for (const auto& [name, value] : env) out.push_back(name + "=" + value);
    return out;
}

}  // namespace

process_result run_process(const std::vector<std::string>& argv, const process_options& options) {
    process_result result;
    if (argv.empty()) return result;
    pipe_pair in, out, err;
    if (::pipe2(in.fd, O_CLOEXEC) != 0 || ::pipe2(out.fd, O_CLOEXEC) != 0 ||
        ::pipe2(err.fd, O_CLOEXEC) != 0)
        return result;

    std::vector<std::string> env_strings = build_environment(options);
    std::vector<char*> env_ptrs;
    for (auto& s : env_strings) env_ptrs.push_back(s.data());
    env_ptrs.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> arg_ptrs;
    for (auto& s : args) arg_ptrs.push_back(s.data());
    arg_ptrs.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0) {
        ::dup2(in.fd[0], 0);
        ::dup2(out.fd[1], 1);
        ::dup2(err.fd[1], 2);
        if (!options.working_dir.empty() && ::chdir(options.working_dir.c_str()) != 0) ::_exit(126);
        if (options.run_as_gid >= 0 && ::setgid(static_cast<gid_t>(options.run_as_gid)) != 0) ::_exit(126);
        if (options.run_as_uid >= 0) {
            ::setgroups(0, nullptr);
            if (::setuid(static_cast<uid_t>(options.run_as_uid)) != 0) ::_exit(126);
        }
        ::execve(arg_ptrs[0], arg_ptrs.data(), env_ptrs.data());
        ::_exit(127);
    }
    in.close_end(0);
    out.close_end(1);
    err.close_end(1);

    // Feed standard input, then close it, while draining both outputs.
    std::size_t written = 0;
    const std::string& input = options.stdin_text;
    if (input.empty()) in.close_end(1);
    ::signal(SIGPIPE, SIG_IGN);
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3];
        int n = 0;
        int idx_out = -1, idx_err = -1, idx_in = -1;
        if (out.fd[0] >= 0) { fds[n] = {out.fd[0], POLLIN, 0}; idx_out = n++; }
        if (err.fd[0] >= 0) { fds[n] = {err.fd[0], POLLIN, 0}; idx_err = n++; }
        if (in.fd[1] >= 0) { fds[n] = {in.fd[1], POLLOUT, 0}; idx_in = n++; }
        if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char buf[65536];
        auto drain = [&](int idx, pipe_pair& p, std::string& sink) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            const ssize_t r = ::read(p.fd[0], buf, sizeof buf);
            if (r > 0) sink.append(buf, static_cast<std::size_t>(r));
            else if (r == 0 || errno != EINTR) p.close_end(0);
        };
        drain(idx_out, out, result.out);
        drain(idx_err, err, result.err);
        if (idx_in >= 0 && (fds[idx_in].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t w = ::write(in.fd[1], input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<std::size_t>(w);
            if (w < 0 || written >= input.size()) in.close_end(1);
        }
    }
    in.close_end(1);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string built_program(const std::string& name) {
    const char* dir = std::getenv("ENCTL_BINARY_DIR");
    return std::string(dir && *dir ? dir : ENCTL_BINARY_DIR) + "/" + name;
}

namespace {

// An empty filesystem root: enctl run by a test sees no device unless the test
// points it at a lab. The suite must never send commands to a real enclosure.
struct empty_root {
    std::string dir;
    empty_root() {
        char path[] = "/tmp/enctl-empty-root-XXXXXX";
        const char* made = ::mkdtemp(path);
        dir = made ? made : "/nonexistent-enctl-root";
    }
    ~empty_root() { ::rmdir(dir.c_str()); }
};

const std::string& empty_sysroot() {
    static const empty_root root;
    return root.dir;
}

}  // namespace

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
