// SCSI commands through SG_IO (sg v3 header) and NVMe commands through the
// NVMe passthrough ioctls. Every ioctl goes through linux_ioctl_seam.
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "basekit/trace.h"
#include "vdx/linux/vdx_linux.h"

namespace enctl {

namespace {
// Driver status values below DRIVER_SENSE (08h) that mean the request failed.
constexpr unsigned kDriverStatusErrorMask = 0x07;
// How the sg driver reports a command that ran into its time-out.
constexpr unsigned kHostStatusTimeOut = 0x03;    // DID_TIME_OUT
constexpr unsigned kDriverStatusTimeOut = 0x06;  // DRIVER_TIMEOUT
// A unit attention reports an event of the device (a reset, changed LUNs or
// mode pages) and that the command was not run: the sg driver hands it to
// the caller. The command is sent again, a few times since several events
// can be queued.
constexpr int kUnitAttentionRetries = 3;

bool unit_attention(const sg_io_hdr_t& hdr, const std::uint8_t* sense) {
    if (hdr.status != 0x02 || hdr.sb_len_wr < 3) return false;
    const std::uint8_t response_code = sense[0] & 0x7F;
    if (response_code == 0x72 || response_code == 0x73) return (sense[1] & 0x0F) == 0x06;
    if (response_code == 0x70 || response_code == 0x71) return (sense[2] & 0x0F) == 0x06;
    return false;
}
}  // namespace

int linux_ioctl_default(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

linux_ioctl_fn linux_ioctl_seam = &linux_ioctl_default;

int vdx_linux_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (!dev || !cmd) return VDX_ERROR(error, kErrOsRequest, EINVAL, "error executing scsi SG_IO ioctl");
    if (cmd->cdb_length == 0 || cmd->cdb_length > sizeof cmd->cdb)
        return VDX_ERROR(error, kErrOsRequest, EINVAL, "invalid cdb length %u", cmd->cdb_length);
    // Probe commands come here without the dispatch.
    if (vdx_dev_check_answering(error, dev)) return 1;

    sg_io_hdr_t hdr;
    std::memset(&hdr, 0, sizeof hdr);
    hdr.interface_id = 'S';
    const bool has_data = cmd->transfer_length != 0 && cmd->data != nullptr;
    if (!has_data)
        hdr.dxfer_direction = SG_DXFER_NONE;
    else if (cmd->direction == kVdxDirToDevice)
        hdr.dxfer_direction = SG_DXFER_TO_DEV;
    else if (cmd->direction == kVdxDirFromDevice)
        hdr.dxfer_direction = SG_DXFER_FROM_DEV;
    else
        return VDX_ERROR(error, kErrOsRequest, EINVAL, "invalid data direction %u", cmd->direction);
    hdr.cmd_len = static_cast<unsigned char>(cmd->cdb_length);
    hdr.cmdp = cmd->cdb;
    hdr.dxfer_len = has_data ? cmd->transfer_length : 0;
    hdr.dxferp = has_data ? cmd->data : nullptr;
    hdr.mx_sb_len = static_cast<unsigned char>(
        cmd->sense_length == 0 || cmd->sense_length > sizeof cmd->sense ? sizeof cmd->sense : cmd->sense_length);
    hdr.sbp = cmd->sense;
    hdr.timeout = cmd->timeout;

    TRACE_AT(kTraceDevice, "SG_IO %s opcode %02xh, %u bytes\n", dev->name, cmd->cdb[0], hdr.dxfer_len);
    cmd->bytes_transferred = 0;
    cmd->scsi_status = 0;
    for (int attempt = 0;; ++attempt) {
        std::memset(cmd->sense, 0, sizeof cmd->sense);
        if (linux_ioctl_seam(static_cast<int>(dev->os_handle), SG_IO, &hdr) < 0) {
            const int os_error = errno;
            cmd->sense_length = 0;
            if (os_error == ETIMEDOUT) return vdx_dev_timed_out(error, dev, "SG_IO ETIMEDOUT");
            return VDX_ERROR(error, kErrOsRequest, static_cast<std::uint32_t>(os_error),
                             "error executing scsi SG_IO ioctl");
        }
        if (attempt == kUnitAttentionRetries || !unit_attention(hdr, cmd->sense)) break;
        TRACE_AT(kTraceDevice, "SG_IO %s unit attention, sending again\n", dev->name);
    }
    cmd->scsi_status = hdr.status;
    cmd->sense_length = hdr.sb_len_wr <= sizeof cmd->sense ? hdr.sb_len_wr : sizeof cmd->sense;
    if (hdr.resid <= 0)
        cmd->bytes_transferred = hdr.dxfer_len;
    else if (static_cast<unsigned>(hdr.resid) >= hdr.dxfer_len)
        cmd->bytes_transferred = 0;
    else
        cmd->bytes_transferred = hdr.dxfer_len - static_cast<unsigned>(hdr.resid);
    TRACE_AT(kTraceDevice, "SG_IO status %02xh host %xh driver %xh transferred %u\n", hdr.status,
             hdr.host_status, hdr.driver_status, cmd->bytes_transferred);

    if (hdr.host_status == kHostStatusTimeOut || (hdr.driver_status & 0x0F) == kDriverStatusTimeOut)
        return vdx_dev_timed_out(error, dev, "SG_IO time-out");
    if (hdr.host_status != 0)
        return VDX_ERROR(error, kErrOsRequest, hdr.host_status, "scsi command failed - host status %xh",
                         hdr.host_status);
    if (hdr.driver_status & kDriverStatusErrorMask)
        return VDX_ERROR(error, kErrOsRequest, hdr.driver_status,
                         "scsi command failed - driver status %xh", hdr.driver_status);
    return 0;
}

int vdx_linux_nvme_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (!dev || !cmd) return VDX_ERROR(error, kErrOsRequest, EINVAL, "error executing nvme ioctl");
    if (vdx_dev_check_answering(error, dev)) return 1;
    struct nvme_passthru_cmd passthru;
    std::memset(&passthru, 0, sizeof passthru);
    passthru.opcode = static_cast<std::uint8_t>(cmd->opcode);
    passthru.nsid = cmd->nsid;
    passthru.cdw10 = cmd->cdw10;
    passthru.cdw11 = cmd->cdw11;
    passthru.cdw12 = cmd->cdw12;
    passthru.cdw13 = cmd->cdw13;
    passthru.cdw14 = cmd->cdw14;
    passthru.cdw15 = cmd->cdw15;
    if (cmd->data && cmd->length && cmd->direction != kVdxDirNone) {
        passthru.addr = reinterpret_cast<std::uintptr_t>(cmd->data);
        passthru.data_len = cmd->length;
    }
    passthru.timeout_ms = cmd->timeout;
    const unsigned long request = cmd->queue == 0 ? NVME_IOCTL_ADMIN_CMD : NVME_IOCTL_IO_CMD;

    std::memset(cmd->completion, 0, sizeof cmd->completion);
    const int result = linux_ioctl_seam(static_cast<int>(dev->os_handle), request, &passthru);
    // A command that ran into the time-out is aborted by the driver: the
    // ioctl fails with EINTR (cancelled) or ETIMEDOUT, or completes with
    // Host Aborted Command (status code type 3, code 71h).
    if ((result < 0 && (errno == ETIMEDOUT || errno == EINTR)) || (result > 0 && (result & 0x7FF) == 0x371))
        return vdx_dev_timed_out(error, dev, "nvme command aborted");
    if (result < 0) {
        const int os_error = errno;
        return VDX_ERROR(error, kErrOsRequest, static_cast<std::uint32_t>(os_error),
                         "error executing nvme %s ioctl", cmd->queue == 0 ? "admin" : "io");
    }
    // A positive result is the completion's status field without the phase bit.
    cmd->completion[0] = passthru.result;
    cmd->completion[3] = (static_cast<std::uint32_t>(result) & 0x7FFFu) << 17;
    TRACE_AT(kTraceDevice, "nvme %s opcode %02xh status %xh\n", dev->name, cmd->opcode,
             static_cast<unsigned>(result));
    return 0;
}

}  // namespace enctl
