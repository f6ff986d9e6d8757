// ATA on Windows (interface 12 outside CSMI): IOCTL_ATA_PASS_THROUGH with the
// double-buffered ATA_PASS_THROUGH_EX, the commands that go through SAT, the
// routing of DOWNLOAD MICROCODE to firmware requests, and the probe.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "basekit/trace.h"
#include "vdx/vdx_sat.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

std::uint16_t ata_flags(const vdx_ata_cmd& cmd) {
    std::uint16_t flags = ATA_FLAGS_DRDY_REQUIRED;
    if (cmd.extend) flags |= ATA_FLAGS_48BIT_COMMAND;
    if (cmd.protocol == 6 || cmd.protocol == 10 || cmd.protocol == 11 || cmd.protocol == 12) flags |= ATA_FLAGS_USE_DMA;
    if (cmd.direction == kVdxDirToDevice) flags |= ATA_FLAGS_DATA_OUT;
    if (cmd.direction == kVdxDirFromDevice) flags |= ATA_FLAGS_DATA_IN;
    return flags;
}

int execute_ata_passthrough_ex(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    std::vector<std::uint8_t> request(wl::kAptSize + cmd->length, 0);
    ATA_PASS_THROUGH_EX apt{};
    apt.Length = wl::kAptSize;
    apt.AtaFlags = ata_flags(*cmd);
    apt.DataTransferLength = cmd->length;
    apt.TimeOutValue = vdx_windows_seconds_up(cmd->timeout);
    apt.DataBufferOffset = wl::kAptSize;
    if (cmd->extend) {
        apt.PreviousTaskFile[0] = static_cast<UCHAR>(cmd->features >> 8);
        apt.PreviousTaskFile[1] = static_cast<UCHAR>(cmd->count >> 8);
        apt.PreviousTaskFile[2] = static_cast<UCHAR>(cmd->lba >> 24);
        apt.PreviousTaskFile[3] = static_cast<UCHAR>(cmd->lba >> 32);
        apt.PreviousTaskFile[4] = static_cast<UCHAR>(cmd->lba >> 40);
    }
    apt.CurrentTaskFile[0] = static_cast<UCHAR>(cmd->features);
    apt.CurrentTaskFile[1] = static_cast<UCHAR>(cmd->count);
    apt.CurrentTaskFile[2] = static_cast<UCHAR>(cmd->lba);
    apt.CurrentTaskFile[3] = static_cast<UCHAR>(cmd->lba >> 8);
    apt.CurrentTaskFile[4] = static_cast<UCHAR>(cmd->lba >> 16);
    apt.CurrentTaskFile[5] = cmd->device;
    apt.CurrentTaskFile[6] = cmd->command;
    std::memcpy(request.data(), &apt, sizeof apt);
    if (cmd->data && cmd->length) std::memcpy(request.data() + wl::kAptSize, cmd->data, cmd->length);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("vdx ata cmd out\n", {request.data(), wl::kAptSize});

    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlAtaPassThrough, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, "..\\vdx\\windows\\vdx_ata_windows",
                             "execute_ata_passthrough_ex", 679, "error executing ata pass through DeviceIoControl");
    std::memcpy(&apt, request.data(), sizeof apt);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("ata passthrough ex buffer in\n", {request.data(), wl::kAptSize});
    const UCHAR* cur = apt.CurrentTaskFile;
    const UCHAR* prev = apt.PreviousTaskFile;
    cmd->error = cur[0];
    cmd->count = static_cast<std::uint16_t>((prev[1] << 8) | cur[1]);
    cmd->lba = std::uint64_t{cur[2]} | (std::uint64_t{cur[3]} << 8) | (std::uint64_t{cur[4]} << 16) |
               (std::uint64_t{prev[2]} << 24) | (std::uint64_t{prev[3]} << 32) | (std::uint64_t{prev[4]} << 40);
    cmd->device = cur[5];
    cmd->status = cur[6];
    if (cmd->direction == kVdxDirFromDevice && cmd->data)
        std::memcpy(cmd->data, request.data() + wl::kAptSize, cmd->length);
    return vdx_error_clear(error);
}

int execute_through_sat(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    vdx_scsi_cmd scsi;
    vdx_scsi_build_ata_pass_through(&scsi, *cmd);
    if (vdx_scsi_windows_execute(error, dev, &scsi) != 0) return 1;
    vdx_scsi_fill_ata_result_from_sat(scsi, cmd);
    return 0;
}

}  // namespace

int vdx_ata_windows_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (vdx_windows_refuse_behind_csmi(error, *dev, "ata", "..\\vdx\\windows\\vdx_ata_windows",
                                       "vdx_ata_windows_execute", __LINE__))
        return 1;
    // DOWNLOAD MICROCODE with offsets (0Eh) and its activation (0Fh) are not
    // passed through by the Intel RST driver, nor by the inbox AHCI driver of
    // Windows 10: they go as those drivers' firmware requests.
    const bool download_microcode = cmd->command == 0x92 || cmd->command == 0x93;
    if (download_microcode && dev->connection_driver == kVdxDriverIntelRst) {
        if (cmd->features == 0x0E) return execute_intel_rst_firmware_download(error, dev, cmd);
        if (cmd->features == 0x0F) return execute_intel_rst_firmware_activate(error, dev, cmd);
    }
    if (download_microcode && dev->connection_driver == kVdxDriverInboxAhci &&
        win32_host_release() == win32_release::windows_10) {
        if (cmd->features == 0x0E) return execute_storage_hw_firmware_download(error, dev, cmd);
        if (cmd->features == 0x0F) return execute_storage_hw_firmware_activate(error, dev, cmd);
    }
    if (cmd->command == 0xB4 || (cmd->command >= 0xF1 && cmd->command <= 0xF6)) return execute_through_sat(error, dev, cmd);
    return execute_ata_passthrough_ex(error, dev, cmd);
}

vdx_ata_cmd vdx_ata_windows_probe_identify(std::span<std::uint8_t, 512> data) {
    vdx_ata_cmd cmd{};
    cmd.protocol = 4;
    cmd.t_length = 2;
    cmd.transfer_unit = 1;
    cmd.count = 1;
    cmd.command = 0xEC;  // IDENTIFY DEVICE
    cmd.data = data.data();
    cmd.length = 512;
    cmd.timeout = 500;
    cmd.direction = kVdxDirFromDevice;
    return cmd;
}

bool vdx_ata_windows_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, 512> data{};
    vdx_ata_cmd cmd = vdx_ata_windows_probe_identify(data);
    vdx_error error{};
    if (vdx_ata_windows_execute(&error, dev, &cmd) != 0) {
        if (g_trace_level >= kTraceDevice) {
            trace_print("ata windows ident failed\n");
            trace_print_error(error);
        }
        return false;
    }
    if (cmd.status == 0 && cmd.error == 0) {
        TRACE_AT(kTraceDevice, "ata windows ident returned cmd stat/err 00h/00h - interface no good\n");
        return false;
    }
    if (cmd.status == 0x51 && cmd.error == 0x04) {
        TRACE_AT(kTraceDevice, "ata windows ident returned cmd stat/err 51h/04h - interface no good\n");
        return false;
    }
    if (std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0; })) {
        TRACE_AT(kTraceDevice, "ata windows ident returned an empty buffer - interface no good\n");
        return false;
    }
    return true;
}

}  // namespace enctl
