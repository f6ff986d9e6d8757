// The process runner on Linux: posix_spawn (a PATH lookup when the program
// has no slash), the child leading a process group of its own so that a
// time-out ends everything it started. Between passes the runner waits up to
// 1 ms for output and then sleeps 1 ms on the clock, so with a virtual clock
// a time-out passes in about as much real time as it is long: a child that
// works is never cut short by a clock that runs ahead.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "basekit/clock.h"
#include "basekit/process.h"

extern char** environ;

namespace enctl {

namespace {

constexpr std::uint64_t kPassMs = 1;
constexpr std::uint64_t kReapGraceMs = 5000;
// Reads of one stream per pass: a child that writes without pause still lets
// the runner look at the clock.
constexpr int kReadsPerPass = 16;

class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() { reset(); }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

struct pipe_ends {
    unique_fd read;
    unique_fd write;
    bool make() {
        int fd[2];
        if (::pipe2(fd, O_CLOEXEC) != 0) return false;
        read.reset(fd[0]);
        write.reset(fd[1]);
        return true;
    }
};

struct spawn_setup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    spawn_setup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~spawn_setup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;
};

std::string_view entry_name(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// The inherited environment without the names removed or replaced, then the
// additions (a later addition of the same name wins).
std::vector<std::string> child_environment(const process_request& request) {
    auto given_later = [&](std::string_view name, std::size_t from) {
        for (std::size_t i = from; i < request.env.size(); ++i)
            if (request.env[i].first == name) return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view name = entry_name(*e);
        bool dropped = given_later(name, 0);
        for (const auto& unset : request.unset_env) dropped = dropped || unset == name;
        if (!dropped) env.emplace_back(*e);
    }
    for (std::size_t i = 0; i < request.env.size(); ++i) {
        const auto& [name, value] = request.env[i];
        if (!given_later(name, i + 1)) env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Writes to the child's standard input without letting a closed pipe end this
// process: SIGPIPE is blocked for the write and one it raised is taken back.
ssize_t write_without_sigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipe_set, old_set, pending;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
    const ssize_t n = ::write(fd, data, size);
    const int saved_errno = errno;
    if (n < 0 && saved_errno == EPIPE && !was_pending) {
        const timespec zero{};
        sigtimedwait(&pipe_set, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
    errno = saved_errno;
    return n;
}

// The parent's ends of the child's pipes while it runs.
class child_streams {
public:
    child_streams(const process_request& request, process_result& result) : request_(request), result_(result) {}

    unique_fd out, err, in;

    // Waits up to `wait_ms` for any stream, then reads what is there and
    // writes what the child takes.
    void pass(int wait_ms) {
        pollfd fds[3];
        nfds_t n = 0;
        for (unique_fd* f : {&out, &err})
            if (f->open()) fds[n++] = {f->get(), POLLIN, 0};
        if (in.open()) fds[n++] = {in.get(), POLLOUT, 0};
        if (::poll(fds, n, wait_ms) <= 0) return;
        if (out.open()) read_into(out, result_.out);
        if (err.open()) read_into(err, result_.err);
        if (in.open()) feed();
    }

private:
    void read_into(unique_fd& fd, std::string& sink) {
        char buffer[65536];
        for (int i = 0; i < kReadsPerPass; ++i) {
            const ssize_t r = ::read(fd.get(), buffer, sizeof buffer);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno == EAGAIN) return;
            if (r <= 0) {
                fd.reset();
                return;
            }
            const std::size_t got = static_cast<std::size_t>(r);
            const std::size_t room = request_.capture_limit - std::min(request_.capture_limit, sink.size());
            sink.append(buffer, std::min(room, got));
            if (got > room) result_.truncated = true;
        }
    }

    void feed() {
        const std::string& text = request_.stdin_text;
        const ssize_t w = write_without_sigpipe(in.get(), text.data() + written_, text.size() - written_);
        if (w > 0) written_ += static_cast<std::size_t>(w);
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || written_ >= text.size()) in.reset();
    }

    const process_request& request_;
    process_result& result_;
    std::size_t written_ = 0;
};

bool child_exited(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

// Reaps the child. Once killed it gets kReapGraceMs to go: a process inside a
// device request ends only when the request does, and the runner does not
// wait for that.
bool reap(pid_t pid, int& status, clock_source& clock) {
    const std::uint64_t start = clock.now_ms();
    for (;;) {
        const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
        if (reaped == pid) return true;
        if ((reaped < 0 && errno != EINTR) || clock.now_ms() - start >= kReapGraceMs) return false;
        ::poll(nullptr, 0, static_cast<int>(kPassMs));
        clock.sleep_ms(kPassMs);
    }
}

std::string failure(std::string_view what, int error) { return std::string(what) + ": " + std::strerror(error); }

// The pipes and the output file of one child, both ends.
struct child_plumbing {
    pipe_ends in, out, err;
    unique_fd file;

    // False with the result's error set when a pipe or the output file cannot be made.
    bool make(const process_request& request, process_result& result) {
        if (!request.output_file.empty()) {
            const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
            file.reset(::open(request.output_file.c_str(), flags, 0644));
            if (!file.open()) {
                result.error_number = errno;
                result.error = failure(request.output_file, errno);
                return false;
            }
        }
        if ((!request.stdin_text.empty() && !in.make()) || (!file.open() && !out.make()) ||
            (request.errors == error_output::capture && !err.make())) {
            result.error_number = errno;
            result.error = failure("pipe", errno);
            return false;
        }
        return true;
    }

    // Standard input, output and error of the child, and its directory.
    void describe(const process_request& request, posix_spawn_file_actions_t* actions) const {
        if (in.read.open()) posix_spawn_file_actions_adddup2(actions, in.read.get(), 0);
        else posix_spawn_file_actions_addopen(actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(actions, file.open() ? file.get() : out.write.get(), 1);
        if (request.errors == error_output::capture) posix_spawn_file_actions_adddup2(actions, err.write.get(), 2);
        else if (request.errors == error_output::merge) posix_spawn_file_actions_adddup2(actions, 1, 2);
        else posix_spawn_file_actions_addopen(actions, 2, "/dev/null", O_WRONLY, 0);
        if (!request.working_dir.empty()) posix_spawn_file_actions_addchdir_np(actions, request.working_dir.c_str());
    }

    // After the start: the child's ends are closed, the parent's handed over.
    void hand_over(child_streams& streams) {
        in.read.reset();
        out.write.reset();
        err.write.reset();
        file.reset();
        streams.out.reset(out.read.release());
        streams.err.reset(err.read.release());
        streams.in.reset(in.write.release());
        for (unique_fd* f : {&streams.out, &streams.err, &streams.in})
            if (f->open()) set_nonblocking(f->get());
    }
};

// Starts the child in a process group of its own, with no blocked signals and
// the default action for SIGPIPE whatever this process does with them. 0 or
// the error number.
int spawn(const process_request& request, const child_plumbing& plumbing, pid_t& pid) {
    spawn_setup setup;
    plumbing.describe(request, &setup.actions);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    std::vector<std::string> args = request.argv;
    std::vector<std::string> env = child_environment(request);
    return ::posix_spawnp(&pid, args[0].c_str(), &setup.actions, &setup.attributes, pointers(args).data(),
                          pointers(env).data());
}

class linux_process_runner final : public process_runner {
public:
    process_result run(const process_request& request) override;
};

process_result linux_process_runner::run(const process_request& request) {
    process_result result;
    if (request.argv.empty()) {
        result.error = "no program given";
        return result;
    }
    child_plumbing plumbing;
    if (!plumbing.make(request, result)) return result;
    pid_t pid = -1;
    if (const int rc = spawn(request, plumbing, pid); rc != 0) {
        result.error_number = rc;
        result.error = failure(request.argv[0], rc);
        return result;
    }
    result.started = true;
    child_streams streams(request, result);
    plumbing.hand_over(streams);

    clock_source& clock = get_clock();
    const std::uint64_t start = clock.now_ms();
    for (;;) {
        streams.pass(static_cast<int>(kPassMs));
        if (child_exited(pid)) break;
        if (clock.now_ms() - start >= request.timeout_ms) {
            result.timed_out = true;
            break;
        }
        clock.sleep_ms(kPassMs);
    }
    // At the time-out the whole group goes: the child is not reaped yet, so its
    // id still names the group. What a child that exited by itself left
    // running is left alone (a daemon leaves its parent's group only after the
    // parent exits).
    if (result.timed_out) ::kill(-pid, SIGKILL);
    streams.in.reset();
    streams.pass(0);
    int status = 0;
    if (!reap(pid, status, clock)) {
        result.error = "the child did not end after SIGKILL";
        return result;
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace

process_runner& platform_process_runner() {
    static linux_process_runner runner;
    return runner;
}

}  // namespace enctl
