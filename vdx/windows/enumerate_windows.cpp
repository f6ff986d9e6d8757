// Windows enumeration: disks (interface walk), controllers of the IDE/ATA and
// SCSI/RAID setup classes, enclosure processors, the PCI bus number of a
// device and the Adaptec presence test.
#include <windows.h>
#include <initguid.h>  // defines the DEVPKEY_ values in this file
#include <devpkey.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

const GUID kGuidDevinterfaceDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const GUID kGuidDevinterfaceSes = {0x1790C9EC, 0x47D5, 0x4DF3, {0xB5, 0xAF, 0x9A, 0xDF, 0x3C, 0xF2, 0x3E, 0x48}};
const GUID kGuidDevinterfaceStoragePort = {0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const GUID kGuidDevinterfaceUsbHub = {0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
const GUID kGuidDevclassDiskDrive = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kGuidDevclassHdc = {0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kGuidDevclassScsiAdapter = {0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The maker's own PCI vendor IDs: devices of these vendors are never taken as
// the bus above a device.
inline constexpr unsigned kMakerPciVendors[] = {0x1B4B, 0x1000, 0x9005, 0x11F8, 0x1D49, 0x1C5F};

void win_interface_walk(const GUID& interface_class,
                        const std::function<void(const char* path, HDEVINFO set, SP_DEVINFO_DATA& info)>& visit) {
    HDEVINFO set = g_win32.get_class_devs(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!g_win32.enum_device_interfaces(set, nullptr, &interface_class, index, &data)) break;
        DWORD required = 0;
        g_win32.get_device_interface_detail(set, &data, nullptr, 0, &required, nullptr);
        if (required < 1 || required > 1024) {
            TRACE_AT(kTraceDevice, "failed to capture device interface size - interface %u - skip\n", static_cast<unsigned>(index));
            continue;
        }
        alignas(8) std::uint8_t buffer[1024] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.get_device_interface_detail(set, &data, detail, sizeof buffer, nullptr, &info)) {
            TRACE_AT(kTraceDevice, "failed to capture device interface detail - interface %u - skip\n", static_cast<unsigned>(index));
            continue;
        }
        buffer[sizeof buffer - 1] = 0;
        visit(detail->DevicePath, set, info);
    }
    g_win32.destroy_device_info_list(set);
}

std::optional<std::string> win_property_text(HDEVINFO set, SP_DEVINFO_DATA& info, const DEVPROPKEY& key,
                                             std::uint32_t* os_error) {
    std::uint8_t buffer[2048] = {};
    DEVPROPTYPE type = 0;
    DWORD required = 0;
    if (!g_win32.get_device_property(set, &info, &key, &type, buffer, sizeof buffer - 2, &required, 0)) {
        if (os_error) *os_error = g_win32.get_last_error();
        return std::nullopt;
    }
    const std::size_t bytes = std::min<std::size_t>(required, sizeof buffer - 2);
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes + 1 && i < bytes; i += 2) {
        if (buffer[i] == 0 && buffer[i + 1] == 0) break;
        text.push_back(static_cast<char>(buffer[i]));
    }
    return text;
}

std::optional<std::uint32_t> win_property_u32(HDEVINFO set, SP_DEVINFO_DATA& info, const DEVPROPKEY& key,
                                              std::uint32_t* os_error) {
    std::uint32_t value = 0;
    DEVPROPTYPE type = 0;
    if (!g_win32.get_device_property(set, &info, &key, &type, reinterpret_cast<PBYTE>(&value), sizeof value, nullptr, 0)) {
        if (os_error) *os_error = g_win32.get_last_error();
        return std::nullopt;
    }
    return value;
}

bool win_read_descriptor(std::intptr_t handle, std::uint8_t (&descriptor)[40]) {
    std::uint8_t query[12] = {};  // StorageDeviceProperty, PropertyStandardQuery
    std::uint8_t answer[40] = {};
    std::uint32_t returned = 0;
    if (!vdx_windows_ioctl(handle, wl::kIoctlStorageQueryProperty, query, answer, &returned, nullptr) ||
        returned != sizeof answer)
        return false;
    std::memcpy(descriptor, answer, sizeof answer);
    return true;
}

bool win_read_device_number(std::intptr_t handle, std::uint32_t* number) {
    std::uint8_t answer[12] = {};
    std::uint32_t returned = 0;
    if (!vdx_windows_ioctl(handle, wl::kIoctlStorageGetDeviceNumber, {}, answer, &returned, nullptr)) return false;
    *number = wl::get32(answer, 4);
    return true;
}

bool win_read_scsi_address(std::intptr_t handle, vdx_scsi_address* address) {
    std::uint8_t answer[8] = {};
    if (!vdx_windows_ioctl(handle, wl::kIoctlScsiGetAddress, answer, nullptr, nullptr)) return false;
    address->length = wl::get32(answer, 0);
    address->port = answer[4];
    address->path = answer[5];
    address->target = answer[6];
    address->lun = answer[7];
    return true;
}

vdx_dev* win_push_back(vdx_dev_list* list) {
    vdx_dev* dev = vdx_dev_enumeration_push_back(list);
    if (!dev) {
        TRACE_AT(kTraceDevice, "device skipped due to enumeration push_back failure\n");
        return nullptr;
    }
    dev->backend = &vdx_windows_backend();
    vdx_windows_state_of(*dev);
    return dev;
}

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool equal_no_case(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

// ---------------------------------------------------------------------------
// PCI bus number.

std::optional<std::string> parent_of(const std::string& instance) {
    HDEVINFO set = g_win32.get_class_devs(nullptr, instance.c_str(), nullptr, DIGCF_DEVICEINTERFACE | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> parent;
    for (DWORD i = 0; !parent; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        std::uint32_t os_error = 0;
        parent = win_property_text(set, info, DEVPKEY_Device_Parent, &os_error);
        if (!parent) TRACE_AT(kTraceDevice, "DEVPKEY_Device_Parent failed for %s: %u\n", instance.c_str(), os_error);
    }
    g_win32.destroy_device_info_list(set);
    return parent;
}

bool is_maker_device(const std::string& instance) {
    unsigned vendor = 0;
    const std::string upper_id = [&] {
        std::string u(instance);
        for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u;
    }();
    const std::size_t at = upper_id.find("VEN_");
    if (at == std::string::npos || std::sscanf(upper_id.c_str() + at + 4, "%4x", &vendor) != 1) return false;
    return std::find(std::begin(kMakerPciVendors), std::end(kMakerPciVendors), vendor) != std::end(kMakerPciVendors);
}

bool qualifies_as_bus(const std::string& instance) {
    if (instance.find("PCI\\") == std::string::npos && instance.find("ACPI\\") == std::string::npos) return false;
    if (is_maker_device(instance)) return false;
    HDEVINFO set = g_win32.get_class_devs(nullptr, instance.c_str(), nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool all_system = true;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        const auto cls = win_property_text(set, info, DEVPKEY_Device_Class, nullptr);
        if (!cls || *cls != "System") all_system = false;
    }
    g_win32.destroy_device_info_list(set);
    return all_system;
}

std::optional<std::uint32_t> pci_bus_of(const std::string& bus) {
    HDEVINFO set = g_win32.get_class_devs(nullptr, "PCI", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::uint32_t> number;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        const auto id = win_property_text(set, info, DEVPKEY_Device_InstanceId, nullptr);
        if (!id || !equal_no_case(*id, bus)) continue;
        std::uint32_t os_error = 0;
        number = win_property_u32(set, info, DEVPKEY_Device_BusNumber, &os_error);
        if (!number) TRACE_AT(kTraceDevice, "DEVPKEY_Device_BusNumber failed: %u\n", os_error);
        break;
    }
    g_win32.destroy_device_info_list(set);
    return number;
}

}  // namespace

std::optional<std::uint32_t> win_pci_bus_number(const std::string& instance) {
    std::string current = instance;
    for (int depth = 0; depth < 64; ++depth) {
        const auto parent = parent_of(current);
        if (!parent) {
            TRACE_AT(kTraceDevice, "failed to capture parent of %s\n", current.c_str());
            return std::nullopt;
        }
        TRACE_AT(kTraceDevice, "%s is parent of %s\n", parent->c_str(), current.c_str());
        if (qualifies_as_bus(*parent)) {
            TRACE_AT(kTraceDevice, "parent %s of %s is pci bus\n", parent->c_str(), current.c_str());
            if (parent->find("ACPI\\") != std::string::npos && parent->find("PCI\\") == std::string::npos) return 0;
            return pci_bus_of(*parent);
        }
        current = *parent;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Enclosure processors.

void vdx_windows_enumerate_ses(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    win_interface_walk(kGuidDevinterfaceSes, [&](const char* path, HDEVINFO, SP_DEVINFO_DATA&) {
        std::intptr_t handle = vdx_windows_open_path(path);
        if (handle == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "invalid handle opened for device path %s\n", path);
            return;
        }
        std::uint8_t descriptor[40];
        if (!win_read_descriptor(handle, descriptor)) {
            TRACE_AT(kTraceDevice, "closing handle %p - failed to capture storage query property\n", reinterpret_cast<void*>(handle));
            vdx_windows_close_handle(&handle);
            return;
        }
        vdx_dev* dev = win_push_back(list);
        if (!dev) {
            vdx_windows_close_handle(&handle);
            return;
        }
        dev->interface = kVdxInterfaceScsi;
        dev->connection = kVdxConnectionEnclosure;
        dev->os_handle = handle;
        set_text(dev->device_path, path);
        std::memcpy(vdx_windows_state_of(*dev).storage_descriptor, descriptor, sizeof descriptor);
        TRACE_AT(kTraceDevice, "captured ses addr - path %s, handle %p\n", path, reinterpret_cast<void*>(handle));
        if (!win_read_scsi_address(handle, &dev->scsi_address)) {
            TRACE_AT(kTraceDevice, "closing handle %p - failed to capture scsi address\n", reinterpret_cast<void*>(handle));
            vdx_dev_enumeration_pop_back(list);
            return;
        }
        std::snprintf(dev->name, sizeof dev->name, "SCSI%u:%u,%u,%u", dev->scsi_address.port, dev->scsi_address.path,
                      dev->scsi_address.target, dev->scsi_address.lun);
    });
}

// ---------------------------------------------------------------------------
// Disks.

namespace {

// DriverDesc of the driver key of a device instance; empty when absent.
std::string driver_description_of(const char* instance) {
    std::string description;
    HDEVINFO set = g_win32.create_device_info_list(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return description;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (g_win32.open_device_info(set, instance, nullptr, 0, &info)) {
        HKEY key = g_win32.open_dev_reg_key(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE && key != nullptr) {
            for (DWORD i = 0;; ++i) {
                char name[1024] = {};
                std::uint8_t data[1024] = {};
                DWORD name_size = sizeof name, data_size = sizeof data - 1, type = 0;
                if (g_win32.reg_enum_value(key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS)
                    break;
                if (type == REG_SZ && std::string_view(name) == "DriverDesc") {
                    description.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), data_size));
                    break;
                }
            }
            g_win32.reg_close_key(key);
        }
    } else {
        description = "\x01";  // marks the failure for the caller
    }
    g_win32.destroy_device_info_list(set);
    return description;
}

void zm_modify_handle(vdx_dev* dev, const std::string& parent) {
    std::string fragment = lower(parent);
    std::replace(fragment.begin(), fragment.end(), '\\', '#');
    bool done = false;
    win_interface_walk(kGuidDevinterfaceStoragePort, [&](const char* path, HDEVINFO, SP_DEVINFO_DATA&) {
        if (done || lower(path).find(fragment) == std::string::npos) return;
        std::intptr_t handle = vdx_windows_open_path(path);
        if (handle == kVdxInvalidHandle) return;
        vdx_windows_close_handle(&handle);
        TRACE_AT(kTraceDevice, "replacing %s with %s\n", dev->device_path, path);
        set_text(dev->device_path, path);
        vdx_windows_close_handle(&dev->os_handle);
        done = true;
    });
}

}  // namespace

void vdx_windows_enumerate_disk(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    unsigned index = 0;
    win_interface_walk(kGuidDevinterfaceDisk, [&](const char* path, HDEVINFO set, SP_DEVINFO_DATA& info) {
        const unsigned interface_index = index++;
        std::uint32_t os_error = 0;
        std::string instance;
        if (auto id = win_property_text(set, info, DEVPKEY_Device_InstanceId, &os_error)) {
            instance = *id;
            TRACE_AT(kTraceDevice, "Device Instance (Index %u): %s\n", interface_index, instance.c_str());
        } else {
            TRACE_AT(kTraceDevice, "DEVPKEY_Device_InstanceId failed: %u\n", os_error);
        }
        ULONG status = 0, problem = 0;
        if (g_win32.cm_get_devnode_status(&status, &problem, info.DevInst, 0) != CR_SUCCESS) {
            TRACE_AT(kTraceDevice, "failed to capture device node status - interface %u - skip\n", interface_index);
            return;
        }
        DEVINST parent = 0;
        if (g_win32.cm_get_parent(&parent, info.DevInst, 0) != CR_SUCCESS) {
            TRACE_AT(kTraceDevice, "failed to capture device node parent - interface %u - skip\n", interface_index);
            return;
        }
        char parent_id[200] = {};
        if (g_win32.cm_get_device_id(parent, parent_id, sizeof parent_id, 0) != CR_SUCCESS) {
            TRACE_AT(kTraceDevice, "failed to capture parent id - interface %u - skip\n", interface_index);
            return;
        }
        parent_id[sizeof parent_id - 1] = 0;
        const std::string description = driver_description_of(parent_id);
        if (description == "\x01") {
            TRACE_AT(kTraceDevice, "failed to capture device info for parent id - interface %u - skip\n", interface_index);
            return;
        }
        const std::uint32_t kind = description.empty() ? kVdxDriverUnknown : vdx_windows_driver_kind(description);

        std::intptr_t handle = vdx_windows_open_path(path);
        if (handle == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "invalid handle opened for device path %s\n", path);
            return;
        }
        std::uint32_t number = 0;
        std::uint8_t descriptor[40];
        if (!win_read_device_number(handle, &number)) {
            TRACE_AT(kTraceDevice, "closing handle %p - failed to capture storage number\n", reinterpret_cast<void*>(handle));
            vdx_windows_close_handle(&handle);
            return;
        }
        if (!win_read_descriptor(handle, descriptor)) {
            TRACE_AT(kTraceDevice, "closing handle %p - failed to capture storage query property\n", reinterpret_cast<void*>(handle));
            vdx_windows_close_handle(&handle);
            return;
        }
        vdx_dev* dev = win_push_back(list);
        if (!dev) {
            vdx_windows_close_handle(&handle);
            return;
        }
        std::snprintf(dev->name, sizeof dev->name, "disk%d", static_cast<int>(number));
        dev->connection = kVdxConnectionStorage;
        dev->connection_driver = kind;
        set_text(dev->device_path, path);
        dev->physical_drive_number = number;
        vdx_windows_state& state = vdx_windows_state_of(*dev);
        std::memcpy(state.storage_descriptor, descriptor, sizeof descriptor);
        const std::string parent_text(parent_id);
        if (parent_text.size() >= sizeof state.parent_instance_id) {
            TRACE_AT(kTraceDevice, "device parent instance id %s too long to store\n", parent_id);
            vdx_windows_close_handle(&handle);
            return;
        }
        set_text(state.parent_instance_id, parent_text);
        if (auto bus = win_pci_bus_number(instance)) state.pci_bus_number = *bus;
        else TRACE_AT(kTraceDevice, "get_pci_bus_bus_number failed\n");

        if (win_read_scsi_address(handle, &dev->scsi_address)) {
            TRACE_AT(kTraceDevice, "SCSI PORT: %u\n", dev->scsi_address.port);
            if (kind == kVdxDriverIntelRst) {
                std::snprintf(dev->second_path, sizeof dev->second_path, "\\\\.\\Scsi%u:", dev->scsi_address.port);
                std::intptr_t port = vdx_windows_open_path(dev->second_path, true);
                if (port == kVdxInvalidHandle) {
                    TRACE_AT(kTraceDevice, "could not open handle at path %s", dev->second_path);
                    vdx_windows_close_handle(&handle);
                    return;
                }
                vdx_windows_close_handle(&port);
                dev->second_handle = kVdxInvalidHandle;
                TRACE_AT(kTraceDevice, "captured irst scsi addr on disk device - path %s\n", dev->second_path);
            }
        }
        vdx_windows_close_handle(&handle);
        if (kind == kVdxDriverMaker) zm_modify_handle(dev, parent_text);

        unsigned vendor = 0, device = 0;
        if (std::sscanf(parent_id, "PCI\\VEN_%x&DEV_%x", &vendor, &device) == 2 && vendor == 0x1B4B && device == 0x2241) {
            TRACE_AT(kTraceDevice, "found Marvell NevoX, run additional enumeration!\n");
            if (dev->interface == kVdxInterfaceUnknown) dev->interface = kVdxInterfaceNvme;
            const std::uint32_t at = static_cast<std::uint32_t>(dev - list->devices.get());
            vdx_marvell_nevox_enumerate(&(*list)[at], list);
        } else {
            TRACE_AT(kTraceDevice, "parent %s\n", parent_id);
        }
    });
}

// ---------------------------------------------------------------------------
// Controllers.

namespace {

struct disk_drive_entry {
    std::uint32_t number = 0;
    char parent[256] = {};
};

std::vector<disk_drive_entry> enumerate_disk_drive_class() {
    std::vector<disk_drive_entry> table;
    HDEVINFO set = g_win32.get_class_devs(&kGuidDevclassDiskDrive, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return table;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        const auto parent = win_property_text(set, info, DEVPKEY_Device_Parent, nullptr);
        const auto pdo = win_property_text(set, info, DEVPKEY_Device_PDOName, nullptr);
        if (!parent || !pdo) continue;
        const std::string path = "\\\\.\\GLOBALROOT" + *pdo;
        std::intptr_t handle = vdx_windows_open_path(path.c_str());
        if (handle == kVdxInvalidHandle) continue;
        disk_drive_entry entry;
        const bool ok = win_read_device_number(handle, &entry.number);
        vdx_windows_close_handle(&handle);
        if (!ok) continue;
        set_text(entry.parent, *parent);
        TRACE_AT(kTraceDevice, "\\\\.\\PhysicalDisk%u\n\tparent device id: %s\n\n", entry.number, entry.parent);
        table.push_back(entry);
    }
    g_win32.destroy_device_info_list(set);
    return table;
}

void add_device(vdx_dev_list* list, std::uint32_t number, const std::string& description) {
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%u", number);
    std::intptr_t handle = vdx_windows_open_path(path);
    if (handle == kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "failed to open %s - skipping device\n", path);
        return;
    }
    std::uint32_t reported = 0;
    std::uint8_t descriptor[40];
    if (!win_read_device_number(handle, &reported) || reported != number || !win_read_descriptor(handle, descriptor)) {
        TRACE_AT(kTraceDevice, "disk != storage_device_number.DeviceNumber\n");
        vdx_windows_close_handle(&handle);
        return;
    }
    TRACE_AT(kTraceDevice, "%s storage device number is %u\n", path, reported);
    char name[32];
    std::snprintf(name, sizeof name, "disk%d", static_cast<int>(number));
    for (std::uint32_t i = 0; i < list->count; ++i) {
        vdx_dev& existing = (*list)[i];
        if (text_of(existing.name) != name) continue;
        TRACE_AT(kTraceDevice, "exists at index %u\n", i);
        if (existing.connection_driver == kVdxDriverUnknown) existing.connection_driver = vdx_windows_driver_kind(description);
        vdx_windows_close_handle(&handle);
        return;
    }
    vdx_dev* dev = win_push_back(list);
    if (!dev) {
        vdx_windows_close_handle(&handle);
        return;
    }
    set_text(dev->name, name);
    dev->connection = kVdxConnectionStorage;
    dev->os_handle = handle;
    dev->physical_drive_number = number;
    dev->connection_driver = vdx_windows_driver_kind(description);
    set_text(dev->device_path, path);
    std::memcpy(vdx_windows_state_of(*dev).storage_descriptor, descriptor, sizeof descriptor);
    if (dev->connection_driver == kVdxDriverIntelRst && win_read_scsi_address(handle, &dev->scsi_address)) {
        std::snprintf(dev->second_path, sizeof dev->second_path, "\\\\.\\Scsi%u:", dev->scsi_address.port);
        dev->second_handle = vdx_windows_open_path(dev->second_path, true);
        if (dev->second_handle == kVdxInvalidHandle)
            TRACE_AT(kTraceDevice, "could not open handle at path %s", dev->second_path);
        else
            TRACE_AT(kTraceDevice, "captured irst scsi addr on disk device - path %s, rst handle %p\n", dev->second_path,
                     reinterpret_cast<void*>(dev->second_handle));
    }
    TRACE_AT(kTraceDevice, "captured disk addr - path %s, handle %p\n", path, reinterpret_cast<void*>(handle));
}

void add_nvme_controller(vdx_dev_list* list, unsigned* counter, const std::string& instance) {
    if (instance.rfind("PCI", 0) != 0) return;
    const std::size_t slash = instance.find_last_of('\\');
    const std::string key = lower(slash == std::string::npos ? instance : instance.substr(slash + 1));
    win_interface_walk(kGuidDevinterfaceStoragePort, [&](const char* path, HDEVINFO set, SP_DEVINFO_DATA& info) {
        if (lower(path).find(key) == std::string::npos) return;
        std::intptr_t handle = vdx_windows_open_path(path);
        if (handle == kVdxInvalidHandle) return;
        const auto description = win_property_text(set, info, DEVPKEY_Device_DriverDesc, nullptr);
        if (!description) {
            vdx_windows_close_handle(&handle);
            return;
        }
        TRACE_AT(kTraceDevice, "DriverDesc: %s\n", description->c_str());
        vdx_dev* dev = win_push_back(list);
        if (!dev) {
            vdx_windows_close_handle(&handle);
            return;
        }
        std::snprintf(dev->name, sizeof dev->name, "nvme%u", (*counter)++);
        dev->physical_drive_number = 0xFFFFFFFFu;
        dev->connection = kVdxConnectionStorage;
        dev->os_handle = handle;
        dev->connection_driver = vdx_windows_driver_kind(*description);
        set_text(dev->device_path, path);
        TRACE_AT(kTraceDevice, "captured disk addr - path %s, handle %p\n", path, reinterpret_cast<void*>(handle));
    });
}

void enumerate_controller(vdx_dev_list* list, const GUID& setup_class) {
    TRACE_ENTER_EXIT();
    const std::vector<disk_drive_entry> disks = enumerate_disk_drive_class();
    unsigned counter = 0;
    HDEVINFO set = g_win32.get_class_devs(&setup_class, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        const auto instance = win_property_text(set, info, DEVPKEY_Device_InstanceId, nullptr);
        if (!instance) continue;
        bool named = false;
        for (const disk_drive_entry& disk : disks) {
            if (!equal_no_case(text_of(disk.parent), *instance)) continue;
            named = true;
            const std::string description = win_property_text(set, info, DEVPKEY_Device_DriverDesc, nullptr).value_or("");
            TRACE_AT(kTraceDevice, "DriverDesc: %s\n", description.c_str());
            add_device(list, disk.number, description);
        }
        if (!named) {
            TRACE_AT(kTraceDevice, "device_id %s does not have disk number - check if it is a controller\n", instance->c_str());
            add_nvme_controller(list, &counter, *instance);
        }
    }
    g_win32.destroy_device_info_list(set);
}

}  // namespace

void vdx_windows_enumerate_hdc(vdx_dev_list* list) { enumerate_controller(list, kGuidDevclassHdc); }
void vdx_windows_enumerate_scsi_adapter(vdx_dev_list* list) { enumerate_controller(list, kGuidDevclassScsiAdapter); }

// ---------------------------------------------------------------------------
// The two queries of discovery.

int vdx_windows_bus_number(const vdx_dev* dev) {
    if (!dev || dev->os_handle == kVdxInvalidHandle) return -1;
    vdx_scsi_address address;
    if (!win_read_scsi_address(dev->os_handle, &address)) return -1;
    return address.port;
}

bool vdx_windows_adaptec_present() {
    bool present = false;
    HDEVINFO set = g_win32.get_class_devs(&kGuidDevclassScsiAdapter, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return false;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_win32.enum_device_info(set, i, &info)) break;
        const auto description = win_property_text(set, info, DEVPKEY_Device_DriverDesc, nullptr);
        if (!description) continue;
        CONSOLE_PRINT(kVerbosityDebug, "windows_adaptec_present: DriverDesc=%s\n", description->c_str());
        if (description->find("Adaptec") != std::string::npos) present = true;
    }
    g_win32.destroy_device_info_list(set);
    if (present) CONSOLE_PRINT(kVerbosityDebug, "Adaptec controller present\n");
    return present;
}

}  // namespace enctl
