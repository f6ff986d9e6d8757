// The process runner on Windows: CreatePipe and CreateProcessA, the child
// started suspended inside a job object so that a time-out ends everything it
// started (TerminateJobObject; TerminateProcess alone when no job can be made).
// The arguments are joined into one command line quoted by the rules the C
// runtime of the child undoes, so no argument is ever split or joined.
// The parent never blocks on a pipe: it reads only what PeekNamedPipe reports
// and writes standard input through a non-waiting pipe end. Between passes it
// waits up to 1 ms for the child and then sleeps 1 ms on the clock, as the
// Linux runner does.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <string_view>
#include <utility>

#include "basekit/clock.h"
#include "basekit/process.h"
#include "basekit/windows/command_line.h"

namespace enctl {

namespace {

constexpr std::uint64_t kPassMs = 1;
constexpr std::uint64_t kReapGraceMs = 5000;
constexpr int kReadsPerPass = 16;
constexpr int kDrainPasses = 256;
// The exit code a child ended at the time-out is given.
constexpr UINT kTimedOutExitCode = 0xFFFFFFFEu;

class unique_handle {
public:
    unique_handle() = default;
    explicit unique_handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~unique_handle() { reset(); }
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    HANDLE get() const { return h_; }
    bool open() const { return h_ != nullptr; }
    void reset(HANDLE h = nullptr) {
        if (h_) ::CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    HANDLE release() { return std::exchange(h_, nullptr); }

private:
    HANDLE h_ = nullptr;
};

std::string failure(std::string_view what, DWORD error) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = std::string(what) + ": ";
    if (n && text) {
        std::string_view t(text, n);
        while (!t.empty() && (t.back() == '\r' || t.back() == '\n' || t.back() == ' ')) t.remove_suffix(1);
        message += t;
    } else {
        message += "error " + std::to_string(error);
    }
    if (text) ::LocalFree(text);
    return message;
}

// One argument as the child's C runtime reads it back: quoted when empty or
// holding a blank or a quote, backslashes doubled before a quote and before
// the closing quote.
void append_quoted_argument(std::string& line, std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        line += arg;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

}  // namespace

std::string windows_command_line(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& arg : argv) {
        if (!line.empty()) line += ' ';
        append_quoted_argument(line, arg);
    }
    return line;
}

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The name of an environment entry; entries such as "=C:=C:\x" keep their
// leading '='.
std::string_view entry_name(std::string_view entry) { return entry.substr(0, entry.find('=', 1)); }

// The inherited environment without the names removed or replaced (names are
// compared without regard to case, as Windows does), then the additions; an
// environment block ends with an empty entry.
std::string child_environment(const process_request& request) {
    auto given_later = [&](std::string_view name, std::size_t from) {
        for (std::size_t i = from; i < request.env.size(); ++i)
            if (same_name(request.env[i].first, name)) return true;
        return false;
    };
    std::string block;
    if (char* strings = ::GetEnvironmentStringsA()) {
        for (const char* e = strings; *e; e += std::string_view(e).size() + 1) {
            const std::string_view entry(e);
            const std::string_view name = entry_name(entry);
            bool dropped = given_later(name, 0);
            for (const auto& unset : request.unset_env) dropped = dropped || same_name(unset, name);
            if (!dropped) block.append(entry) += '\0';
        }
        ::FreeEnvironmentStringsA(strings);
    }
    for (std::size_t i = 0; i < request.env.size(); ++i) {
        const auto& [name, value] = request.env[i];
        if (!given_later(name, i + 1)) (block += name + "=" + value) += '\0';
    }
    block += '\0';
    if (block.size() == 1) block += '\0';
    return block;
}

// The parent's ends of the child's pipes while it runs.
class child_streams {
public:
    child_streams(const process_request& request, process_result& result) : request_(request), result_(result) {}

    unique_handle out, err, in;

    // Reads what is there and writes what the child takes; true when
    // anything was read.
    bool pass() {
        bool got = false;
        if (out.open()) got = read_into(out, result_.out) || got;
        if (err.open()) got = read_into(err, result_.err) || got;
        if (in.open()) feed();
        return got;
    }

private:
    bool read_into(unique_handle& pipe, std::string& sink) {
        char buffer[65536];
        bool any = false;
        for (int i = 0; i < kReadsPerPass; ++i) {
            DWORD available = 0;
            if (!::PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) {
                pipe.reset();  // broken: the child and all that inherited the end are gone
                return any;
            }
            if (available == 0) return any;
            DWORD got = 0;
            const DWORD want = std::min<DWORD>(available, sizeof buffer);
            if (!::ReadFile(pipe.get(), buffer, want, &got, nullptr) || got == 0) {
                pipe.reset();
                return any;
            }
            any = true;
            const std::size_t room = request_.capture_limit - std::min(request_.capture_limit, sink.size());
            sink.append(buffer, std::min<std::size_t>(room, got));
            if (got > room) result_.truncated = true;
        }
        return any;
    }

    void feed() {
        const std::string& text = request_.stdin_text;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - written_, 4096));
        DWORD w = 0;
        const BOOL ok = ::WriteFile(in.get(), text.data() + written_, chunk, &w, nullptr);
        written_ += w;
        if (!ok || written_ >= text.size()) in.reset();
    }

    const process_request& request_;
    process_result& result_;
    std::size_t written_ = 0;
};

// The pipes and the output file of one child, both ends.
struct child_plumbing {
    unique_handle in_read, in_write, out_read, out_write, err_read, err_write, file, null_in, null_err;

    static bool make_pipe(unique_handle& read, unique_handle& write, bool child_reads) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE r = nullptr, w = nullptr;
        if (!::CreatePipe(&r, &w, &inherit, 0)) return false;
        read.reset(r);
        write.reset(w);
        // The parent's end is not inherited: the child sees end of file on its
        // input, and the parent on the output, once the other side is done.
        return ::SetHandleInformation(child_reads ? write.get() : read.get(), HANDLE_FLAG_INHERIT, 0) != 0;
    }

    static HANDLE null_device(DWORD access) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        return ::CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    }

    bool make(const process_request& request, std::string& error) {
        if (!request.output_file.empty()) {
            SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
            // CREATE_NEW fails on any existing name, a link included.
            file.reset(::CreateFileA(request.output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.open()) {
                error = failure(request.output_file, ::GetLastError());
                return false;
            }
        }
        if (request.stdin_text.empty()) null_in.reset(null_device(GENERIC_READ));
        if (request.errors == error_output::discard) null_err.reset(null_device(GENERIC_WRITE));
        if ((!request.stdin_text.empty() && !make_pipe(in_read, in_write, true)) ||
            (!file.open() && !make_pipe(out_read, out_write, false)) ||
            (request.errors == error_output::capture && !make_pipe(err_read, err_write, false))) {
            error = failure("pipe", ::GetLastError());
            return false;
        }
        if (in_write.open()) {
            DWORD mode = PIPE_NOWAIT;
            ::SetNamedPipeHandleState(in_write.get(), &mode, nullptr, nullptr);
        }
        return true;
    }

    void describe(const process_request& request, STARTUPINFOA& startup) const {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in_read.open() ? in_read.get() : null_in.get();
        startup.hStdOutput = file.open() ? file.get() : out_write.get();
        startup.hStdError = request.errors == error_output::capture ? err_write.get()
                            : request.errors == error_output::merge ? startup.hStdOutput
                                                                    : null_err.get();
    }

    void hand_over(child_streams& streams) {
        for (unique_handle* h : {&in_read, &out_write, &err_write, &file, &null_in, &null_err}) h->reset();
        streams.out.reset(out_read.release());
        streams.err.reset(err_read.release());
        streams.in.reset(in_write.release());
    }
};

class windows_process_runner final : public process_runner {
public:
    process_result run(const process_request& request) override;
};

process_result windows_process_runner::run(const process_request& request) {
    process_result result;
    if (request.argv.empty()) {
        result.error = "no program given";
        return result;
    }
    child_plumbing plumbing;
    if (!plumbing.make(request, result.error)) return result;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    plumbing.describe(request, startup);
    std::string line = windows_command_line(request.argv);
    std::string env = child_environment(request);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                          env.data(), request.working_dir.empty() ? nullptr : request.working_dir.c_str(),
                          &startup, &info)) {
        const DWORD code = ::GetLastError();
        result.error_number = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
        result.error = failure(request.argv[0], code);
        return result;
    }
    unique_handle process(info.hProcess), thread(info.hThread);
    // The job ends the child's descendants at the time-out; a host that does
    // not let the child join one still gets the child itself ended.
    unique_handle job(::CreateJobObjectA(nullptr, nullptr));
    if (job.open() && !::AssignProcessToJobObject(job.get(), process.get())) job.reset();
    ::ResumeThread(thread.get());
    result.started = true;
    child_streams streams(request, result);
    plumbing.hand_over(streams);

    clock_source& clock = get_clock();
    const std::uint64_t start = clock.now_ms();
    for (;;) {
        streams.pass();
        if (::WaitForSingleObject(process.get(), static_cast<DWORD>(kPassMs)) != WAIT_TIMEOUT) break;
        if (clock.now_ms() - start >= request.timeout_ms) {
            result.timed_out = true;
            break;
        }
        clock.sleep_ms(kPassMs);
    }
    if (result.timed_out) {
        if (job.open()) ::TerminateJobObject(job.get(), kTimedOutExitCode);
        ::TerminateProcess(process.get(), kTimedOutExitCode);
    }
    streams.in.reset();
    // A killed child gets kReapGraceMs to go: a process inside a device
    // request ends only when the request does.
    const std::uint64_t ended = clock.now_ms();
    while (::WaitForSingleObject(process.get(), static_cast<DWORD>(kPassMs)) == WAIT_TIMEOUT) {
        if (clock.now_ms() - ended >= kReapGraceMs) {
            result.error = "the child did not end after TerminateProcess";
            return result;
        }
        clock.sleep_ms(kPassMs);
    }
    // What the child wrote before it ended; a descendant still writing is not
    // followed for long.
    for (int i = 0; i < kDrainPasses && streams.pass(); ++i) {
    }
    DWORD code = 0;
    if (!result.timed_out && ::GetExitCodeProcess(process.get(), &code)) result.exit_code = static_cast<int>(code);
    return result;
}

}  // namespace

process_runner& platform_process_runner() {
    static windows_process_runner runner;
    return runner;
}

}  // namespace enctl
