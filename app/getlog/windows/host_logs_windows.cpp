// getlog's host, drive and diagnostic-tool captures and its packing on a
// Windows host. Each capture is one whole command line in the shell's own
// syntax ("cmd /c tool > file", "powershell -command ..."), handed to the
// process runner unchanged; the tool writes its file itself. The log folder
// is packed with PowerShell's Compress-Archive and removed only once the
// archive is there.
//
// The values a line carries (paths below the log folder, which starts at the
// user's "pack=" folder or the temporary folder, and device names from
// enumeration and from what smartctl and sg_scan print) never reach cmd or
// PowerShell as syntax: a value holding a character either would act on is
// refused and its command not run, and a path is quoted where a blank or a
// separator would split it.
#include "app/getlog/windows/host_logs_windows.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_steps.h"
#include "app/version.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/text.h"

namespace enctl {

std::int32_t g_powershell_version = 0;

namespace {

constexpr std::string_view kGetHostLine = "powershell -command \"& {&'Get-Host'}\"";
constexpr std::string_view kCompressLine = "powershell -command \"& {&'compress-archive' -path %s %s}\"";
constexpr std::string_view kRemoveFolderLine = "cmd /c rmdir /s /q %s";
constexpr std::string_view kKorvToolLine = "cmd /c korv_diag_tool.exe -d %s -n";
constexpr std::string_view kMoveDumpsLine = "cmd /c move diag_dump_*.dat %s";
constexpr std::string_view kSmartctlScanLine = "cmd /c smartctl.exe --scan";
constexpr std::string_view kSgScanLine = "cmd /c sg_scan -s";

// A host capture: its command line, whose "%s" is the file it writes, and
// that file's name in the step's folder.
struct host_capture {
    std::string_view line;
    std::string_view file;
};

constexpr host_capture kDiskCaptures[] = {
    {"cmd /c sg_scan -s > %s", "sg_scan_s.txt"},
    {"cmd /c smartctl.exe --scan > %s", "smartctl_scan.txt"},
    {"cmd /c vantor generate-report > %s", "vantor_report.txt"},
    {"powershell -command \"& {&'Get-Disk' | out-file %s}\"", "get-disk.txt"},
    {"powershell -command \"& {&'Get-PhysicalDisk' | out-file %s}\"", "get-physicaldisk.txt"},
    {"powershell -command \"& {&'Get-PhysicalDiskStorageNodeView' | out-file %s}\"", "get-physicaldisksnv.txt"},
    {"powershell -command \"& {&'Get-StorageEnclosure' | out-file %s}\"", "get-storageenclosure.txt"},
};

// The multipath (MSDSM) cmdlets, from PowerShell 5 on.
constexpr host_capture kMsdsmCaptures[] = {
    {"powershell -command \"& {&'Get-MSDSMSupportedHW' | out-file %s}\"", "get-msdsmsupportedhw.txt"},
    {"powershell -command \"& {&'Get-MSDSMAutomaticClaimSettings' | out-file %s}\"",
     "get-msdsmautoclaimsettings.txt"},
    {"powershell -command \"& {&'Get-MSDSMGlobalDefaultLoadBalancePolicy' | out-file %s}\"", "get-msdsmGDLBP.txt"},
};

// The event logs whole, and as text for the last 90 days (7776000000 ms),
// newest first.
constexpr host_capture kHostCaptures[] = {
    {"powershell -command \"& {&'get-initiatorport' | out-file %s}\"", "get-initiatorport.txt"},
    {"cmd /c hostname > %s", "hostname_file.txt"},
    {"powershell -command \"& {&'Get-WmiObject' Win32_PnPSignedDriver | select devicename, driverversion | "
     "out-file "
     "%s}\"",
     "driver_versions.txt"},
    {"cmd /c wevtutil epl System %s", "system_log.evtx"},
    {"cmd /c wevtutil epl Application %s", "application_log.evtx"},
    {"cmd /c wevtutil qe System /q:\"*[System[TimeCreated[timediff(@SystemTime) <= 7776000000]]]\" /rd:True "
     "/f:text > %s",
     "system_events.txt"},
    {"cmd /c wevtutil qe Application /q:\"*[System[TimeCreated[timediff(@SystemTime) <= 7776000000]]]\" "
     "/rd:True /f:text > %s",
     "application_events.txt"},
};

// The sg3_utils versions the health report checks, errors included.
constexpr host_capture kToolVersionCaptures[] = {
    {"cmd /c sg_scan -b > %s 2>&1", "sg_scan_-b.txt"},
    {"cmd /c sg_scan -V > %s 2>&1", "sg_scan_-V.txt"},
    {"cmd /c sg_ses -V > %s 2>&1", "sg_ses_-V.txt"},
    {"cmd /c sg_inq -V > %s 2>&1", "sg_inq_-V.txt"},
    {"cmd /c sg_vpd -V > %s 2>&1", "sg_vpd_-V.txt"},
    {"cmd /c sg_logs -V > %s 2>&1", "sg_logs_-V.txt"},
    {"cmd /c sg_ses_microcode -V > %s 2>&1", "sg_ses_microcode_-V.txt"},
    {"cmd /c sg_senddiag -V > %s 2>&1", "sg_senddiag_-V.txt"},
};

constexpr host_capture kHeavyCaptures[] = {
    {"cmd /c systeminfo | findstr OS > %s", "sysinfo_os.txt"},
    {"cmd /c systeminfo > %s", "sysinfo_full.txt"},
};

// A drive capture: its command line, whose "%s" are the device and the file,
// and the file name's start (the device's name and ".txt" follow).
struct drive_capture {
    std::string_view line;
    std::string_view file_start;
};

constexpr drive_capture kSmartctlCaptures[] = {
    {"cmd /c smartctl.exe -H %s > %s", "smartctl_health_"},
    {"cmd /c smartctl.exe -x %s > %s", "smartctl_extended_"},
};

constexpr drive_capture kSgCaptures[] = {
    {"cmd /c sg_logs %s -p0x18 > %s", "sg_logs_-p0x18_"},
    {"cmd /c sg_inq %s > %s", "sg_inq_"},
    {"cmd /c sg_inq -p0x80  %s > %s", "sg_inq_-p0x80_"},
    {"cmd /c sg_inq -p0x83 %s > %s", "sg_inq_-p0x83_"},
};

// Longest device name taken from a scan line.
constexpr std::size_t kDeviceNameMax = 63;

// Where a value stands in a command line.
enum class place {
    argument,    // a device name given to a tool: as it is, so without blanks
    cmd_path,    // a path cmd reads (redirection, rmdir, move): "..." when a blank or separator would split it
    shell_path,  // a path in a PowerShell script block: '...' unless every character is plain
};

// What cmd acts on anywhere in a line, quotes or not (% and ! expand
// variables), and control characters.
bool shell_active(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || std::string_view("&|<>^\"%!").find(c) != std::string_view::npos;
}

bool plain_in_powershell(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("\\/:._-~").find(c) != std::string_view::npos;
}

// The value as it goes into the line, or none when it cannot go in safely.
// PowerShell takes the typographic quotes of the code pages for quotes too,
// so a path it reads must be plain ASCII.
std::optional<std::string> fitted(std::string_view value, place where) {
    if (std::ranges::any_of(value, shell_active)) return std::nullopt;
    const std::string text(value);
    switch (where) {
    case place::argument:
        if (value.empty() || value.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
        return text;
    case place::cmd_path:
        if (!value.empty() && value.find_first_of(" ,;=()") == std::string_view::npos) return text;
        return "\"" + text + "\"";
    case place::shell_path: {
        if (std::ranges::any_of(value, [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            return std::nullopt;
        if (!value.empty() && std::ranges::all_of(value, plain_in_powershell)) return text;
        std::string quoted = "'";
        for (const char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        return quoted + "'";
    }
    }
    return std::nullopt;
}

struct line_value {
    std::string_view text;
    place where;
};

// The line with each "%s" replaced, in order, by its value; none, after a
// message, when a value cannot go in.
std::optional<command_line> shell_command(std::string_view pattern, std::initializer_list<line_value> values) {
    std::string text;
    const line_value* next = values.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.compare(i, 2, "%s") != 0 || next == values.end()) {
            text += pattern[i];
            continue;
        }
        const std::optional<std::string> value = fitted(next->text, next->where);
        if (!value) {
            CONSOLE_PRINT(kVerbosityNormal, "Command not run: \"%s\" cannot be put into a command line safely\n",
                          printable_text(next->text).c_str());
            return std::nullopt;
        }
        text += *value;
        ++next;
        ++i;
    }
    // Standard output and standard error both go to the runner's pipe.
    return command_line{.text = std::move(text), .merge_errors = true};
}

// Runs the line through `run`; none when it was refused.
std::optional<std::uint32_t> run_line(std::string_view pattern, std::initializer_list<line_value> values,
                                      std::uint32_t (*run)(const command_line&) = run_command) {
    const std::optional<command_line> command = shell_command(pattern, values);
    if (!command) return std::nullopt;
    return run(*command);
}

// What a fixed line (nothing inserted) prints.
std::string captured_output(std::string_view line) {
    std::string out;
    run_command_capture(command_line{.text = std::string(line), .merge_errors = true}, out, g_command_timeout);
    return out;
}

void run_captures(const std::string& folder, std::span<const host_capture> captures) {
    for (const host_capture& capture : captures) {
        const std::string file = folder + kPathSeparator + std::string(capture.file);
        run_line(capture.line,
                 {{file, capture.line.starts_with("powershell") ? place::shell_path : place::cmd_path}});
    }
}

void print_created(const std::string& folder) {
    CONSOLE_PRINT(kVerbosityNormal, "Created files in %s\n", folder.c_str());
}

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The device of every line that holds `marker`: the text before its first
// blank (the whole line when it has none). Names longer than
// kDeviceNameMax are left out.
std::vector<std::string> scanned_devices(std::string_view listing, std::string_view marker) {
    std::vector<std::string> devices;
    for (const std::string_view line : lines_of(listing)) {
        if (line.find(marker) == std::string_view::npos) continue;
        const std::string_view device = line.substr(0, line.find(' '));
        if (device.empty()) continue;
        if (device.size() > kDeviceNameMax) {
            CONSOLE_PRINT(kVerbosityDebug, "Device name too long, skipped: %s\n", printable_text(device).c_str());
            continue;
        }
        devices.emplace_back(device);
    }
    return devices;
}

// Runs `scan` and the captures of every device it lists; each file is named
// after the device, or with `by_last_part` after what follows its last "/".
void capture_scanned_drives(const std::string& folder, std::string_view scan, std::string_view marker,
                            std::span<const drive_capture> captures, bool by_last_part) {
    for (const std::string& device : scanned_devices(captured_output(scan), marker)) {
        CONSOLE_PRINT(kVerbosityNormal, "device: %s\n", printable_text(device).c_str());
        const std::string name = by_last_part ? device.substr(device.rfind('/') + 1) : device;
        // The name becomes part of a file name in the folder, never a path.
        if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos) {
            CONSOLE_PRINT(kVerbosityNormal, "Device not captured: \"%s\" cannot name a file\n\n",
                          printable_text(name).c_str());
            continue;
        }
        for (const drive_capture& capture : captures) {
            const std::string file = folder + kPathSeparator + std::string(capture.file_start) + name + ".txt";
            if (!run_line(capture.line, {{device, place::argument}, {file, place::cmd_path}})) break;
            CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", file.c_str());
        }
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
}

// The major number of a version text ("5.1.19041.1" gives 5), by strtol's
// rules.
std::int32_t major_version(std::string_view text) {
    const long value = std::strtol(std::string(text).c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

void get_powersehll_version() {
    CONSOLE_PRINT(kVerbosityDebug, "get_powersehll_version\n");
    const std::string out = captured_output(kGetHostLine);
    for (const std::string_view line : lines_of(out)) {
        const std::size_t colon = line.find(": ");
        if (line.find("Version") == std::string_view::npos || colon == std::string_view::npos) continue;
        g_powershell_version = major_version(line.substr(colon + 2));
        CONSOLE_PRINT(kVerbosityDebug, "powershell version found=%s\n", printable_text(line).c_str());
        break;
    }
    CONSOLE_PRINT(kVerbosityDebug, "powershell version = %u\n", static_cast<unsigned>(g_powershell_version));
}

void get_system_light_logs() {
    if (g_powershell_version == 0) get_powersehll_version();
    std::string folder = enter_log_folder(kDisksFolder, true);
    run_captures(folder, kDiskCaptures);
    if (g_powershell_version >= kPowerShellNeeded) run_captures(folder, kMsdsmCaptures);
    print_created(folder);

    folder = enter_log_folder(kHostLogsFolder, true);
    run_captures(folder, kHostCaptures);
    print_created(folder);

    folder = enter_log_folder(kSesFolder, true);
    run_captures(folder, kToolVersionCaptures);
    print_created(folder);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void get_system_heavy_logs() {
    const std::string folder = enter_log_folder(kHostLogsFolder, true);
    run_captures(folder, kHeavyCaptures);
    print_created(folder);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void get_drive_logs() {
    const std::string folder = enter_log_folder(kDisksFolder, true);
    capture_scanned_drives(folder, kSmartctlScanLine, "/dev/", kSmartctlCaptures, true);
    capture_scanned_drives(folder, kSgScanLine, "PD", kSgCaptures, false);
}

int get_private_vendor_logs(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || (target->product_code != 3 && target->product_code != 4)) return 0;
    const std::string folder = enter_log_folder(kSesFolder, true);
    int count = 0;
    if (run_line(kKorvToolLine, {{text_of(target->os_name), place::argument}}) == 0u) ++count;
    // The tool leaves its dumps in the current folder.
    if (run_line(kMoveDumpsLine, {{folder, place::cmd_path}}) == 0u) ++count;
    print_created(folder);
    return count;
}

int pack_logs() {
    const std::string log_dir(text_of(g_enctl_data.log_dir));
    if (console_capture_begin(log_dir + kPathSeparator + "enctl_version.txt") == 0) {
        display_version_listing();
        console_capture_end();
    }
    if (g_powershell_version == 0) get_powersehll_version();
    if (g_powershell_version < kPowerShellNeeded) {
        CONSOLE_PRINT(kVerbosityNormal, "Packing not done: requires PowerShell version 5 or above\n\n");
        return 0;
    }
    const std::string zip = log_dir + ".zip";
    bool packed = false;
    // A file already at the archive's name would pass for the new archive:
    // the folder is not packed (nor removed) over it.
    if (!platform_path_exists(zip.c_str())) {
        if (const std::optional<command_line> command =
                shell_command(kCompressLine, {{log_dir, place::shell_path}, {zip, place::shell_path}})) {
            CONSOLE_PRINT(kVerbosityDebug, "Pack command: %s\n", command->text.c_str());
            packed = run_command_long(*command) == 0 && platform_path_exists(zip.c_str());
            // What a failed or ended Compress-Archive left is not a whole archive.
            std::error_code ignored;
            if (!packed) std::filesystem::remove(zip, ignored);
        }
    }
    if (packed) {
        run_line(kRemoveFolderLine, {{log_dir, place::cmd_path}}, run_command_long);
        CONSOLE_PRINT(kVerbosityNormal, "Created package file: %s\n", zip.c_str());
    } else {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR creating package file: %s\n", zip.c_str());
    }
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

}  // namespace enctl
