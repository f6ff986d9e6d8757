// ATA to drives behind a CSMI port (interface 12, connection 1): the STP
// pass-through of the port's driver, a register host-to-device FIS out and
// the device-to-host FIS back, and its probe.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "basekit/trace.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

constexpr char kSource[] = "..\\vdx\\windows\\vdx_ata_windows_csmi";

std::uint32_t stp_flags(std::uint8_t protocol) {
    switch (protocol) {
    case 3:
        return wl::kCsmiStpUnspecified;  // non-data
    case 4:
        return wl::kCsmiStpPio | wl::kCsmiStpRead;  // PIO data-in
    case 5:
        return wl::kCsmiStpPio | wl::kCsmiStpWrite;  // PIO data-out
    case 6:
        return wl::kCsmiStpDma;
    case 8:
        return wl::kCsmiStpExecuteDiag;
    case 9:
        return wl::kCsmiStpResetDevice;
    case 12:
        return wl::kCsmiStpDmaQueued;
    default:
        return 0;
    }
}

// The register host-to-device FIS of a command.
void put_command_fis(std::uint8_t (&fis)[20], const vdx_ata_cmd& cmd) {
    fis[0] = 0x27;  // register, host to device
    fis[1] = 0x80;  // command, not control
    fis[2] = cmd.command;
    fis[3] = static_cast<std::uint8_t>(cmd.features);
    fis[4] = static_cast<std::uint8_t>(cmd.lba);
    fis[5] = static_cast<std::uint8_t>(cmd.lba >> 8);
    fis[6] = static_cast<std::uint8_t>(cmd.lba >> 16);
    fis[7] = cmd.device;
    if (cmd.extend) {
        fis[8] = static_cast<std::uint8_t>(cmd.lba >> 24);
        fis[9] = static_cast<std::uint8_t>(cmd.lba >> 32);
        fis[10] = static_cast<std::uint8_t>(cmd.lba >> 40);
        fis[11] = static_cast<std::uint8_t>(cmd.features >> 8);
        fis[13] = static_cast<std::uint8_t>(cmd.count >> 8);
    }
    fis[12] = static_cast<std::uint8_t>(cmd.count);
}

// The registers of the device-to-host FIS that came back.
void take_status_fis(const std::uint8_t (&fis)[20], vdx_ata_cmd* cmd) {
    cmd->status = fis[2];
    cmd->error = fis[3];
    cmd->lba = std::uint64_t{fis[4]} | (std::uint64_t{fis[5]} << 8) | (std::uint64_t{fis[6]} << 16) |
               (std::uint64_t{fis[8]} << 24) | (std::uint64_t{fis[9]} << 32) | (std::uint64_t{fis[10]} << 40);
    cmd->device = fis[7];
    cmd->count = static_cast<std::uint16_t>(fis[12] | (fis[13] << 8));
}

}  // namespace

int execute_stp_passthru(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    const vdx_windows_state& state = vdx_windows_state_of(*dev);
    std::vector<std::uint8_t> request(wl::kCsmiStpSize + cmd->length, 0);
    wl::put_srb(request, "CSMISAS", vdx_windows_seconds_down(cmd->timeout), wl::kCcCsmiSasStpPassthru);
    auto stp = wl::load<wl::csmi_sas_stp_passthru_buffer>(request, 0);
    stp.phy_identifier = state.csmi_phy_id;
    stp.port_identifier = state.csmi_port_id;
    stp.connection_rate = state.csmi_connection_rate;
    std::memcpy(stp.destination_sas_address, state.csmi_sas_address, sizeof stp.destination_sas_address);
    put_command_fis(stp.command_fis, *cmd);
    stp.flags = stp_flags(cmd->protocol);
    stp.data_length = cmd->length;
    wl::store(request, 0, stp);
    if (cmd->direction == kVdxDirToDevice && cmd->data && cmd->length)
        std::memcpy(request.data() + wl::kCsmiStpSize, cmd->data, cmd->length);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("stp passthru out\n", {request.data(), wl::kCsmiStpSize});

    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "execute_stp_passthru", 178,
                             "error executing stp passthru DeviceIoControl");
    stp = wl::load<wl::csmi_sas_stp_passthru_buffer>(request, 0);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("stp passthru in\n", {request.data(), wl::kCsmiStpSize});
    if (stp.header.ReturnCode != 0)
        return vdx_error_set(error, kErrOsRequest, stp.header.ReturnCode, kSource, "execute_stp_passthru", 185,
                             "non-zero return code executing stp passthru DeviceIoControl");
    take_status_fis(stp.status_fis, cmd);
    if (cmd->direction == kVdxDirFromDevice && cmd->data && cmd->length)
        std::memcpy(cmd->data, request.data() + wl::kCsmiStpSize, cmd->length);
    return vdx_error_clear(error);
}

// Only drives found behind a CSMI port are asked: the request addresses a
// phy or SAS address of the port, which other devices do not have.
bool vdx_ata_windows_probe_csmi(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (dev->connection != kVdxConnectionCsmi) return false;
    std::array<std::uint8_t, 512> data{};
    vdx_ata_cmd cmd = vdx_ata_windows_probe_identify(data);
    vdx_error error{};
    if (execute_stp_passthru(&error, dev, &cmd) != 0) {
        if (g_trace_level >= kTraceDevice) {
            trace_print("ata windows csmi ident failed\n");
            trace_print_error(error);
        }
        return false;
    }
    return true;
}

}  // namespace enctl
