// SCSI pass-through on Windows: IOCTL_SCSI_PASS_THROUGH with a double
// buffer (header, sense, data), and the miniport firmware requests that carry
// WRITE BUFFER to an inbox-NVMe drive on Windows 8.1.
#include <algorithm>
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

constexpr char kSource[] = "..\\vdx\\windows\\vdx_scsi_windows";

int execute_scsi_ex(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    TRACE_ENTER_EXIT();
    const bool moves_data = cmd->direction == kVdxDirToDevice || cmd->direction == kVdxDirFromDevice;
    const std::uint32_t data_length = moves_data ? cmd->transfer_length : 0;
    std::vector<std::uint8_t> request(wl::kSptDataOffset + data_length, 0);

    SCSI_PASS_THROUGH spt{};
    spt.Length = wl::kSptSize;
    spt.CdbLength = static_cast<UCHAR>(std::min<std::uint32_t>(cmd->cdb_length, sizeof spt.Cdb));
    std::memcpy(spt.Cdb, cmd->cdb, spt.CdbLength);
    spt.SenseInfoLength = wl::kSptSenseSize;
    spt.SenseInfoOffset = wl::kSptSenseOffset;
    spt.DataIn = cmd->direction == kVdxDirToDevice     ? SCSI_IOCTL_DATA_OUT
                 : cmd->direction == kVdxDirFromDevice ? SCSI_IOCTL_DATA_IN
                                                       : SCSI_IOCTL_DATA_UNSPECIFIED;
    spt.DataTransferLength = data_length;
    spt.DataBufferOffset = moves_data ? wl::kSptDataOffset : 0;
    spt.TimeOutValue = vdx_windows_seconds_up(cmd->timeout);
    std::memcpy(request.data(), &spt, sizeof spt);
    if (cmd->direction == kVdxDirToDevice && data_length && cmd->data)
        std::memcpy(request.data() + wl::kSptDataOffset, cmd->data, data_length);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("scsi pass through structure out\n", {request.data(), wl::kSptSize});

    std::uint32_t returned = 0;
    std::uint32_t os_error = 0;
    const bool ok = vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiPassThrough, request, &returned, &os_error);

    std::memcpy(&spt, request.data(), sizeof spt);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("scsi pass through structure in\n", {request.data(), wl::kSptSize});
    const std::uint32_t sense = std::min<std::uint32_t>(wl::kSptSenseSize, spt.SenseInfoLength);
    std::memcpy(cmd->sense, request.data() + wl::kSptSenseOffset, sense);
    cmd->sense_length = sense;
    cmd->scsi_status = spt.ScsiStatus;
    cmd->bytes_transferred = returned > wl::kSptSize ? returned - wl::kSptSize : 0;
    if (cmd->direction == kVdxDirFromDevice && cmd->data)
        std::memcpy(cmd->data, request.data() + wl::kSptDataOffset,
                    std::min({cmd->transfer_length, static_cast<std::uint32_t>(spt.DataTransferLength), data_length}));

    if (!ok)
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "execute_scsi_ex", __LINE__,
                             "error executing scsi ex DeviceIoControl");
    return vdx_error_clear(error);
}

int execute_scsi_miniport(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    TRACE_ENTER_EXIT();
    const bool activate = cmd->cdb[1] == 0x0F;
    const std::uint32_t image = activate ? 0 : cmd->transfer_length;
    std::vector<std::uint8_t> request(activate ? 68 : 80 + image, 0);
    wl::put_srb(request, "FIRMWARE", vdx_windows_seconds_up(cmd->timeout), wl::kIoctlScsiMiniportFirmware);
    wl::put_firmware_request_block(request, wl::kSrbSize,
                                   activate ? wl::kFirmwareFunctionActivate : wl::kFirmwareFunctionDownload, 1, 56);
    if (activate) {
        wl::put32(request, 56, 1);   // Version
        wl::put32(request, 60, 12);  // Size
        wl::put8(request, 64, 1);    // SlotToActivate
        if (g_trace_level >= kTraceRaw) trace_hex_dump("scsi miniport fw activate out\n", request);
    } else {
        wl::put32(request, 56, 1);   // Version
        wl::put32(request, 60, 24);  // Size
        wl::put64(request, 64, (std::uint32_t{cmd->cdb[3]} << 16) | (std::uint32_t{cmd->cdb[4]} << 8) | cmd->cdb[5]);
        wl::put64(request, 72, image);
        if (image && cmd->data) std::memcpy(request.data() + 80, cmd->data, image);
        if (g_trace_level >= kTraceRaw)
            trace_hex_dump("scsi miniport fw download out\n", {request.data(), std::min<std::size_t>(request.size(), 80 + 512)});
    }
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "execute_scsi_miniport", __LINE__,
                             "error executing scsi miniport protocol DeviceIoControl");
    return vdx_error_clear(error);
}

}  // namespace

int vdx_scsi_windows_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (vdx_windows_refuse_behind_csmi(error, *dev, "scsi", kSource, "vdx_scsi_windows_execute", __LINE__))
        return 1;
    if (cmd->cdb[0] == 0x3B && dev->connection_driver == kVdxDriverInboxNvme &&
        win32_host_release() == win32_release::windows_8_1)
        return execute_scsi_miniport(error, dev, cmd);
    return execute_scsi_ex(error, dev, cmd);
}

bool vdx_scsi_windows_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    std::vector<std::uint8_t> data(512);
    vdx_scsi_cmd cmd{};
    const std::uint8_t cdb[] = {0x12, 0x00, 0x00, 0x02, 0x00, 0x00};
    std::memcpy(cmd.cdb, cdb, sizeof cdb);
    cmd.cdb_length = 6;
    cmd.data = data.data();
    cmd.transfer_length = 512;
    cmd.sense_length = 32;
    cmd.timeout = 500;
    cmd.direction = kVdxDirFromDevice;
    vdx_error error{};
    if (vdx_scsi_windows_execute(&error, dev, &cmd) == 0) return true;
    if (g_trace_level >= kTraceDevice) {
        trace_print("scsi windows inq failed\n");
        trace_print_error(error);
    }
    return false;
}

bool vdx_scsi_windows_probe_sat(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    std::vector<std::uint8_t> data(512);
    vdx_ata_cmd ata{};
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.data = data.data();
    ata.length = 512;
    ata.timeout = 500;
    ata.direction = kVdxDirFromDevice;
    vdx_scsi_cmd cmd;
    vdx_scsi_build_ata_pass_through(&cmd, ata);
    vdx_error error{};
    if (vdx_scsi_windows_execute(&error, dev, &cmd) != 0) {
        if (g_trace_level >= kTraceDevice) {
            trace_print("scsi windows sat identify failed\n");
            trace_print_error(error);
        }
        return false;
    }
    if (cmd.scsi_status != 0) {
        if (g_trace_level >= kTraceDevice) {
            trace_print("scsi windows sat identify failed (status %xh)\n", cmd.scsi_status);
            trace_print_error(error);
        }
        return false;
    }
    return true;
}

}  // namespace enctl
