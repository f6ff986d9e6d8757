// Fixed-size, NUL-terminated text fields. Records of this program keep their
// texts in char arrays of a fixed size (32, 128, 256, 1024 bytes); a longer
// value is cut to size - 1 characters. This is the one place that does the cut.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace enctl {

// Copy `text` into `field`, cutting it to N - 1 characters; the rest of the
// field is zeroed. Returns the number of characters stored.
template <std::size_t N>
inline std::size_t set_text(char (&field)[N], std::string_view text) noexcept {
    static_assert(N > 0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n) std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
    return n;
}

// The same for a field reached through a pointer and a size.
inline std::size_t set_text(char* field, std::size_t size, std::string_view text) noexcept {
    if (!field || size == 0) return 0;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n) std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
    return n;
}

// View of a fixed field up to its terminator (or its whole size when full).
template <std::size_t N>
inline std::string_view text_of(const char (&field)[N]) noexcept {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return {field, n};
}

}  // namespace enctl
