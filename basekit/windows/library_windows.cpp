// Helper libraries on Windows: DLLs loaded with LoadLibraryA.
#include <windows.h>

#include "basekit/library.h"

namespace enctl::library_platform {

const char kSuffix[] = ".DLL";

void* open(const char* path) noexcept { return ::LoadLibraryA(path); }

void* symbol(void* handle, const char* name) noexcept {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

void close(void* handle) noexcept { ::FreeLibrary(static_cast<HMODULE>(handle)); }

}  // namespace enctl::library_platform
