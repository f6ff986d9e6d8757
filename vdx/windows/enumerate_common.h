// Helpers shared by the Windows enumerators: the device interface walk,
// device properties as text, the storage queries of a handle, and the push of
// a Windows record.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <devpropdef.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "vdx/vdx.h"

namespace enctl {

extern const GUID kGuidDevinterfaceDisk, kGuidDevinterfaceSes, kGuidDevinterfaceStoragePort, kGuidDevinterfaceUsbHub,
    kGuidDevclassDiskDrive, kGuidDevclassHdc, kGuidDevclassScsiAdapter;

// Walks the present interfaces of a class: the detail's device path (at most
// 1024 bytes), with the set and the device's SP_DEVINFO_DATA.
void win_interface_walk(const GUID& interface_class,
                        const std::function<void(const char* path, HDEVINFO set, SP_DEVINFO_DATA& info)>& visit);
// A text property (UTF-16, the low byte of each code unit kept).
std::optional<std::string> win_property_text(HDEVINFO set, SP_DEVINFO_DATA& info, const DEVPROPKEY& key,
                                             std::uint32_t* os_error);
std::optional<std::uint32_t> win_property_u32(HDEVINFO set, SP_DEVINFO_DATA& info, const DEVPROPKEY& key,
                                              std::uint32_t* os_error);
// The 40-byte standard device descriptor (the call must return exactly 40).
bool win_read_descriptor(std::intptr_t handle, std::uint8_t (&descriptor)[40]);
bool win_read_device_number(std::intptr_t handle, std::uint32_t* number);
bool win_read_scsi_address(std::intptr_t handle, vdx_scsi_address* address);
// The bus number of the nearest PCI bus above a device instance (0 under ACPI).
std::optional<std::uint32_t> win_pci_bus_number(const std::string& instance);
// A fresh record of this backend, or none (traced) when the list is full.
vdx_dev* win_push_back(vdx_dev_list* list);

}  // namespace enctl
