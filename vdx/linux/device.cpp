// Linux device handles, probe predicates, the two discovery queries and the
// backend table.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "vdx/linux/sysfs.h"
#include "vdx/linux/vdx_linux.h"
#include "vdx/vdx_sat.h"

namespace enctl {

namespace fs = std::filesystem;

namespace {

int open_path(const char* host_path) {
    return ::open(vdx_linux_path(host_path).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

void close_handle(vdx_handle* handle) {
    if (*handle != kVdxInvalidHandle) ::close(static_cast<int>(*handle));
    *handle = kVdxInvalidHandle;
}

int linux_open(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    const int fd = open_path(dev->device_path);
    if (fd < 0)
        return VDX_ERROR(error, kErrOsRequest, static_cast<std::uint32_t>(errno),
                         "linux dev open failed, could not open %s", dev->device_path);
    dev->os_handle = fd;
    return 0;
}

int linux_close(vdx_error*, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    close_handle(&dev->os_handle);
    close_handle(&dev->second_handle);
    return 0;
}

int linux_cleanup(vdx_dev* dev) {
    TRACE_AT(kTraceDevice, "cleaning up linux device\n");
    TRACE_AT(kTraceDevice, "    name: %s\n", dev->name);
    if (dev->os_handle != kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "closing handle %p\n", reinterpret_cast<void*>(dev->os_handle));
    }
    close_handle(&dev->os_handle);
    close_handle(&dev->second_handle);
    return 0;
}

int linux_copy(vdx_dev* dest, const vdx_dev* src) {
    if (src->os_handle == kVdxInvalidHandle) return 0;
    const int fd = open_path(src->device_path);
    if (fd < 0) {
        TRACE_AT(kTraceDevice, "copy failed - could not open handle %s\n", src->device_path);
        return 1;
    }
    dest->os_handle = fd;
    TRACE_AT(kTraceDevice, "opened new handle handle %ph from %ph\n", reinterpret_cast<void*>(dest->os_handle),
             reinterpret_cast<void*>(src->os_handle));
    return 0;
}

// An NVMe controller: its node's name is a controller of /sys/class/nvme.
bool linux_probe_nvme(vdx_dev* dev) {
    const std::string node = fs::path(dev->device_path).filename().string();
    if (!linux_sysfs::parse_numbered(node, "nvme")) return false;
    std::error_code ec;
    return fs::exists(fs::path(vdx_linux_path("/sys/class/nvme")) / node, ec);
}

bool scsi_good(vdx_dev* dev, vdx_scsi_cmd* cmd) {
    vdx_error error{};
    return vdx_linux_scsi_execute(&error, dev, cmd) == 0 && cmd->scsi_status == 0;
}

// A SCSI disk that speaks ATA behind a SAT layer. Enumeration read the
// kernel's INQUIRY vendor, which decides without a command; only when that
// was unreadable is the device asked: it has the ATA Information VPD page
// (89h), or it answers ATA IDENTIFY DEVICE through ATA PASS-THROUGH.
bool linux_probe_scsi_sat_ata(vdx_dev* dev) {
    if (dev->connection != kVdxConnectionStorage || linux_probe_nvme(dev)) return false;
    if (const auto* state = vdx_backend_state_of<vdx_linux_state>(*dev)) {
        switch (state->disk_command_set) {
            case vdx_linux_state::command_set::sat_ata:
                return true;
            case vdx_linux_state::command_set::scsi:
                return false;
            case vdx_linux_state::command_set::unknown:
                break;
        }
    }

    std::array<std::uint8_t, 572> vpd{};
    vdx_scsi_cmd inquiry;
    std::memset(&inquiry, 0, sizeof inquiry);
    inquiry.cdb[0] = 0x12;
    inquiry.cdb[1] = 0x01;
    inquiry.cdb[2] = 0x89;
    inquiry.cdb[3] = static_cast<std::uint8_t>(vpd.size() >> 8);
    inquiry.cdb[4] = static_cast<std::uint8_t>(vpd.size());
    inquiry.cdb_length = 6;
    inquiry.data = vpd.data();
    inquiry.transfer_length = vpd.size();
    inquiry.sense_length = sizeof inquiry.sense;
    inquiry.timeout = kVdxScsiTimeoutMs;
    inquiry.direction = kVdxDirFromDevice;
    if (scsi_good(dev, &inquiry) && inquiry.bytes_transferred >= 4 && vpd[1] == 0x89) return true;

    std::array<std::uint8_t, 512> identify{};
    vdx_ata_cmd ata;
    std::memset(&ata, 0, sizeof ata);
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.data = identify.data();
    ata.length = identify.size();
    ata.timeout = kVdxAtaTimeoutMs;
    ata.direction = kVdxDirFromDevice;
    vdx_scsi_cmd pass_through;
    vdx_scsi_build_ata_pass_through(&pass_through, ata);
    return scsi_good(dev, &pass_through);
}

// Any other SCSI generic or block node.
bool linux_probe_scsi(vdx_dev* dev) { return !linux_probe_nvme(dev); }

}  // namespace

int vdx_linux_bus_number(const vdx_dev* dev) {
    if (!dev) return -1;
    if (const auto* state = vdx_backend_state_of<vdx_linux_state>(*dev)) return static_cast<int>(state->host);
    if (dev->scsi_address.port != 255) return dev->scsi_address.port;
    return -1;
}

bool vdx_linux_adaptec_present() {
    TRACE_ENTER_EXIT();
    std::error_code ec;
    fs::directory_iterator it(vdx_linux_path("/sys/class/scsi_host"), ec);
    if (ec) return false;
    bool present = false;
    for (const fs::directory_entry& host : it) {
        const auto proc_name = linux_sysfs::read_text(host.path() / "proc_name");
        if (!proc_name) continue;
        CONSOLE_PRINT(kVerbosityDebug, "vdx_adaptec_present: proc_name=%s\n", proc_name->c_str());
        if (*proc_name == "aacraid") present = true;
    }
    if (present) CONSOLE_PRINT(kVerbosityDebug, "Adaptec controller present\n");
    return present;
}

const vdx_backend_ops& vdx_linux_backend() {
    static const vdx_backend_ops ops = [] {
        vdx_backend_ops o{};
        o.name = "linux";
        auto slot = [](std::uint32_t flag) {
            for (std::size_t i = 0; i < kVdxEnumeratorSlots; ++i)
                if (kVdxEnumerateOrder[i] == flag) return i;
            return kVdxEnumeratorSlots;
        };
        o.enumerate[slot(kVdxEnumDisks)] = &vdx_linux_enumerate_disks;
        o.enumerate[slot(kVdxEnumScsiControllers)] = &vdx_linux_enumerate_nvme;
        o.enumerate[slot(kVdxEnumSes)] = &vdx_linux_enumerate_ses;
        o.open = &linux_open;
        o.close = &linux_close;
        o.cleanup = &linux_cleanup;
        o.copy = &linux_copy;
        o.probe_nvme = &linux_probe_nvme;
        o.probe_scsi_sat_ata = &linux_probe_scsi_sat_ata;
        o.probe_scsi = &linux_probe_scsi;
        o.scsi_execute = &vdx_linux_scsi_execute;
        o.nvme_execute = &vdx_linux_nvme_execute;
        o.bus_number = &vdx_linux_bus_number;
        o.adaptec_present = &vdx_linux_adaptec_present;
        return o;
    }();
    return ops;
}

const vdx_backend_ops& vdx_platform_backend() { return vdx_linux_backend(); }

}  // namespace enctl
