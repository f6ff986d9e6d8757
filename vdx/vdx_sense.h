// Sense data of a finished SCSI command, decoded within the bytes the device
// actually returned: fixed format (response codes 70h, 71h) and descriptor
// format (72h, 73h). Used by the SCSI-ATA translation and by the error check
// of the command-set helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vdx/vdx.h"

namespace enctl {

enum class vdx_sense_format : std::uint8_t { none, fixed, descriptor };

struct vdx_sense {
    std::span<const std::uint8_t> bytes;  // the sense bytes returned
    vdx_sense_format format = vdx_sense_format::none;  // by the response code
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;

    // Byte `at` of the sense data; 0 when the device did not return it.
    std::uint8_t byte(std::size_t at) const { return at < bytes.size() ? bytes[at] : 0; }
};

// The sense bytes of a finished command: its sense length, at most the size
// of the sense buffer.
std::span<const std::uint8_t> vdx_scsi_sense_bytes(const vdx_scsi_cmd& cmd);

// Decodes the response code (byte 0 AND 7Fh) and the sense key, ASC and ASCQ:
// bytes 2 (low 4 bits), 12 and 13 in fixed format, bytes 1 (low 4 bits), 2
// and 3 in descriptor format. Other response codes leave the format none and
// are read in the layout `other_layout` (none: key, ASC and ASCQ stay 0).
// A field the device did not return reads 0.
vdx_sense vdx_sense_decode(std::span<const std::uint8_t> bytes,
                           vdx_sense_format other_layout = vdx_sense_format::none);

// The sense data descriptor starting at `offset` of descriptor-format sense
// (code, additional length and its body), when it lies wholly inside the
// returned bytes; empty otherwise.
std::span<const std::uint8_t> vdx_sense_descriptor_at(const vdx_sense& sense, std::size_t offset);

}  // namespace enctl
