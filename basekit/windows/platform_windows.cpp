// Platform services on Windows.
#include <windows.h>
#include <io.h>

#include <ctime>

#include "basekit/platform.h"

namespace enctl {

const char kPathSeparator = '\\';

bool platform_is_elevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = sizeof elevation;
    const BOOL ok = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    ::CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

std::string platform_host_name() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return {};
    return name;
}

std::string platform_temp_dir() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof path, path);
    if (n == 0 || n > sizeof path) return {};
    return std::string(path, n);
}

std::string platform_executable_path() {
    char path[1024] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return {};
    // Rewritten in place to its short 8.3 form, so that it can stand unquoted
    // in a command line.
    const DWORD s = ::GetShortPathNameA(path, path, sizeof path);
    if (s == 0 || s >= sizeof path) return {};
    return path;
}

bool platform_local_time_at(std::int64_t seconds, std::tm& out) {
    const auto t = static_cast<std::time_t>(seconds);
    return static_cast<std::int64_t>(t) == seconds && ::localtime_s(&out, &t) == 0;
}

std::tm platform_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    return local;
}

bool platform_path_exists(const char* path) { return path && ::_access(path, 0) == 0; }

}  // namespace enctl
