// USB root hubs: one record per root hub, holding the vendor and product IDs
// and serial numbers of the devices below it (through external hubs too,
// depth first in port order), and the PCI bus the hub's controller sits on.
#include <windows.h>
// after windows.h, which it needs
#include <devpkey.h>

#include <algorithm>
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

// USB allows five external hubs in a chain below a root hub; a tree that
// claims more is not followed further.
constexpr unsigned kMaxHubDepth = 6;
// A hub name longer than this is not a hub name.
constexpr std::uint32_t kMaxNodeNameSize = 2048;

// UTF-16 text of `units` code units at `at`, the low byte of each kept, up to
// the first NUL.
std::string low_bytes(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t units) {
    std::string text;
    for (std::size_t i = 0; i < units && at + 2 * i + 1 < bytes.size(); ++i) {
        const std::uint8_t low = bytes[at + 2 * i];
        if (low == 0 && bytes[at + 2 * i + 1] == 0) break;
        text.push_back(static_cast<char>(low));
    }
    return text;
}

bool hub_information(std::intptr_t hub, USB_HUB_INFORMATION_EX* info, std::uint32_t* os_error) {
    std::vector<std::uint8_t> request(sizeof(USB_HUB_INFORMATION_EX), 0);
    if (!vdx_windows_ioctl(hub, wl::kIoctlUsbGetHubInformationEx, request, nullptr, os_error)) return false;
    *info = wl::load<USB_HUB_INFORMATION_EX>(request, 0);
    return true;
}

// The serial number string of the device at a port.
std::optional<std::string> serial_number(std::intptr_t hub, std::uint32_t port, std::uint8_t string_index) {
    std::vector<std::uint8_t> request(wl::kUsbDescriptorRequestSize, 0);
    USB_DESCRIPTOR_REQUEST head{};
    head.ConnectionIndex = port;
    head.SetupPacket.wValue = static_cast<USHORT>((wl::kUsbStringDescriptorType << 8) | string_index);
    head.SetupPacket.wIndex = 0;  // language
    head.SetupPacket.wLength = static_cast<USHORT>(request.size() - wl::kUsbDescriptorData);
    wl::store(request, 0, head);
    std::uint32_t returned = 0, os_error = 0;
    if (!vdx_windows_ioctl(hub, wl::kIoctlUsbGetDescriptorFromNodeConnection, request, &returned, &os_error)) {
        TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: %u\n", os_error);
        return std::nullopt;
    }
    // bLength, bDescriptorType, then the UTF-16 text; bounded by what came back.
    const std::size_t received = std::min<std::size_t>(returned, request.size());
    if (received < wl::kUsbDescriptorData + 2) return std::string();
    const std::size_t length =
        std::min<std::size_t>(request[wl::kUsbDescriptorData], received - wl::kUsbDescriptorData);
    return low_bytes(std::span<const std::uint8_t>(request).first(received), wl::kUsbDescriptorData + 2,
                     length < 2 ? 0 : (length - 2) / 2);
}

// The device name of the hub at a port ("USB#..."), asked first for its size.
std::optional<std::string> child_hub_name(std::intptr_t hub, std::uint32_t port) {
    std::vector<std::uint8_t> probe(sizeof(USB_NODE_CONNECTION_NAME), 0);
    wl::put32(probe, 0, port);
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(hub, wl::kIoctlUsbGetNodeConnectionName, probe, nullptr, &os_error)) {
        TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_NODE_CONNECTION_NAME %u\n", os_error);
        return std::nullopt;
    }
    const std::uint32_t size = wl::get32(probe, offsetof(USB_NODE_CONNECTION_NAME, ActualLength));
    if (size <= offsetof(USB_NODE_CONNECTION_NAME, NodeName) || size > kMaxNodeNameSize) {
        TRACE_AT(kTraceDevice, "hub name of port %u has no usable size (%u)\n", port, size);
        return std::nullopt;
    }
    std::vector<std::uint8_t> named(size, 0);
    wl::put32(named, 0, port);
    if (!vdx_windows_ioctl(hub, wl::kIoctlUsbGetNodeConnectionName, named, nullptr, &os_error)) {
        TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_NODE_CONNECTION_NAME %u\n", os_error);
        return std::nullopt;
    }
    const std::size_t at = offsetof(USB_NODE_CONNECTION_NAME, NodeName);
    return low_bytes(named, at, (size - at) / 2);
}

void walk_hub(std::intptr_t hub, unsigned highest_port, vdx_windows_state& state, unsigned depth);

// Stores the device at a port, unless the record is full or its serial number
// cannot be read.
void store_device(std::intptr_t hub, std::uint32_t port, const USB_DEVICE_DESCRIPTOR& descriptor,
                  vdx_windows_state& state) {
    if (state.usb_device_count >= kVdxMaxUsbDevices) {
        TRACE_AT(kTraceDevice, "skipping USB enumeration due to max USB info limitation\n");
        return;
    }
    vdx_usb_device entry;
    entry.product_id = descriptor.idProduct;
    entry.vendor_id = descriptor.idVendor;
    if (descriptor.iSerialNumber != 0) {
        const std::optional<std::string> serial = serial_number(hub, port, descriptor.iSerialNumber);
        if (!serial) return;
        set_text(entry.serial, *serial);
    }
    state.usb_devices[state.usb_device_count++] = entry;
}

void walk_child_hub(std::intptr_t hub, std::uint32_t port, vdx_windows_state& state, unsigned depth) {
    if (depth > kMaxHubDepth) {
        TRACE_AT(kTraceDevice, "hub at port %u nested too deeply - skip\n", port);
        return;
    }
    const std::optional<std::string> name = child_hub_name(hub, port);
    if (!name) return;
    const std::string path = "\\\\.\\" + *name;
    std::intptr_t child = vdx_windows_open_path(path.c_str());
    if (child == kVdxInvalidHandle) {
        TRACE_AT(kTraceDevice, "failed to open hub %s\n", path.c_str());
        return;
    }
    USB_HUB_INFORMATION_EX info{};
    std::uint32_t os_error = 0;
    if (hub_information(child, &info, &os_error))
        walk_hub(child, info.HighestPortNumber, state, depth);
    else
        TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_HUB_INFORMATION_EX %s - skip: %u\n", path.c_str(), os_error);
    vdx_windows_close_handle(&child);
}

void walk_hub(std::intptr_t hub, unsigned highest_port, vdx_windows_state& state, unsigned depth) {
    for (std::uint32_t port = 1; port <= highest_port; ++port) {
        std::vector<std::uint8_t> request(wl::kUsbNodeConnectionInformationSize, 0);
        wl::put32(request, offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionIndex), port);
        std::uint32_t os_error = 0;
        if (!vdx_windows_ioctl(hub, wl::kIoctlUsbGetNodeConnectionInformation, request, nullptr, &os_error)) {
            TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_NODE_CONNECTION_INFORMATION %u: %u\n", port, os_error);
            continue;
        }
        const auto connection = wl::load<USB_NODE_CONNECTION_INFORMATION>(request, 0);
        if (connection.ConnectionStatus != DeviceConnected) continue;
        store_device(hub, port, connection.DeviceDescriptor, state);
        if (connection.DeviceIsHub) walk_child_hub(hub, port, state, depth + 1);
    }
}

}  // namespace

void vdx_windows_enumerate_usb(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    unsigned index = 0;
    win_interface_walk(kGuidDevinterfaceUsbHub, [&](const char* path, HDEVINFO set, SP_DEVINFO_DATA& info) {
        const unsigned interface_index = index++;
        std::uint32_t os_error = 0;
        const std::optional<std::string> instance =
            win_property_text(set, info, DEVPKEY_Device_InstanceId, &os_error);
        if (!instance) TRACE_AT(kTraceDevice, "DEVPKEY_Device_InstanceId failed: %u\n", os_error);
        std::intptr_t hub = vdx_windows_open_path(path);
        if (hub == kVdxInvalidHandle) {
            TRACE_AT(kTraceDevice, "invalid handle opened for device path %s\n", path);
            return;
        }
        USB_HUB_INFORMATION_EX hub_info{};
        if (!hub_information(hub, &hub_info, &os_error)) {
            TRACE_AT(kTraceDevice, "failed IOCTL_USB_GET_HUB_INFORMATION_EX %u - skip: %u\n", interface_index,
                     os_error);
            vdx_windows_close_handle(&hub);
            return;
        }
        if (hub_info.HubType != UsbRootHub) {
            TRACE_AT(kTraceDevice, "hub %s not root hub - skip\n", path);
            vdx_windows_close_handle(&hub);
            return;
        }
        TRACE_AT(kTraceDevice, "hub %s root hub - enumerate\n", path);
        vdx_dev* dev = win_push_back(list);
        if (!dev) {
            vdx_windows_close_handle(&hub);
            return;
        }
        set_text(dev->name, path);
        set_text(dev->device_path, path);
        dev->interface = kVdxInterfaceUsbRootHub;
        dev->connection = kVdxConnectionUsbRootHub;
        vdx_windows_state& state = vdx_windows_state_of(*dev);
        walk_hub(hub, hub_info.HighestPortNumber, state, 0);
        vdx_windows_close_handle(&hub);
        const std::optional<std::uint32_t> bus = instance ? win_pci_bus_number(*instance) : std::nullopt;
        if (bus)
            state.pci_bus_number = *bus;
        else
            TRACE_AT(kTraceDevice, "get_pci_bus_number failed, USB hub\n");
    });
}

}  // namespace enctl
