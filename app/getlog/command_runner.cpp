#include "app/getlog/command_runner.h"

#include <cerrno>
#include <set>
#include <string_view>

#include "app/enctl_data.h"
#include "basekit/clock.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/process.h"

namespace enctl {

std::uint32_t g_command_timeout = kDefaultCommandTimeout;

namespace {

// What a command run for its files may print to a pipe is read and, beyond
// this, dropped.
constexpr std::size_t kCaptureLimit = std::size_t{16} << 20;

std::string quoted(std::string_view word) {
    if (!word.empty() && word.find_first_of(" \t\n'\"\\$`&|;<>()*?[]{}~#!") == std::string_view::npos)
        return std::string(word);
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Notes a program that is not installed in <log dir>/missing_tools.txt, once
// a run.
void note_missing_tool(const command_line& command) {
    static std::set<std::string> noted;  // missing_tools.txt paths and tools
    const std::string& tool = command.argv[0];
    const std::string path = std::string(text_of(g_enctl_data.log_dir)) + kPathSeparator + "missing_tools.txt";
    if (!noted.insert(path + '\n' + tool).second) return;
    const std::string line = tool + ": not installed (wanted for: " + command_text(command) + ")\n";
    append_to_file(path.c_str(), line.data(), line.size());
}

}  // namespace

std::string command_text(const command_line& command) {
    std::string text;
    for (const auto& word : command.argv) text += (text.empty() ? "" : " ") + quoted(word);
    if (!command.output_file.empty()) text += " > " + quoted(command.output_file);
    if (command.merge_errors) text += " 2>&1";
    return text;
}

std::uint32_t run_command_capture(const command_line& command, std::string& out, std::uint32_t timeout_seconds) {
    out.clear();
    if (command.argv.empty()) return kCommandNotStarted;
    process_request request;
    request.argv = command.argv;
    request.output_file = command.output_file;
    request.errors = command.merge_errors ? error_output::merge : error_output::discard;
    request.working_dir = command.working_dir;
    // Whole seconds past the time-out end the command: it runs up to one second more.
    request.timeout_ms = (std::uint64_t{timeout_seconds} + 1) * 1000;
    request.capture_limit = kCaptureLimit;
    process_result result = run_process(request);
    if (!result.started) {
        CONSOLE_PRINT(kVerbosityDebug, "%s\n", result.error.c_str());
        if (result.error_number == ENOENT) note_missing_tool(command);
        return kCommandNotStarted;
    }
    out = std::move(result.out);
    if (result.timed_out) return kCommandTimedOut;
    if (result.signal != 0) return 128u + static_cast<std::uint32_t>(result.signal);
    return static_cast<std::uint32_t>(result.exit_code);
}

std::uint32_t run_command(const command_line& command) {
    const std::string text = command_text(command);
    CONSOLE_PRINT(kVerbosityDebug, "command: %s\n", text.c_str());
    // Timed in real time (also under a virtual clock), for the debug line only.
    system_clock_source real_time;
    const std::uint64_t start = real_time.now_ms();
    std::string discarded;
    const std::uint32_t code = run_command_capture(command, discarded, g_command_timeout);
    CONSOLE_PRINT(kVerbosityDebug, "command took %llu ms\n",
                  static_cast<unsigned long long>(real_time.now_ms() - start));
    if (code != 0) CONSOLE_PRINT(kVerbosityDebug, "Command failed (%u): %s\n", code, text.c_str());
    if (code == kCommandTimedOut) CONSOLE_PRINT(kVerbosityNormal, "Command timed out: %s\n", text.c_str());
    return code;
}

}  // namespace enctl
