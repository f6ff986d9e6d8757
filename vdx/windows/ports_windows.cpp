// Drives behind storage ports "\\.\Scsi0:" to "\\.\Scsi15:" that the storage
// stack does not list as disks: the phys and RAID sets of a CSMI driver, and
// the RAID volume members, pass-through and spare disks of the Intel RSTe
// driver.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

constexpr unsigned kPortCount = 16;
// A driver that reports absurd counts is not asked for more than this many
// RAID sets, RSTe volumes or disks (a CSMI set holds at most 255 drives: its
// drive count is a byte).
constexpr std::uint32_t kMaxRaidSets = 256;
constexpr std::uint32_t kMaxCsmiDrivesPerSet = 255;
constexpr std::uint32_t kMaxRsteEntries = 256;

std::string port_path(unsigned port) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\Scsi%u:", port);
    return path;
}

std::string sas_text(const std::uint8_t (&address)[8]) {
    char text[17];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x%02x%02x", address[0], address[1], address[2],
                  address[3], address[4], address[5], address[6], address[7]);
    return text;
}

// A miniport request sent in its own buffer, as far as it went.
struct miniport_result {
    bool delivered = false;
    std::uint32_t os_error = 0;
    std::uint32_t return_code = 0;
};

miniport_result send_miniport(std::intptr_t handle, std::span<std::uint8_t> request) {
    miniport_result result;
    result.delivered = vdx_windows_ioctl(handle, wl::kIoctlScsiMiniport, request, nullptr, &result.os_error);
    if (result.delivered) result.return_code = wl::get32(request, wl::kSrbReturnCode);
    return result;
}

// Gives a record just pushed its own handle on the port. A port that does not
// open again leaves the record without handle and path.
bool open_port_for(vdx_dev* dev, const std::string& path, const char* failure_trace) {
    dev->os_handle = vdx_windows_open_path(path.c_str());
    if (dev->os_handle == kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, failure_trace, path.c_str());
        return false;
    }
    set_text(dev->device_path, path);
    return true;
}

// ---------------------------------------------------------------------------
// CSMI.

bool csmi_speaks(std::intptr_t port) {
    std::vector<std::uint8_t> request(sizeof(wl::csmi_sas_driver_info_buffer), 0);
    wl::put_srb(request, "CSMIALL", wl::kCsmiTimeout, wl::kCcCsmiSasGetDriverInfo);
    const miniport_result result = send_miniport(port, request);
    return result.delivered && result.return_code == 0;
}

void csmi_phy_devices(vdx_dev_list* list, std::intptr_t port, unsigned index, const std::string& path) {
    std::vector<std::uint8_t> request(sizeof(wl::csmi_sas_phy_info_buffer), 0);
    wl::put_srb(request, "CSMISAS", wl::kCsmiTimeout, wl::kCcCsmiSasGetPhyInfo);
    const miniport_result result = send_miniport(port, request);
    if (!result.delivered) {
        TRACE_AT(kTraceDevice, "port %s, failed to capture phy into\n", path.c_str());
        return;
    }
    if (result.return_code != 0) {
        TRACE_AT(kTraceDevice, "ReturnCode %d for get_phy_info\n", static_cast<int>(result.return_code));
        return;
    }
    const auto info = wl::load<wl::csmi_sas_phy_info_buffer>(request, 0);
    const std::size_t phys = std::min<std::size_t>(info.number_of_phys, wl::kCsmiMaxPhys);
    for (std::size_t i = 0; i < phys; ++i) {
        const wl::csmi_sas_phy_entity& phy = info.phy[i];
        if (phy.attached.device_type != wl::kCsmiSasEndDevice) continue;
        vdx_dev* dev = win_push_back(list);
        if (!dev) continue;
        std::snprintf(dev->name, sizeof dev->name, "csmi%u.%u.%u.%s", index, phy.port_identifier,
                      phy.identify.phy_identifier, sas_text(phy.attached.sas_address).c_str());
        dev->connection = kVdxConnectionCsmi;
        dev->scsi_address.port = static_cast<std::uint8_t>(index);
        dev->scsi_address.path = phy.identify.phy_identifier;
        vdx_windows_state& state = vdx_windows_state_of(*dev);
        state.csmi_phy_id = phy.identify.phy_identifier;
        state.csmi_port_id = phy.port_identifier;
        std::memcpy(state.csmi_sas_address, phy.attached.sas_address, sizeof state.csmi_sas_address);
        open_port_for(dev, path, "handle %s could not be opened, skip device\n");
    }
}

// Marks every CSMI record of the drive's SAS address as a RAID member; false
// when there is none.
bool csmi_mark_raid_member(vdx_dev_list* list, const std::uint8_t (&sas_address)[8]) {
    bool found = false;
    for (std::uint32_t i = list->count; i-- > 0;) {
        vdx_dev& dev = (*list)[i];
        const vdx_windows_state* state = vdx_windows_state_if(dev);
        if (dev.connection != kVdxConnectionCsmi || !state ||
            std::memcmp(state->csmi_sas_address, sas_address, sizeof sas_address) != 0)
            continue;
        TRACE_AT(kTraceDevice, "found a matching sas addr - marking existing drive as RAID\n");
        vdx_windows_state_of(dev).csmi_raid_member = 1;
        found = true;
    }
    return found;
}

void csmi_add_raid_drive(vdx_dev_list* list, unsigned index, const std::string& path,
                         const wl::csmi_sas_raid_drives& drive) {
    TRACE_AT(kTraceDevice, "adding new device found from raid cfg\n");
    vdx_dev* dev = win_push_back(list);
    if (!dev) return;
    std::snprintf(dev->name, sizeof dev->name, "csmi%u.X.X.%s", index, sas_text(drive.sas_address).c_str());
    dev->connection = kVdxConnectionCsmi;
    dev->scsi_address.port = static_cast<std::uint8_t>(index);
    // No phy data: the driver routes by the SAS address.
    dev->scsi_address.path = wl::kCsmiSasUsePortIdentifier;
    vdx_windows_state& state = vdx_windows_state_of(*dev);
    state.csmi_phy_id = wl::kCsmiSasUsePortIdentifier;
    state.csmi_port_id = wl::kCsmiSasIgnorePort;
    state.csmi_raid_member = 1;
    std::memcpy(state.csmi_sas_address, drive.sas_address, sizeof state.csmi_sas_address);
    if (!open_port_for(dev, path, "handle %s could not be opened, skip device\n")) return;
    dev->second_handle = vdx_windows_open_path(path.c_str());
    if (dev->second_handle == kVdxInvalidHandle)
        TRACE_AT(kTraceDevice, "handle %s could not be opened, skip device\n", path.c_str());
    else
        set_text(dev->second_path, path);
}

void csmi_raid_devices(vdx_dev_list* list, std::intptr_t port, unsigned index, const std::string& path) {
    std::vector<std::uint8_t> request(sizeof(wl::csmi_sas_raid_info_buffer), 0);
    wl::put_srb(request, "CSMIARY", wl::kCsmiTimeout, wl::kCcCsmiSasGetRaidInfo);
    const miniport_result result = send_miniport(port, request);
    if (!result.delivered) {
        TRACE_AT(kTraceDevice, "failed to capture raid info on port %s\n", path.c_str());
        return;
    }
    if (result.return_code != 0) {
        TRACE_AT(kTraceDevice, "raid info srb io ctrl return code %d", static_cast<int>(result.return_code));
        return;
    }
    const auto info = wl::load<wl::csmi_sas_raid_info_buffer>(request, 0);
    if (info.number_of_raid_sets == 0 || info.max_drives_per_set == 0) {
        TRACE_AT(kTraceDevice, "port %s max drives per set %d, number raid sets %d, no devices", path.c_str(),
                 static_cast<int>(info.max_drives_per_set), static_cast<int>(info.number_of_raid_sets));
        return;
    }
    const std::uint32_t max_drives = std::min(info.max_drives_per_set, kMaxCsmiDrivesPerSet);
    const std::uint32_t sets = std::min(info.number_of_raid_sets, kMaxRaidSets);
    for (std::uint32_t set = 0; set < sets; ++set) {
        std::vector<std::uint8_t> config(wl::kCsmiRaidConfigSize + max_drives * sizeof(wl::csmi_sas_raid_drives),
                                         0);
        wl::put_srb(config, "CSMIARY", wl::kCsmiTimeout, wl::kCcCsmiSasGetRaidConfig);
        wl::put32(config, offsetof(wl::csmi_sas_raid_config_header, raid_set_index), set);
        const miniport_result answer = send_miniport(port, config);
        if (!answer.delivered) {
            TRACE_AT(kTraceDevice, "DeviceIoControl failed for raid config %d\n",
                     static_cast<int>(answer.os_error));
            TRACE_AT(kTraceDevice, "failed to capture raid config info\n");
            continue;
        }
        if (answer.return_code != 0) {
            TRACE_AT(kTraceDevice, "srb_io_ctrl ReturnCode bad for raid config %d\n",
                     static_cast<int>(answer.return_code));
            continue;
        }
        const auto header = wl::load<wl::csmi_sas_raid_config_header>(config, 0);
        const std::uint32_t drives = std::min<std::uint32_t>(header.drive_count, max_drives);
        for (std::uint32_t d = 0; d < drives; ++d) {
            const auto drive = wl::load<wl::csmi_sas_raid_drives>(
                config, sizeof(wl::csmi_sas_raid_config_header) + d * sizeof(wl::csmi_sas_raid_drives));
            if (!csmi_mark_raid_member(list, drive.sas_address)) csmi_add_raid_drive(list, index, path, drive);
        }
    }
}

// ---------------------------------------------------------------------------
// Intel RSTe.

std::vector<std::uint8_t> rste_request(std::size_t size, std::uint32_t control_code) {
    std::vector<std::uint8_t> request(size, 0);
    wl::put_srb(request, "NvmeRAID", wl::kRsteTimeout, control_code);
    return request;
}

bool rste_send(std::intptr_t port, std::span<std::uint8_t> request) {
    std::uint32_t os_error = 0;
    if (vdx_windows_ioctl(port, wl::kIoctlScsiMiniport, request, nullptr, &os_error)) return true;
    TRACE_AT(kTraceDevice, "DeviceIoControl failed with %d\n", static_cast<int>(os_error));
    return false;
}

std::optional<std::uint32_t> rste_count(std::intptr_t port, std::uint32_t control_code) {
    std::vector<std::uint8_t> request = rste_request(sizeof(wl::rste_count_buffer), control_code);
    if (!rste_send(port, request)) return std::nullopt;
    return std::min(wl::load<wl::rste_count_buffer>(request, 0).count, kMaxRsteEntries);
}

// Room for `count` entries after a header, and one more.
std::size_t rste_list_size(std::size_t header, std::uint32_t count) {
    return header + sizeof(wl::rste_disk_entry) * (std::size_t{count} + 1);
}

// Pushes the record of an RSTe disk ("rster", "rstep", "rstes") with its own
// handle on the port.
void rste_add(vdx_dev_list* list, const char* kind, unsigned index, std::uint32_t entry,
              const wl::rste_disk_entry& disk, bool raid_member, const std::string& path) {
    vdx_dev* dev = win_push_back(list);
    if (!dev) return;
    std::snprintf(dev->name, sizeof dev->name, "%s%u.%u.%u", kind, index, disk.disk_id, entry);
    dev->interface = kVdxInterfaceNvmeIntelRste;
    dev->connection = kVdxConnectionIntelRste;
    vdx_windows_state& state = vdx_windows_state_of(*dev);
    state.rste_disk_id = disk.disk_id;
    state.rste_raid_member = raid_member ? 1 : 0;
    if (!open_port_for(dev, path, "failed to open unique handle at %s - skipping device\n")) return;
    TRACE_AT(kTraceDevice, "added %s\n", dev->name);
}

void rste_volumes(vdx_dev_list* list, std::intptr_t port, unsigned index, const std::string& path) {
    const std::optional<std::uint32_t> volumes = rste_count(port, wl::kRsteVolumeCount);
    if (!volumes) return;
    for (std::uint32_t volume = 1; volume <= *volumes; ++volume) {
        std::vector<std::uint8_t> info = rste_request(sizeof(wl::rste_volume_info_buffer), wl::kRsteVolumeInfo);
        wl::put32(info, offsetof(wl::rste_volume_info_buffer, volume_index), volume);
        if (!rste_send(port, info)) continue;
        const std::uint32_t members =
            std::min(wl::load<wl::rste_volume_info_buffer>(info, 0).member_count, kMaxRsteEntries);
        std::vector<std::uint8_t> config =
            rste_request(rste_list_size(sizeof(wl::rste_volume_config_header), members), wl::kRsteVolumeConfig);
        wl::put32(config, offsetof(wl::rste_volume_config_header, volume_index), volume);
        wl::put32(config, offsetof(wl::rste_volume_config_header, returned_length),
                  static_cast<std::uint32_t>(config.size() - sizeof(wl::rste_volume_config_header)));
        if (!rste_send(port, config)) continue;
        for (std::uint32_t member = 0; member < members; ++member) {
            const auto disk = wl::load<wl::rste_disk_entry>(
                config, sizeof(wl::rste_volume_config_header) + member * sizeof(wl::rste_disk_entry));
            if (disk.disk_id == 0) {
                TRACE_AT(kTraceDevice, "skipping member %u, disk id 0\n", member);
                continue;
            }
            rste_add(list, "rster", index, member, disk, true, path);
        }
    }
}

// Pass-through or spare disks: their count, then their list.
void rste_disks(vdx_dev_list* list, std::intptr_t port, unsigned index, const std::string& path,
                std::uint32_t count_code, std::uint32_t info_code, const char* kind, const char* skip_trace) {
    const std::optional<std::uint32_t> count = rste_count(port, count_code);
    if (!count) return;
    std::vector<std::uint8_t> request =
        rste_request(rste_list_size(sizeof(wl::rste_disk_list_header), *count), info_code);
    wl::put32(request, offsetof(wl::rste_disk_list_header, returned_length),
              static_cast<std::uint32_t>(request.size() - sizeof(wl::rste_disk_list_header)));
    if (!rste_send(port, request)) return;
    for (std::uint32_t entry = 0; entry < *count; ++entry) {
        const auto disk = wl::load<wl::rste_disk_entry>(
            request, sizeof(wl::rste_disk_list_header) + entry * sizeof(wl::rste_disk_entry));
        if (disk.disk_id == 0) {
            TRACE_AT(kTraceDevice, skip_trace, entry);
            continue;
        }
        rste_add(list, kind, index, entry, disk, false, path);
    }
}

}  // namespace

void vdx_windows_enumerate_csmi(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    for (unsigned index = 0; index < kPortCount; ++index) {
        const std::string path = port_path(index);
        std::intptr_t port = vdx_windows_open_path(path.c_str());
        if (port == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "failed to open handle %s\n", path.c_str());
            continue;
        }
        if (csmi_speaks(port)) {
            csmi_phy_devices(list, port, index, path);
            csmi_raid_devices(list, port, index, path);
        } else {
            TRACE_AT(kTraceDevice, "port %s does not support csmi\n", path.c_str());
        }
        vdx_windows_close_handle(&port);
    }
}

void vdx_windows_enumerate_rste(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    for (unsigned index = 0; index < kPortCount; ++index) {
        const std::string path = port_path(index);
        std::intptr_t port = vdx_windows_open_path(path.c_str());
        if (port == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "failed to open handle %s\n", path.c_str());
            continue;
        }
        rste_volumes(list, port, index, path);
        rste_disks(list, port, index, path, wl::kRstePassthroughCount, wl::kRstePassthroughInfo, "rstep",
                   "skipping passthrough disk %u, disk id 0\n");
        rste_disks(list, port, index, path, wl::kRsteSpareCount, wl::kRsteSpareInfo, "rstes",
                   "skipping spare disk %u, disk id 0\n");
        vdx_windows_close_handle(&port);
    }
}

}  // namespace enctl
