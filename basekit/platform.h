// Platform services of the front end: elevation, host name, temporary
// directory, the executable's own path, local time and the path separator.
// basekit/linux implements them with POSIX and /proc; basekit/windows with the
// Win32 calls (token elevation, GetComputerNameA, GetTempPathA,
// GetModuleFileNameA with GetShortPathNameA).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace enctl {

// The platform's path separator as used in built paths ("/" or "\").
extern const char kPathSeparator;

// True when the process may send raw commands to devices: administrator on
// Windows; effective user id 0 or CAP_SYS_RAWIO on Linux.
bool platform_is_elevated();
// The computer's name; empty when it cannot be read.
std::string platform_host_name();
// The system temporary directory as the platform gives it (may end in a
// separator).
std::string platform_temp_dir();
// Full path of the running executable (short 8.3 form on Windows).
std::string platform_executable_path();
// Local broken-down time of now.
std::tm platform_local_time();
// Local broken-down time of `seconds` since the epoch; false when the host
// cannot represent it.
bool platform_local_time_at(std::int64_t seconds, std::tm& out);
// True when the path names an existing file or directory (access mode 0).
bool platform_path_exists(const char* path);

}  // namespace enctl
