// ATA command set: IDENTIFY DEVICE, its serial number parser and the status
// check of a finished ATA command.
#pragma once

#include <cstdint>
#include <span>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::uint8_t kAtaCmdIdentifyDevice = 0xEC;
inline constexpr std::uint32_t kAtaIdentifySize = 512;

// IDENTIFY DEVICE: PIO data-in, T_LENGTH from the count field, blocks,
// count 1, ECh, 512 bytes from the device.
void cmdxata_build_identify(vdx_ata_cmd* cmd, std::span<std::uint8_t> buffer);
// Builds, vdx_ata_execute, cmdxata_check_error.
int cmdxata_identify(vdx_error* error, vdx_dev* dev, std::span<std::uint8_t> buffer);
// Bytes 20-39 of the identify data, byte pairs swapped, trimmed.
int cmdxata_identify_parse_serial(vdx_error* error, std::span<char> out,
                                  std::span<const std::uint8_t> data);
// ERR (bit 0) of the returned status: kErrDeviceStatus, subcode (status << 8) | error.
int cmdxata_check_error(vdx_error* error, const vdx_ata_cmd& cmd);

}  // namespace enctl
