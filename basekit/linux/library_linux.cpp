// Helper libraries on Linux: shared objects found through the loader's
// search path.
#include <dlfcn.h>

#include "basekit/library.h"

namespace enctl::library_platform {

const char kSuffix[] = ".so";

void* open(const char* path) noexcept { return ::dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* symbol(void* handle, const char* name) noexcept { return ::dlsym(handle, name); }

void close(void* handle) noexcept { ::dlclose(handle); }

}  // namespace enctl::library_platform
