// Byte and text helpers of the command-set helpers (the big-endian readers
// and stores and trim come from basekit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "basekit/bytes.h"
#include "basekit/text.h"

namespace enctl::cmdx {

// Zeroes `out`, copies at most out.size() - 1 bytes of `bytes` and trims.
inline void copy_trimmed(std::span<char> out, std::span<const std::uint8_t> bytes) {
    if (out.empty()) return;
    std::memset(out.data(), 0, out.size());
    const std::size_t n = bytes.size() < out.size() - 1 ? bytes.size() : out.size() - 1;
    if (n) std::memcpy(out.data(), bytes.data(), n);
    trim(out.data());
}

// The part of `buffer` that a command filled: its first `transferred` bytes
// (all of it when the device reports more than the buffer holds).
inline std::span<const std::uint8_t> received(std::span<const std::uint8_t> buffer, std::uint32_t transferred) {
    return buffer.first(transferred < buffer.size() ? transferred : buffer.size());
}

// A length that fits the 32-bit fields of the command records.
inline std::uint32_t length32(std::size_t n) {
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

}  // namespace enctl::cmdx
