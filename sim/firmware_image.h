// The lab's firmware and zoning image format: what the enclosure accepts
// through the Download Microcode Control page, and what `enctl-lab image`
// writes so that tests and the demo can update an enclosure end to end.
//
//   bytes 0-7    magic: "ENCLABFW" (firmware) or "ENCLABZN" (T10 zoning configuration)
//   byte 8       format version, 1
//   byte 9       product code (1 to 7)
//   bytes 10-11  0
//   bytes 12-15  length of the whole image, big-endian
//   bytes 16-31  firmware revision (zoning: the configuration's name), NUL-padded
//   bytes 32...  filler
//   last 4       CRC-32 (IEEE 802.3) of every byte before it, big-endian
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/bytes.h"

namespace enctl::sim {

enum class image_kind { firmware, zoning };

inline constexpr std::size_t kImageHeaderSize = 32;
inline constexpr std::size_t kImageMinSize = kImageHeaderSize + 4;
inline constexpr std::size_t kImageNameSize = 16;  // revision or configuration name, NUL-padded
inline constexpr std::uint32_t kImageDefaultSize = 20000;

// An image of `size` bytes (at least kImageMinSize); `corrupt` spoils one
// byte after the checksum was taken.
bytes build_image(image_kind kind, int product, std::string_view name, std::uint32_t size, bool corrupt = false);

struct image_check {
    bool ok = false;
    image_kind kind = image_kind::firmware;
    std::string name;    // the revision or configuration name
    const char* why = "";  // when not ok: "truncated", "bad checksum", "wrong product", ...
};

// Checks a complete image for the enclosure of `product`.
image_check check_image(std::span<const std::uint8_t> image, int product);

// CRC-32 as used by the format.
std::uint32_t crc32(std::span<const std::uint8_t> data);

// The file name the enclosure's firmware (zoning) file table accepts for an
// image of `name` on `product` ("mat_2050-001.bin"); `multi_tenant` picks the
// ".tar.gz" form that the multi-tenant firmware needs. Empty for a product
// without zoning files.
std::string image_file_name(image_kind kind, int product, bool multi_tenant, std::string_view name);

}  // namespace enctl::sim
