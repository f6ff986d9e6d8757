// Judging a finished SCSI command.
#include "basekit/trace.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "vdx/vdx_sat.h"
#include "vdx/vdx_sense.h"

namespace enctl {

namespace {

// The ATA status of a pass-through command decides: ERR set is a device error.
int ata_check_error(vdx_error* error, const vdx_ata_cmd& ata) {
    if (ata.status & 0x01)
        return VDX_ERROR(error, kErrDeviceStatus, (static_cast<std::uint32_t>(ata.status) << 8) | ata.error,
                         "device error detected, status %xh, error %xh", ata.status, ata.error);
    return vdx_error_clear(error);
}

}  // namespace

int cmdxscsi_check_error(vdx_error* error, const vdx_scsi_cmd& cmd) {
    if (cmd.scsi_status == kScsiStatusGood) return vdx_error_clear(error);
    if (cmd.scsi_status == kScsiStatusCheckCondition) {
        if (vdx_scsi_is_ata_pass_through_ck_cond(cmd)) {
            vdx_ata_cmd ata{};
            vdx_scsi_fill_ata_result_from_sat(cmd, &ata);
            return ata_check_error(error, ata);
        }
        // Only the sense bytes returned are read; a response code other than
        // the fixed ones is read in descriptor layout.
        const vdx_sense sense = vdx_sense_decode(vdx_scsi_sense_bytes(cmd), vdx_sense_format::descriptor);
        if (g_trace_level >= kTraceRaw) trace_hex_dump("scsi sense", sense.bytes);
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0, "SCSI Error: Status: %XH Sense Code: %02X/%02X/%02XH\n",
                         cmd.scsi_status, sense.key, sense.asc, sense.ascq);
    }
    return VDX_ERROR(error, kErrDeviceStatus, cmd.scsi_status, "device error detected, scsi status %xh",
                     cmd.scsi_status);
}

}  // namespace enctl
