#include "basekit/bytes.h"

#include <utility>

namespace enctl {

void swap_byte_pairs(std::span<std::uint8_t> bytes) noexcept {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
}

std::size_t wide_to_narrow(std::span<const std::uint8_t> wide, std::span<char> narrow) noexcept {
    std::size_t n = wide.size() / 2;
    if (n > narrow.size()) n = narrow.size();
    for (std::size_t i = 0; i < n; ++i) narrow[i] = static_cast<char>(wide[2 * i]);
    return n;
}

}  // namespace enctl
