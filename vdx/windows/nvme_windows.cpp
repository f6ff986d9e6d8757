// NVMe through the Windows inbox storage stack (interface 5): SCSI
// translations for the commands the stack only takes as SCSI, the miniport
// firmware requests, the temperature threshold, protocol-specific property
// queries and IOCTL_STORAGE_PROTOCOL_COMMAND.
#include <algorithm>
#include <cstring>
#include <vector>

#include "basekit/trace.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

constexpr char kSource[] = "..\\vdx\\windows\\vdx_nvme_windows";

int execute_as_scsi(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    vdx_scsi_cmd scsi{};
    if (cmd->queue == 0) {
        scsi.cdb[0] = cmd->opcode == 0x82 ? 0xA2 : 0xB5;
        scsi.cdb[1] = static_cast<std::uint8_t>(cmd->cdw10 >> 24);
        scsi.cdb[2] = static_cast<std::uint8_t>(cmd->cdw10 >> 16);
        scsi.cdb[3] = static_cast<std::uint8_t>(cmd->cdw10 >> 8);
        for (int i = 0; i < 4; ++i) scsi.cdb[6 + i] = static_cast<std::uint8_t>(cmd->cdw11 >> (24 - 8 * i));
        scsi.cdb_length = 12;
    } else if (cmd->opcode == 0x00) {
        scsi.cdb[0] = 0x35;
        scsi.cdb_length = 10;
    }
    scsi.data = cmd->data;
    scsi.transfer_length = cmd->length;
    scsi.sense_length = 32;
    scsi.timeout = cmd->timeout;
    scsi.direction = cmd->direction;
    vdx_scsi_windows_execute(error, dev, &scsi);
    return vdx_error_is_error(error) ? 1 : 0;
}

int execute_firmware(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    const bool activate = cmd->opcode == 0x10;
    std::vector<std::uint8_t> request(activate ? 68 : cmd->length + 80, 0);
    wl::put_srb(request, "FIRMWARE", vdx_windows_seconds_down(cmd->timeout), wl::kIoctlScsiMiniportFirmware);
    wl::put_firmware_request_block(request, wl::kSrbSize,
                                   activate ? wl::kFirmwareFunctionActivate : wl::kFirmwareFunctionDownload, 1, 56);
    wl::put32(request, 56, 1);
    if (activate) {
        wl::put32(request, 60, 12);
        wl::put8(request, 64, cmd->cdw10 & 7);
    } else {
        wl::put32(request, 60, 24);
        wl::put64(request, 64, std::uint64_t{cmd->cdw11} * 4);
        wl::put64(request, 72, cmd->length);
        if (cmd->length && cmd->data) std::memcpy(request.data() + 80, cmd->data, cmd->length);
    }
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_execute", __LINE__,
                             "error executing scsi miniport protocol DeviceIoControl");
    return vdx_error_clear(error);
}

int execute_temperature_threshold(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    // Set Features 04h, dword 11: threshold in Kelvin (bits 15-0), sensor
    // (bits 19-16), 0 in bits 21-20 for the over-temperature threshold.
    using stt = wl::storage_temperature_threshold;
    std::uint8_t request[sizeof(stt)] = {};
    wl::put32(request, offsetof(stt, Version), sizeof(stt));
    wl::put32(request, offsetof(stt, Size), sizeof(stt));
    wl::put16(request, offsetof(stt, Flags), wl::kTemperatureThresholdAdapterRequest);
    wl::put16(request, offsetof(stt, Index), (cmd->cdw11 >> 16) & 0xF);
    wl::put16(request, offsetof(stt, Threshold),
              static_cast<std::uint16_t>(static_cast<std::int32_t>(cmd->cdw11 & 0xFFFF) - 273));
    wl::put8(request, offsetof(stt, OverThreshold), ((cmd->cdw11 >> 20) & 3) == 0 ? 1 : 0);
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageSetTemperatureThreshold, request, {}, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_execute", __LINE__,
                             "error executing storage temperature threshold DeviceIoControl");
    return vdx_error_clear(error);
}

int execute_query_property(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    const std::uint32_t data_length = std::max<std::uint32_t>(cmd->length, 512);
    std::vector<std::uint8_t> in(wl::kProtocolQuerySize, 0);
    const std::uint32_t low = cmd->cdw10 & 0xFF;
    std::uint32_t property = 50, data_type = 0;
    wl::put32(in, wl::kQueryProtocolType, 3);  // NVMe
    switch (cmd->opcode) {
        case 0x06:
            property = low == 1 ? 49 : 50;
            data_type = 1;
            wl::put32(in, wl::kQueryRequestValue, low);
            break;
        case 0x02:
            property = 49;
            data_type = 2;
            wl::put32(in, wl::kQueryRequestValue, low);
            wl::put32(in, wl::kQuerySubValue, cmd->cdw12);
            wl::put32(in, wl::kQuerySubValue2, cmd->cdw13);
            wl::put32(in, wl::kQuerySubValue3, cmd->cdw11);
            wl::put32(in, wl::kQuerySubValue4, cmd->cdw10);
            break;
        default:  // 0Ah Get Features
            property = 50;
            data_type = 3;
            wl::put32(in, wl::kQueryRequestValue, low);
            wl::put32(in, wl::kQuerySubValue, cmd->cdw11);
            break;
    }
    wl::put32(in, 0, property);
    wl::put32(in, 4, 0);  // PropertyStandardQuery
    wl::put32(in, wl::kQueryDataType, data_type);
    wl::put32(in, wl::kQueryDataOffset, 40);
    wl::put32(in, wl::kQueryDataLength, data_length);
    std::vector<std::uint8_t> out(wl::kProtocolQuerySize + data_length, 0);
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageQueryProperty, in, out, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_execute", __LINE__,
                             "error executing storage query property DeviceIoControl");
    if (cmd->data && cmd->length) std::memcpy(cmd->data, out.data() + wl::kProtocolQuerySize, cmd->length);
    cmd->completion[0] = wl::get32(out, wl::kAnswerFixedReturnData);
    return vdx_error_clear(error);
}

int execute_protocol_command(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    std::uint32_t length = cmd->length;
    std::uint32_t direction = cmd->direction;
    std::vector<std::uint8_t> padded;
    const std::uint8_t* to_device = cmd->data;
    if (cmd->opcode == 0xE9 && length < 4096) {
        padded.assign(4096, 0);
        if (cmd->data && length) std::memcpy(padded.data(), cmd->data, length);
        to_device = padded.data();
        length = 4096;
        direction = kVdxDirToDevice;
    }
    std::vector<std::uint8_t> request(wl::kProtocolDataOffset + length, 0);
    using spc = wl::storage_protocol_command;
    wl::put32(request, offsetof(spc, Version), 1);
    wl::put32(request, offsetof(spc, Length), wl::kProtocolCommandHeader);
    wl::put32(request, offsetof(spc, ProtocolType), 3);  // NVMe
    wl::put32(request, offsetof(spc, Flags), 0x80000000u);  // adapter request
    wl::put32(request, offsetof(spc, CommandLength), 64);
    wl::put32(request, offsetof(spc, ErrorInfoLength), 64);
    wl::put32(request, offsetof(spc, ErrorInfoOffset), wl::kProtocolErrorInfoOffset);
    wl::put32(request, offsetof(spc, TimeOutValue), vdx_windows_seconds_up(cmd->timeout));
    wl::put32(request, offsetof(spc, CommandSpecific), cmd->queue == 0 ? 1 : 0);
    if (direction == kVdxDirFromDevice) {
        wl::put32(request, offsetof(spc, DataFromDeviceBufferOffset), wl::kProtocolDataOffset);
        wl::put32(request, offsetof(spc, DataFromDeviceTransferLength), length);
    } else if (direction == kVdxDirToDevice) {
        wl::put32(request, offsetof(spc, DataToDeviceBufferOffset), wl::kProtocolDataOffset);
        wl::put32(request, offsetof(spc, DataToDeviceTransferLength), length);
        if (to_device && length) std::memcpy(request.data() + wl::kProtocolDataOffset, to_device, length);
    }
    wl::put_nvme_command(request, wl::kProtocolCommandOffset, *cmd);
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageProtocolCommand, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_execute", __LINE__,
                             "error executing storage protocol DeviceIoControl");
    cmd->completion[0] = wl::get32(request, offsetof(spc, FixedProtocolReturnData));
    if (direction == kVdxDirFromDevice && cmd->data)
        std::memcpy(cmd->data, request.data() + wl::kProtocolDataOffset, cmd->length);
    const std::uint32_t status = wl::get32(request, offsetof(spc, ReturnStatus));
    if (status != 1)
        return vdx_error_set(error, kErrOsRequest, status, kSource, "vdx_nvme_windows_execute", __LINE__,
                             "storage protocol command ReturnStatus %xh", status);
    return vdx_error_clear(error);
}

}  // namespace

bool vdx_nvme_windows_goes_as_scsi(const vdx_nvme_cmd& cmd) {
    if (cmd.queue == 0) return cmd.opcode == 0x81 || cmd.opcode == 0x82;
    return cmd.opcode == 0x00 || cmd.opcode == 0x65 || cmd.opcode == 0x66;
}

bool vdx_nvme_identify_probe(vdx_dev* dev, int (*execute)(vdx_error*, vdx_dev*, vdx_nvme_cmd*), const char* who) {
    std::vector<std::uint8_t> data(4096, 0);
    vdx_nvme_cmd cmd{};
    cmd.opcode = 0x06;
    cmd.cdw10 = 1;
    cmd.data = data.data();
    cmd.length = 4096;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 500;
    vdx_error error{};
    if (execute(&error, dev, &cmd) != 0) {
        if (g_trace_level >= kTraceDevice) {
            trace_print("%s identify failed\n", who);
            trace_print_error(error);
        }
        return false;
    }
    if (std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0; })) {
        TRACE_AT(kTraceDevice, "%s identify buffer all zeroes\n", who);
        return false;
    }
    return true;
}

int vdx_nvme_windows_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (vdx_windows_refuse_behind_csmi(error, *dev, "nvme", kSource, "vdx_nvme_windows_execute", __LINE__))
        return 1;
    if (vdx_nvme_windows_goes_as_scsi(*cmd)) return execute_as_scsi(error, dev, cmd);
    if (cmd->queue == 0) {
        if (cmd->opcode == 0x10 || cmd->opcode == 0x11) return execute_firmware(error, dev, cmd);
        if (cmd->opcode == 0x09 && (cmd->cdw10 & 0xFF) == 0x04) return execute_temperature_threshold(error, dev, cmd);
        if (cmd->opcode == 0x02 || cmd->opcode == 0x06 || cmd->opcode == 0x0A) return execute_query_property(error, dev, cmd);
    }
    return execute_protocol_command(error, dev, cmd);
}

bool vdx_nvme_windows_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (dev->connection_driver == kVdxDriverAdaptecRaid) {
        TRACE_AT(kTraceDevice, "skip nvme windows probe on adaptec raid driver\n");
        return false;
    }
    return vdx_nvme_identify_probe(dev, &vdx_nvme_windows_execute, "nvme windows");
}

}  // namespace enctl
