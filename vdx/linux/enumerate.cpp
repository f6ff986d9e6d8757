// Enumeration from sysfs: SCSI disks (/sys/block/sdX), NVMe controllers
// (/sys/class/nvme/nvmeN) and enclosure processors (/sys/class/scsi_generic/sgN
// of peripheral type 0Dh). Entries are taken in kernel number order; an entry
// that cannot be examined is skipped with a trace line.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "vdx/linux/sysfs.h"
#include "vdx/linux/vdx_linux.h"

namespace enctl {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPeripheralTypeEnclosure = 0x0D;

struct numbered_entry {
    std::uint32_t number;
    std::string name;
};

// Entries of a folder below the root whose names give a number, sorted by it.
template <class NumberOf>
std::vector<numbered_entry> numbered_entries(const std::string& folder, NumberOf number_of) {
    std::vector<numbered_entry> entries;
    std::error_code ec;
    fs::directory_iterator it(vdx_linux_path(folder), ec);
    if (ec) {
        TRACE_AT(kTraceDevice, "cannot read %s - nothing enumerated\n", folder.c_str());
        return entries;
    }
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        const auto number = number_of(name);
        if (!number) {
            TRACE_AT(kTraceDevice, "skipping %s/%s - unexpected name\n", folder.c_str(), name.c_str());
            continue;
        }
        entries.push_back({*number, name});
    }
    std::sort(entries.begin(), entries.end(),
              [](const numbered_entry& a, const numbered_entry& b) { return a.number < b.number; });
    return entries;
}

void set_address(vdx_dev* rec, const linux_sysfs::hctl& address) {
    rec->scsi_address.length = 8;
    rec->scsi_address.port = static_cast<std::uint8_t>(address.host);
    rec->scsi_address.path = static_cast<std::uint8_t>(address.channel);
    rec->scsi_address.target = static_cast<std::uint8_t>(address.target);
    rec->scsi_address.lun = static_cast<std::uint8_t>(address.lun);
    auto state = std::make_unique<vdx_linux_state>();
    state->host = address.host;
    state->channel = address.channel;
    state->target = address.target;
    state->lun = address.lun;
    rec->backend_state = std::move(state);
}

// The SCSI device folder behind `<entry>/device` and its address.
struct scsi_device {
    fs::path folder;
    linux_sysfs::hctl address;
};
std::optional<scsi_device> scsi_device_of(const fs::path& entry, const char* what) {
    const auto folder = linux_sysfs::resolve_link(entry / "device");
    if (!folder) {
        TRACE_AT(kTraceDevice, "skipping %s - no device link\n", what);
        return std::nullopt;
    }
    const auto address = linux_sysfs::parse_hctl(folder->filename().string());
    if (!address) {
        TRACE_AT(kTraceDevice, "skipping %s - device %s is not a scsi address\n", what,
                 folder->filename().string().c_str());
        return std::nullopt;
    }
    return scsi_device{*folder, *address};
}

// The kernel filled the device folder's `vendor` from its INQUIRY; a
// SCSI/ATA translation layer reports "ATA" there.
vdx_linux_state::command_set disk_command_set(const fs::path& folder) {
    const auto vendor = linux_sysfs::read_text(folder / "vendor");
    if (!vendor || vendor->empty()) return vdx_linux_state::command_set::unknown;
    return *vendor == "ATA" ? vdx_linux_state::command_set::sat_ata : vdx_linux_state::command_set::scsi;
}

}  // namespace

void vdx_linux_enumerate_disks(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    const linux_sysfs::link_walk_scope walk;
    const auto entries = numbered_entries("/sys/block", [](const std::string& name) -> std::optional<std::uint32_t> {
        if (name.rfind("sd", 0) != 0) return std::nullopt;
        const int index = vdx_linux_disk_index(name);
        if (index < 0) return std::nullopt;
        return static_cast<std::uint32_t>(index);
    });
    for (const numbered_entry& entry : entries) {
        const fs::path folder = fs::path(vdx_linux_path("/sys/block")) / entry.name;
        const auto device = scsi_device_of(folder, entry.name.c_str());
        if (!device) continue;
        vdx_dev* rec = vdx_dev_enumeration_push_back(list);
        if (!rec) {
            TRACE_AT(kTraceDevice, "device skipped due to enumeration push_back failure\n");
            continue;
        }
        char name[64];
        std::snprintf(name, sizeof name, "disk%d", static_cast<int>(entry.number));
        set_text(rec->name, name);
        set_text(rec->device_path, "/dev/" + entry.name);
        rec->interface = kVdxInterfaceUnknown;
        rec->connection = kVdxConnectionStorage;
        rec->connection_driver = kVdxDriverUnknown;
        rec->physical_drive_number = entry.number;
        set_address(rec, device->address);
        static_cast<vdx_linux_state&>(*rec->backend_state).disk_command_set = disk_command_set(device->folder);
        TRACE_AT(kTraceDevice, "captured disk addr - path %s\n", rec->device_path);
    }
}

void vdx_linux_enumerate_nvme(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    const auto entries = numbered_entries("/sys/class/nvme", [](const std::string& name) {
        return linux_sysfs::parse_numbered(name, "nvme");
    });
    for (const numbered_entry& entry : entries) {
        vdx_dev* rec = vdx_dev_enumeration_push_back(list);
        if (!rec) {
            TRACE_AT(kTraceDevice, "device skipped due to enumeration push_back failure\n");
            continue;
        }
        char name[64];
        std::snprintf(name, sizeof name, "nvme%u", entry.number);
        set_text(rec->name, name);
        set_text(rec->device_path, "/dev/" + entry.name);
        rec->interface = kVdxInterfaceNvme;
        rec->connection = kVdxConnectionStorage;
        rec->connection_driver = kVdxDriverInboxNvme;
        rec->physical_drive_number = 0xFFFFFFFFu;
        TRACE_AT(kTraceDevice, "captured nvme addr - path %s\n", rec->device_path);
    }
}

void vdx_linux_enumerate_ses(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    const linux_sysfs::link_walk_scope walk;
    const auto entries = numbered_entries("/sys/class/scsi_generic", [](const std::string& name) {
        return linux_sysfs::parse_numbered(name, "sg");
    });
    for (const numbered_entry& entry : entries) {
        const fs::path folder = fs::path(vdx_linux_path("/sys/class/scsi_generic")) / entry.name;
        const auto device = scsi_device_of(folder, entry.name.c_str());
        if (!device) continue;
        const auto type_text = linux_sysfs::read_text(device->folder / "type");
        unsigned type = 0;
        char extra = 0;
        if (!type_text || std::sscanf(type_text->c_str(), "%u%c", &type, &extra) != 1) {
            TRACE_AT(kTraceDevice, "skipping %s - peripheral type unreadable\n", entry.name.c_str());
            continue;
        }
        if (type != kPeripheralTypeEnclosure) continue;
        vdx_dev* rec = vdx_dev_enumeration_push_back(list);
        if (!rec) {
            TRACE_AT(kTraceDevice, "device skipped due to enumeration push_back failure\n");
            continue;
        }
        const auto& a = device->address;
        char name[128];
        // The LUN keeps its 64 bits: two LUNs never share a name.
        std::snprintf(name, sizeof name, "SCSI%u:%u,%u,%llu", a.host, a.channel, a.target,
                      static_cast<unsigned long long>(a.lun));
        set_text(rec->name, name);
        set_text(rec->device_path, "/dev/" + entry.name);
        rec->interface = kVdxInterfaceScsi;
        rec->connection = kVdxConnectionEnclosure;
        set_address(rec, a);
        TRACE_AT(kTraceDevice, "captured ses addr - path %s\n", rec->device_path);
    }
}

}  // namespace enctl
