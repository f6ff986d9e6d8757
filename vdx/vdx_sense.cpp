// Bounded decoding of sense data.
#include "vdx/vdx_sense.h"

#include <algorithm>

namespace enctl {

std::span<const std::uint8_t> vdx_scsi_sense_bytes(const vdx_scsi_cmd& cmd) {
    return std::span<const std::uint8_t>(cmd.sense).first(std::min<std::size_t>(cmd.sense_length, sizeof cmd.sense));
}

vdx_sense vdx_sense_decode(std::span<const std::uint8_t> bytes, vdx_sense_format other_layout) {
    vdx_sense sense;
    sense.bytes = bytes;
    const std::uint8_t response = sense.byte(0) & 0x7F;
    if (response == 0x70 || response == 0x71) sense.format = vdx_sense_format::fixed;
    if (response == 0x72 || response == 0x73) sense.format = vdx_sense_format::descriptor;
    const vdx_sense_format layout = sense.format != vdx_sense_format::none ? sense.format : other_layout;
    if (layout == vdx_sense_format::fixed) {
        sense.key = sense.byte(2) & 0x0F;
        sense.asc = sense.byte(12);
        sense.ascq = sense.byte(13);
    } else if (layout == vdx_sense_format::descriptor) {
        sense.key = sense.byte(1) & 0x0F;
        sense.asc = sense.byte(2);
        sense.ascq = sense.byte(3);
    }
    return sense;
}

std::span<const std::uint8_t> vdx_sense_descriptor_at(const vdx_sense& sense, std::size_t offset) {
    if (sense.format != vdx_sense_format::descriptor || offset + 2 > sense.bytes.size()) return {};
    const std::size_t length = 2 + static_cast<std::size_t>(sense.bytes[offset + 1]);
    if (offset + length > sense.bytes.size()) return {};
    return sense.bytes.subspan(offset, length);
}

}  // namespace enctl
