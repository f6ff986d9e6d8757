// SCSI-ATA translation: ATA commands wrapped in ATA PASS-THROUGH(16), and the
// ATA registers read back from the returned sense data.
#pragma once

#include <cstdint>

#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::uint8_t kSatPassThrough12 = 0xA1;
inline constexpr std::uint8_t kSatPassThrough16 = 0x85;

// Fills `scsi` (zeroed first) with the ATA PASS-THROUGH(16) form of `ata`:
// direction, data buffer, length and time-out from the ATA command, sense
// length 32.
void vdx_scsi_build_ata_pass_through(vdx_scsi_cmd* scsi, const vdx_ata_cmd& ata);

// Reads the ATA result registers (status, error, count, LBA, device) of a
// finished ATA PASS-THROUGH out of its sense data into `ata`.
void vdx_scsi_fill_ata_result_from_sat(const vdx_scsi_cmd& scsi, vdx_ata_cmd* ata);

// Opcode A1h or 85h with CK_COND (byte 2 bit 5) set.
bool vdx_scsi_is_ata_pass_through_ck_cond(const vdx_scsi_cmd& scsi);

}  // namespace enctl
