// Windows device handles, the driver kind of a controller, and the backend
// table.
#include <cstring>

#include "basekit/trace.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

vdx_windows_state& vdx_windows_state_of(vdx_dev& dev) {
    if (auto* state = dynamic_cast<vdx_windows_state*>(dev.backend_state.get())) return *state;
    auto fresh = std::make_unique<vdx_windows_state>();
    vdx_windows_state& ref = *fresh;
    dev.backend_state = std::move(fresh);
    return ref;
}

const vdx_windows_state* vdx_windows_state_if(const vdx_dev& dev) {
    return vdx_backend_state_of<vdx_windows_state>(dev);
}

std::intptr_t vdx_windows_open_path(const char* path, bool exclusive) {
    HANDLE handle = g_win32.create_file(path, GENERIC_READ | GENERIC_WRITE,
                                        exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kVdxInvalidHandle : vdx_handle_of(handle);
}

void vdx_windows_close_handle(std::intptr_t* handle) {
    if (*handle != kVdxInvalidHandle) g_win32.close_handle(win32_handle(*handle));
    *handle = kVdxInvalidHandle;
}

bool vdx_windows_ioctl(std::intptr_t handle, std::uint32_t code, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out, std::uint32_t* returned, std::uint32_t* os_error) {
    if (handle == kVdxInvalidHandle) {
        if (returned) *returned = 0;
        if (os_error) *os_error = ERROR_INVALID_HANDLE;
        return false;
    }
    DWORD count = 0;
    const BOOL ok = g_win32.device_io_control(
        win32_handle(handle), code, const_cast<std::uint8_t*>(in.data()), static_cast<DWORD>(in.size()),
        out.data(), static_cast<DWORD>(out.size()), &count, nullptr);
    if (returned) *returned = count;
    if (!ok && os_error) *os_error = g_win32.get_last_error();
    return ok != 0;
}

bool vdx_windows_ioctl(std::intptr_t handle, std::uint32_t code, std::span<std::uint8_t> buffer,
                       std::uint32_t* returned, std::uint32_t* os_error) {
    return vdx_windows_ioctl(handle, code, std::span<const std::uint8_t>(buffer), buffer, returned, os_error);
}

std::uint32_t vdx_windows_driver_kind(std::string_view d) {
    struct rule {
        std::uint32_t kind;
        std::string_view text;
        enum { exact, contains, prefix } how;
        const char* trace;
    };
    static constexpr rule kRules[] = {
        {kVdxDriverInboxAhci, "Standard SATA AHCI Controller", rule::exact, "Recognized WINDOWS_INBOX_AHCI driver.\n"},
        {kVdxDriverInboxAhci, "AMD SATA Controller", rule::exact, "Recognized WINDOWS_INBOX_AHCI driver.\n"},
        {kVdxDriverInboxAhci, "AMD-RAID Controller [storport]", rule::exact, "Recognized WINDOWS_INBOX_AHCI driver.\n"},
        {kVdxDriverInboxNvme, "Standard NVM Express Controller", rule::exact, "Recognized WINDOWS_INBOX_NVME driver.\n"},
        {kVdxDriverIntelRst, "Intel(R) Chipset SATA/PCIe RST Premium Controller", rule::exact, "Recognized INTEL_RST driver.\n"},
        {kVdxDriverIntelRst, "Intel Chipset SATA RAID Controller", rule::exact, "Recognized INTEL_RST driver.\n"},
        {kVdxDriverIntelRst, "Intel RST VMD", rule::contains, "Recognized INTEL_RST driver.\n"},
        {kVdxDriverIntelRste, "Intel(R) C600+/C220+ series chipset SATA RAID Controller", rule::exact, "Recognized INTEL_RSTE driver.\n"},
        {kVdxDriverUsbMassStorage, "USB Mass Storage Device", rule::exact, "Recognized INBOX_USB_MASS_STORAGE driver.\n"},
        {kVdxDriverUsbAttachedScsi, "USB Attached SCSI (UAS) Mass Storage Device", rule::exact, "Recognized INBOX_UAS_MASS_STORAGE driver.\n"},
        {kVdxDriverAdaptecRaid, "Adaptec RAID", rule::prefix, "Recognized Adaptec RAID driver.\n"},
        {kVdxDriverMaker, "INTERNAL USE ONLY - ", rule::prefix, "Recognized ZM/KORV internal use only driver.\n"},
        {kVdxDriverMaker, "ZM Veloxaris SN", rule::prefix, "Recognized ZM/KORV NVMe driver.\n"},
    };
    for (const rule& r : kRules) {
        const bool match = r.how == rule::exact      ? d == r.text
                           : r.how == rule::contains ? d.find(r.text) != std::string_view::npos
                                                     : d.substr(0, r.text.size()) == r.text;
        if (match) {
            TRACE_AT(kTraceDevice, "%s", r.trace);
            return r.kind;
        }
    }
    TRACE_AT(kTraceDevice, "Fall back to WINDOWS_INBOX_AHCI driver.\n");
    return kVdxDriverInboxAhci;
}

bool vdx_windows_refuse_behind_csmi(vdx_error* error, const vdx_dev& dev, const char* what, const char* source,
                                    const char* function, std::uint32_t line) {
    if (dev.connection != kVdxConnectionCsmi) return false;
    TRACE_AT(kTraceDevice, "%s: %s request not sent to the port of a csmi device\n", dev.name, what);
    vdx_error_set(error, kErrNotSupported, dev.interface, source, function, line,
                  "%s execute not supported on device %s", what, dev.name);
    return true;
}

namespace {

bool has_rst_port(const vdx_dev& dev) {
    return dev.connection == kVdxConnectionStorage && dev.connection_driver == kVdxDriverIntelRst;
}

bool needs_no_handle(const vdx_dev& dev) {
    return dev.connection == kVdxConnectionUsbRootHub || dev.connection == kVdxConnectionAdaptec ||
           dev.connection == kVdxConnectionMegaraid;
}

}  // namespace

int vdx_windows_dev_open(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (needs_no_handle(*dev)) return 0;
    const std::intptr_t handle = vdx_windows_open_path(dev->device_path);
    if (handle == kVdxInvalidHandle)
        return vdx_error_set(error, kErrOsRequest, g_win32.get_last_error(), "..\\vdx\\windows\\vdx_windows_enumerate",
                             "vdx_windows_dev_open", 3222, "windows dev open failed, could not open %s",
                             dev->device_path);
    dev->os_handle = handle;
    if (has_rst_port(*dev)) {
        const std::intptr_t port = vdx_windows_open_path(dev->second_path);
        if (port == kVdxInvalidHandle) {
            const std::uint32_t os_error = g_win32.get_last_error();
            vdx_windows_close_handle(&dev->os_handle);
            return vdx_error_set(error, kErrOsRequest, os_error, "..\\vdx\\windows\\vdx_windows_enumerate",
                                 "vdx_windows_dev_open", 3242, "windows dev open failed, could not open %s",
                                 dev->second_path);
        }
        dev->second_handle = port;
    }
    return 0;
}

int vdx_windows_dev_close(vdx_error*, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (dev->connection == kVdxConnectionUsbRootHub) return 0;
    vdx_windows_close_handle(&dev->os_handle);
    vdx_windows_close_handle(&dev->second_handle);
    return 0;
}

int vdx_windows_dev_cleanup(vdx_dev* dev) {
    TRACE_AT(kTraceDevice, "cleaning up windows device\n");
    TRACE_AT(kTraceDevice, "    name: %s\n", dev->name);
    TRACE_AT(kTraceDevice, "    handle: %s\n", dev->device_path);
    TRACE_AT(kTraceDevice, "    handle: %p\n", reinterpret_cast<void*>(dev->os_handle));
    if (has_rst_port(*dev)) {
        TRACE_AT(kTraceDevice, "    rst handle: %s\n", dev->second_path);
        TRACE_AT(kTraceDevice, "    rst handle: %p\n", reinterpret_cast<void*>(dev->second_handle));
    }
    if (dev->os_handle != kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "closing handle %p\n", reinterpret_cast<void*>(dev->os_handle));
        vdx_windows_close_handle(&dev->os_handle);
    }
    if (dev->second_handle != kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "closing rst handle %p\n", reinterpret_cast<void*>(dev->second_handle));
        vdx_windows_close_handle(&dev->second_handle);
    }
    return 0;
}

int vdx_windows_dev_copy(vdx_dev* dest, const vdx_dev* src) {
    if (src->os_handle == kVdxInvalidHandle) return 0;
    dest->os_handle = vdx_windows_open_path(src->device_path);
    if (dest->os_handle == kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "copy failed - could not open handle %s\n", src->device_path);
        return 1;
    }
    TRACE_AT(kTraceDevice, "opened new handle handle %p from %p\n", reinterpret_cast<void*>(dest->os_handle),
             reinterpret_cast<void*>(src->os_handle));
    if (has_rst_port(*src)) {
        dest->second_handle = vdx_windows_open_path(src->second_path);
        if (dest->second_handle == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "copy failed - could not open handle %s\n", src->second_path);
            vdx_windows_close_handle(&dest->os_handle);
            return 1;
        }
        TRACE_AT(kTraceDevice, "opened new rst handle %p from %p\n", reinterpret_cast<void*>(dest->second_handle),
                 reinterpret_cast<void*>(src->second_handle));
    }
    return 0;
}

const vdx_backend_ops& vdx_windows_backend() {
    static const vdx_backend_ops ops = [] {
        vdx_backend_ops o{};
        o.name = "windows";
        auto slot = [](std::uint32_t flag) {
            for (std::size_t i = 0; i < kVdxEnumeratorSlots; ++i)
                if (kVdxEnumerateOrder[i] == flag) return i;
            return kVdxEnumeratorSlots;
        };
        o.enumerate[slot(kVdxEnumDisks)] = &vdx_windows_enumerate_disk;
        o.enumerate[slot(kVdxEnumIdeControllers)] = &vdx_windows_enumerate_hdc;
        o.enumerate[slot(kVdxEnumScsiControllers)] = &vdx_windows_enumerate_scsi_adapter;
        o.enumerate[slot(kVdxEnumCsmi)] = &vdx_windows_enumerate_csmi;
        o.enumerate[slot(kVdxEnumIntelRste)] = &vdx_windows_enumerate_rste;
        o.enumerate[slot(kVdxEnumSes)] = &vdx_windows_enumerate_ses;
        o.enumerate[slot(kVdxEnumUsbRootHubs)] = &vdx_windows_enumerate_usb;
        o.open = &vdx_windows_dev_open;
        o.close = &vdx_windows_dev_close;
        o.cleanup = &vdx_windows_dev_cleanup;
        o.copy = &vdx_windows_dev_copy;
        o.probe_nvme_intel_rst = &vdx_nvme_windows_rst_probe;
        o.probe_nvme_zm_iuo = &vdx_nvme_windows_zm_probe;
        o.probe_nvme = &vdx_nvme_windows_probe;
        o.probe_ata = &vdx_ata_windows_probe;
        o.probe_ata_csmi = &vdx_ata_windows_probe_csmi;
        o.probe_scsi_sat_ata = &vdx_scsi_windows_probe_sat;
        o.probe_scsi = &vdx_scsi_windows_probe;
        o.scsi_execute = &vdx_scsi_windows_execute;
        o.ata_execute = &vdx_ata_windows_execute;
        o.ata_csmi_execute = &execute_stp_passthru;
        o.nvme_execute = &vdx_nvme_windows_execute;
        o.nvme_intel_rst_execute = &vdx_nvme_windows_rst_execute;
        o.nvme_intel_rste_execute = &vdx_nvme_windows_rste_execute;
        o.nvme_zm_iuo_execute = &vdx_nvme_windows_zm_execute;
        o.nvme_marvell_execute = &vdx_nvme_marvell_nevox_execute;
        o.bus_number = &vdx_windows_bus_number;
        o.adaptec_present = &vdx_windows_adaptec_present;
        return o;
    }();
    return ops;
}

const vdx_backend_ops& vdx_platform_backend() { return vdx_windows_backend(); }

}  // namespace enctl
