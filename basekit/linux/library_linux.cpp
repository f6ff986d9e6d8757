// Helper libraries on Linux: shared objects looked for beside the executable
// first, then through the system loader's search path (LD_LIBRARY_PATH, the
// ld.so cache, the system library directories). The executable's own
// directory comes first for the same reason the Windows loader searches the
// application directory first: a helper shipped with the program belongs to
// it. The current directory is never searched.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>

#include "basekit/library.h"

namespace enctl::library_platform {

const char kSuffix[] = ".so";

namespace {

// The executable's directory joined with `name` into `out`; false when it
// cannot be told or does not fit.
bool beside_executable(const char* name, char (&out)[PATH_MAX]) {
    char exe[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    char* slash = std::strrchr(exe, '/');
    if (!slash) return false;
    slash[1] = '\0';
    const std::size_t dir = std::strlen(exe);
    const std::size_t file = std::strlen(name);
    if (dir + file >= sizeof out) return false;
    std::memcpy(out, exe, dir);
    std::memcpy(out + dir, name, file + 1);
    return true;
}

}  // namespace

void* open(const char* path) noexcept {
    if (!path) return nullptr;
    char local[PATH_MAX];
    if (!std::strchr(path, '/') && beside_executable(path, local) && ::access(local, F_OK) == 0)
        if (void* handle = ::dlopen(local, RTLD_NOW | RTLD_LOCAL)) return handle;
    return ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* symbol(void* handle, const char* name) noexcept { return ::dlsym(handle, name); }

void close(void* handle) noexcept { ::dlclose(handle); }

}  // namespace enctl::library_platform
