// Shared set-up of the libFuzzer harnesses: console output (debug verbosity,
// so that the debug prints run too) goes to /dev/null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "basekit/console.h"

namespace enctl::fuzz {

inline void quiet_console() {
    static const bool done = [] {
        g_console_verbosity = kVerbosityDebug;
        return std::freopen("/dev/null", "w", stdout) != nullptr;
    }();
    (void)done;
}

// Takes a 16-bit big-endian length and that many bytes (fewer when the input
// ends) from the front of `in`.
inline std::span<const std::uint8_t> take_framed(std::span<const std::uint8_t>& in) {
    if (in.size() < 2) {
        in = {};
        return {};
    }
    const std::size_t length = std::min<std::size_t>((in[0] << 8) | in[1], in.size() - 2);
    const auto part = in.subspan(2, length);
    in = in.subspan(2 + length);
    return part;
}

}  // namespace enctl::fuzz
