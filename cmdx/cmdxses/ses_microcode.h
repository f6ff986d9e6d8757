// The Download Microcode Status page (0Eh): its first descriptor, decoded
// from the bytes received, and the texts of its status codes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace enctl {

// Download microcode status codes this program acts on.
inline constexpr std::uint8_t kMicrocodeInProgress = 0x01;
inline constexpr std::uint8_t kMicrocodeCompleteFirst = 0x10;  // 10h-13h: the image is stored
inline constexpr std::uint8_t kMicrocodeCompleteLast = 0x13;
// Download Microcode Control modes.
inline constexpr std::uint8_t kMicrocodeModeSegment = 0x0E;   // download with offsets, save, defer activation
inline constexpr std::uint8_t kMicrocodeModeActivate = 0x0F;  // activate deferred microcode
// The header and the first descriptor: the least a status page must hold.
inline constexpr std::size_t kMicrocodeStatusMinSize = 24;

struct microcode_status {
    std::uint8_t page_code;
    std::uint16_t page_length;       // bytes 2-3
    std::uint32_t generation_code;   // bytes 4-7
    std::uint8_t status;             // byte 10
    std::uint8_t additional_status;  // byte 11
    std::uint32_t maximum_size;      // bytes 12-15
    std::uint8_t buffer_id;          // byte 19, expected buffer ID
    std::uint32_t buffer_offset;     // bytes 20-23, expected buffer offset
};

// The first descriptor of a status page; none unless the received bytes and
// the page's own length both hold the header and that whole descriptor.
std::optional<microcode_status> decode_microcode_status(std::span<const std::uint8_t> page);

// The text of a download microcode status code.
const char* microcode_status_text(std::uint8_t status);

}  // namespace enctl
