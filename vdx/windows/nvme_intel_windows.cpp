// NVMe behind the Intel drivers. Intel RST (interface 6): pass-through and
// firmware requests through IOCTL_SCSI_MINIPORT on the RST storage port (the
// record's second handle); the commands the storage stack takes only as SCSI,
// and Format NVM, go the inbox way. Intel RSTe (interface 7): the NVMe
// miniport pass-through under "NvmeRAID", addressed by the record's disk id.
#include <algorithm>
#include <cstring>
#include <vector>

#include "basekit/trace.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

constexpr char kSource[] = "..\\vdx\\windows\\vdx_nvme_windows_rst";
constexpr char kRsteSource[] = "..\\vdx\\windows\\vdx_nvme_windows_rste";

// The data a pass-through moves: the command's own, or for opcode E4h a
// zeroed 4096-byte block to the device whatever the command carried (the
// command's buffer fields are cleared once the request is done).
struct intel_transfer {
    std::vector<std::uint8_t> zeroed;
    std::uint8_t* data;
    std::uint32_t length;
    std::uint32_t direction;

    explicit intel_transfer(const vdx_nvme_cmd& cmd)
        : zeroed(cmd.opcode == 0xE4 ? 4096 : 0),
          data(cmd.opcode == 0xE4 ? zeroed.data() : cmd.data),
          length(cmd.opcode == 0xE4 ? 4096 : (cmd.data ? cmd.length : 0)),
          direction(cmd.opcode == 0xE4 ? kVdxDirToDevice : cmd.direction) {}

    void finish(vdx_nvme_cmd* cmd) const {
        if (cmd->opcode != 0xE4) return;
        cmd->data = nullptr;
        cmd->length = 0;
    }
};

int rst_pass_through(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    using inp = wl::intel_nvm_pass_through;
    const intel_transfer transfer(*cmd);
    std::vector<std::uint8_t> request(sizeof(inp) + transfer.length, 0);
    wl::put_srb(request, "IntelNvm", vdx_windows_seconds_down(cmd->timeout), wl::kIntelNvmControlCode);
    wl::put8(request, offsetof(inp, Version), 1);
    wl::put8(request, offsetof(inp, PathId), dev->scsi_address.path);
    wl::put8(request, offsetof(inp, TargetId), dev->scsi_address.target);
    wl::put8(request, offsetof(inp, Lun), dev->scsi_address.lun);
    wl::put_nvme_command(request, offsetof(inp, Command), *cmd);
    wl::put32(request, offsetof(inp, DataOffset), sizeof(inp));
    wl::put32(request, offsetof(inp, DataLength), transfer.length);
    if (transfer.direction == kVdxDirToDevice && transfer.length)
        std::memcpy(request.data() + sizeof(inp), transfer.data, transfer.length);

    std::uint32_t os_error = 0;
    const bool ok = vdx_windows_ioctl(dev->second_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error);
    transfer.finish(cmd);
    if (!ok) {
        TRACE_AT(kTraceDevice, "irst ioctl failed (%u)\n", os_error);
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_rst_execute", __LINE__,
                             "error executing scsi miniport rst DeviceIoControl");
    }
    for (std::size_t i = 0; i < 4; ++i) cmd->completion[i] = wl::get32(request, offsetof(inp, Completion) + 4 * i);
    if (transfer.direction == kVdxDirFromDevice && transfer.length)
        std::memcpy(cmd->data, request.data() + sizeof(inp), transfer.length);
    return vdx_error_clear(error);
}

// Firmware Commit (10h) and Firmware Image Download (11h) as Intel firmware
// requests. The driver answers a commit whose image waits for a reset with
// SRB return code 20h.
int rst_firmware(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    const bool activate = cmd->opcode == 0x10;
    const std::span<const std::uint8_t> image(cmd->data, cmd->data ? cmd->length : 0);
    std::vector<std::uint8_t> request(
        wl::kIntelFwPayload + (activate ? sizeof(wl::storage_firmware_activate)
                                        : sizeof(wl::storage_firmware_download_v2) + image.size()),
        0);
    wl::put_intel_fw_request(request, vdx_windows_seconds_down(cmd->timeout), dev->scsi_address.path,
                             dev->scsi_address.target, dev->scsi_address.lun,
                             activate ? wl::kFirmwareFunctionActivate : wl::kFirmwareFunctionDownload, 1);
    if (activate)
        wl::put_firmware_activate(request, wl::kIntelFwPayload, cmd->cdw10 & 7);
    else
        wl::put_firmware_download_v2(request, wl::kIntelFwPayload, std::uint64_t{cmd->cdw11} * 4, image);

    const char* what = activate ? "activate" : "download";
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->second_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_rst_execute", __LINE__,
                             "error executing firmware %s DeviceIoControl", what);
    const std::uint32_t code = wl::get32(request, wl::kSrbReturnCode);
    if (code != 0 && !(activate && code == 0x20))
        return vdx_error_set(error, kErrOsRequest, code, kSource, "vdx_nvme_windows_rst_execute", __LINE__,
                             "SRB_IO_CONTROL return code %d on iRST firmware %s", static_cast<int>(code), what);
    return vdx_error_clear(error);
}

}  // namespace

int vdx_nvme_windows_rst_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (vdx_nvme_windows_goes_as_scsi(*cmd) || (cmd->queue == 0 && cmd->opcode == 0x80)) {
        TRACE_AT(kTraceDevice, "reroute rst command to basic windows execute\n");
        return vdx_nvme_windows_execute(error, dev, cmd);
    }
    if (cmd->queue == 0 && (cmd->opcode == 0x10 || cmd->opcode == 0x11)) return rst_firmware(error, dev, cmd);
    return rst_pass_through(error, dev, cmd);
}

bool vdx_nvme_windows_rst_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (dev->connection_driver == kVdxDriverAdaptecRaid) {
        TRACE_AT(kTraceDevice, "skip nvme rst disk windows probe on adaptec raid driver\n");
        return false;
    }
    if (dev->connection == kVdxConnectionStorage && !win_read_scsi_address(dev->os_handle, &dev->scsi_address)) {
        TRACE_AT(kTraceDevice, "failed to capture scsi addr (%d)\n", static_cast<int>(g_win32.get_last_error()));
        return false;
    }
    return vdx_nvme_identify_probe(dev, &vdx_nvme_windows_rst_execute, "irst nvme");
}

int vdx_nvme_windows_rste_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    using nmp = wl::nvme_miniport_pass_through;
    const intel_transfer transfer(*cmd);
    std::vector<std::uint8_t> request(sizeof(nmp) + transfer.length, 0);
    wl::put_nvme_miniport(request, "NvmeRAID", vdx_windows_seconds_down(cmd->timeout), *cmd, transfer.direction,
                          transfer.length);
    // The driver takes the drive's disk id in the return code field.
    const vdx_windows_state* state = vdx_windows_state_if(*dev);
    wl::put32(request, wl::kSrbReturnCode, state ? state->rste_disk_id : 0);
    if (transfer.length) std::memcpy(request.data() + sizeof(nmp), transfer.data, transfer.length);

    std::uint32_t os_error = 0;
    const bool ok = vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error);
    transfer.finish(cmd);
    if (!ok)
        return vdx_error_set(error, kErrOsRequest, os_error, kRsteSource, "vdx_nvme_windows_rste_execute",
                             __LINE__, "error executing rste passthrough DeviceIoControl");
    if (cmd->data && cmd->length) {
        const std::uint32_t returned = std::min(wl::get32(request, offsetof(nmp, DataBufferLen)), cmd->length);
        std::memcpy(cmd->data, request.data() + sizeof(nmp), returned);
    }
    for (std::size_t i = 0; i < 4; ++i) cmd->completion[i] = wl::get32(request, offsetof(nmp, Completion) + 4 * i);
    return vdx_error_clear(error);
}

}  // namespace enctl
