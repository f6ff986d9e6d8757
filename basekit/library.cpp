#include "basekit/library.h"

#include <cstring>
#include <utility>

namespace enctl {

helper_library::~helper_library() { reset(); }

helper_library::helper_library(helper_library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

helper_library& helper_library::operator=(helper_library&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void helper_library::reset() noexcept {
    if (handle_) library_platform::close(std::exchange(handle_, nullptr));
}

helper_library helper_library::load(std::string_view name, std::span<const library_symbol> symbols) {
    auto clear_slots = [&] {
        for (const auto& s : symbols)
            if (s.slot) *s.slot = nullptr;
    };
    const std::size_t suffix = std::strlen(library_platform::kSuffix);
    if (name.empty() || name.size() + suffix >= kLibraryPathSize) {
        clear_slots();
        return {};
    }
    char path[kLibraryPathSize] = {};
    std::memcpy(path, name.data(), name.size());
    std::memcpy(path + name.size(), library_platform::kSuffix, suffix);

    helper_library library(library_platform::open(path));
    if (!library) {
        clear_slots();
        return {};
    }
    for (const auto& s : symbols) {
        void* address = s.name ? library_platform::symbol(library.handle_, s.name) : nullptr;
        if (!address || !s.slot) {
            clear_slots();
            return {};  // `library` unloads here
        }
        *s.slot = address;
    }
    return library;
}

}  // namespace enctl
