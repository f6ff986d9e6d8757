// Helper libraries loaded at run time (the RAID controller wrappers): the
// library named `name` with the platform's suffix (".so" here, ".DLL" on
// Windows) is loaded and a list of symbols resolved into their slots, in
// order. If any symbol is missing the library is unloaded again and nothing
// is returned.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace enctl {

// Room of the library path, suffix and terminator included.
inline constexpr std::size_t kLibraryPathSize = 260;

struct library_symbol {
    const char* name;
    void** slot;
};

// Owns a loaded library; unloads it on destruction.
class helper_library {
public:
    helper_library() noexcept = default;
    ~helper_library();
    helper_library(helper_library&& other) noexcept;
    helper_library& operator=(helper_library&& other) noexcept;
    helper_library(const helper_library&) = delete;
    helper_library& operator=(const helper_library&) = delete;

    // An empty holder when the path does not fit, the library cannot be
    // loaded, or a symbol is missing (every slot is then set to nullptr).
    static helper_library load(std::string_view name, std::span<const library_symbol> symbols);

    explicit operator bool() const noexcept { return handle_ != nullptr; }
    void reset() noexcept;

private:
    explicit helper_library(void* handle) noexcept : handle_(handle) {}
    void* handle_ = nullptr;
};

// Platform primitives (basekit/linux, basekit/windows).
namespace library_platform {
extern const char kSuffix[];
void* open(const char* path) noexcept;
void* symbol(void* handle, const char* name) noexcept;
void close(void* handle) noexcept;
}  // namespace library_platform

}  // namespace enctl
