// Platform services on Linux.
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "basekit/platform.h"

namespace enctl {

const char kPathSeparator = '/';

namespace {

constexpr unsigned kCapSysRawio = 17;

// The effective capability set of this process from /proc/self/status; 0 when
// it cannot be read.
std::uint64_t effective_capabilities() {
    struct closer {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, closer> status(std::fopen("/proc/self/status", "r"));
    if (!status) return 0;
    char line[256];
    while (std::fgets(line, sizeof line, status.get())) {
        if (std::strncmp(line, "CapEff:", 7) != 0) continue;
        char* end = nullptr;
        errno = 0;
        const unsigned long long caps = std::strtoull(line + 7, &end, 16);
        if (errno != 0 || end == line + 7) return 0;
        return caps;
    }
    return 0;
}

}  // namespace

bool platform_is_elevated() {
    if (::geteuid() == 0) return true;
    return (effective_capabilities() >> kCapSysRawio) & 1u;
}

std::string platform_host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string platform_temp_dir() {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir) return dir;
    return "/tmp";
}

std::string platform_executable_path() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

bool platform_local_time_at(std::int64_t seconds, std::tm& out) {
    const auto t = static_cast<std::time_t>(seconds);
    return static_cast<std::int64_t>(t) == seconds && ::localtime_r(&t, &out) != nullptr;
}

std::tm platform_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

bool platform_path_exists(const char* path) { return path && ::access(path, F_OK) == 0; }

}  // namespace enctl
