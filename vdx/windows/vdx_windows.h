// The Windows backend: enumeration through the Setup API and the storage
// control codes, SCSI pass-through, the five NVMe paths, the ATA paths, CSMI
// and Intel RSTe ports, USB root hubs. Every operating-system call goes
// through the seam of win32_seam.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl {

// One USB device below a root hub.
struct vdx_usb_device {
    std::uint16_t product_id = 0;
    std::uint16_t vendor_id = 0;
    char serial[16] = {};
};
inline constexpr std::uint32_t kVdxMaxUsbDevices = 32;

// The Windows fields of a device record.
struct vdx_windows_state final : vdx_backend_state {
    char parent_instance_id[1024] = {};
    std::uint32_t pci_bus_number = 0;
    // CSMI
    std::uint8_t csmi_raid_member = 0;
    std::uint8_t csmi_phy_id = 0;
    std::uint8_t csmi_port_id = 0;
    std::uint8_t csmi_sas_address[8] = {};
    std::uint8_t csmi_connection_rate = 0;
    // the fixed header of STORAGE_DEVICE_DESCRIPTOR
    std::uint8_t storage_descriptor[40] = {};
    // Intel RSTe
    std::uint32_t rste_raid_member = 0;
    std::uint32_t rste_disk_id = 0;
    // behind a Marvell NevoX bridge
    std::uint16_t marvell_disk_id = 0;
    // USB root hubs
    std::uint32_t usb_device_count = 0;
    vdx_usb_device usb_devices[kVdxMaxUsbDevices];

    std::unique_ptr<vdx_backend_state> clone() const override { return std::make_unique<vdx_windows_state>(*this); }
};

// The device's Windows state, created on first use.
vdx_windows_state& vdx_windows_state_of(vdx_dev& dev);
const vdx_windows_state* vdx_windows_state_if(const vdx_dev& dev);

// The Windows backend table.
const vdx_backend_ops& vdx_windows_backend();

// Time-outs: milliseconds to whole seconds, a fraction counting as one more
// (pass-through and storage requests), or cut (miniport requests).
constexpr std::uint32_t vdx_windows_seconds_up(std::uint32_t ms) { return ms / 1000 + (ms % 1000 != 0); }
constexpr std::uint32_t vdx_windows_seconds_down(std::uint32_t ms) { return ms / 1000; }

// The driver kind of a controller's driver description.
std::uint32_t vdx_windows_driver_kind(std::string_view description);

// Device operations (device_windows.cpp).
int vdx_windows_dev_open(vdx_error* error, vdx_dev* dev);
int vdx_windows_dev_close(vdx_error* error, vdx_dev* dev);
int vdx_windows_dev_cleanup(vdx_dev* dev);
int vdx_windows_dev_copy(vdx_dev* dest, const vdx_dev* src);
// Opens a path read/write; shared read/write unless `exclusive`.
std::intptr_t vdx_windows_open_path(const char* path, bool exclusive = false);
void vdx_windows_close_handle(std::intptr_t* handle);
// DeviceIoControl with one buffer for input and output; the OS error number on
// failure in *os_error. A closed handle fails with ERROR_INVALID_HANDLE
// without a call.
bool vdx_windows_ioctl(std::intptr_t handle, std::uint32_t code, std::span<std::uint8_t> buffer,
                       std::uint32_t* returned, std::uint32_t* os_error);
bool vdx_windows_ioctl(std::intptr_t handle, std::uint32_t code, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out, std::uint32_t* returned, std::uint32_t* os_error);

// A drive behind a CSMI port is opened as the port itself ("\\.\Scsi%u:"),
// which holds every device of the controller, and its record carries no SCSI
// address the port could route by (its path is the phy). Requests that name
// nothing but the handle (SCSI and ATA pass-through, the storage stack's NVMe
// requests, the maker's NVMe driver) would reach whatever device the port
// holds at 0:0:0, so they are not sent for such a drive: error 2, as for a
// path its interface does not have, "`what` execute not supported on device
// <name>", at the caller's source, function and line. True when refused.
bool vdx_windows_refuse_behind_csmi(vdx_error* error, const vdx_dev& dev, const char* what, const char* source,
                                    const char* function, std::uint32_t line);

// SCSI pass-through (scsi_windows.cpp).
int vdx_scsi_windows_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
bool vdx_scsi_windows_probe(vdx_dev* dev);
bool vdx_scsi_windows_probe_sat(vdx_dev* dev);

// NVMe (nvme_windows.cpp).
int vdx_nvme_windows_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
int vdx_nvme_windows_rst_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
int vdx_nvme_windows_rste_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
int vdx_nvme_windows_zm_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
int vdx_nvme_marvell_nevox_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
bool vdx_nvme_windows_probe(vdx_dev* dev);
bool vdx_nvme_windows_rst_probe(vdx_dev* dev);
bool vdx_nvme_windows_zm_probe(vdx_dev* dev);
// Runs the bridge's own enumeration for a disk of `list` behind a Marvell
// NevoX: one record per physical disk, appended to the list.
void vdx_marvell_nevox_enumerate(vdx_dev* disk, vdx_dev_list* list);
// Commands the storage stack takes only as SCSI (Security Send/Receive,
// Flush and I/O opcodes 65h, 66h).
bool vdx_nvme_windows_goes_as_scsi(const vdx_nvme_cmd& cmd);
// Identify Controller through `execute`: true when it succeeds and the 4096
// bytes are not all zero (`who` names the path in the trace).
bool vdx_nvme_identify_probe(vdx_dev* dev, int (*execute)(vdx_error*, vdx_dev*, vdx_nvme_cmd*), const char* who);

// ATA (ata_windows.cpp; through a CSMI port, ata_csmi_windows.cpp).
int vdx_ata_windows_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int execute_stp_passthru(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
bool vdx_ata_windows_probe(vdx_dev* dev);
// The IDENTIFY DEVICE (PIO in, one 512-byte sector, 500 ms) that the ATA
// probes send, reading into `data` (512 bytes).
vdx_ata_cmd vdx_ata_windows_probe_identify(std::span<std::uint8_t, 512> data);
bool vdx_ata_windows_probe_csmi(vdx_dev* dev);
// DOWNLOAD MICROCODE (modes 0Eh and 0Fh) through the firmware requests of the
// Intel RST driver and of the storage stack (ata_firmware_windows.cpp).
int execute_intel_rst_firmware_download(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int execute_intel_rst_firmware_activate(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int execute_storage_hw_firmware_download(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int execute_storage_hw_firmware_activate(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);

// Enumerators (enumerate_windows.cpp; CSMI and RSTe ports, ports_windows.cpp;
// USB root hubs, usb_windows.cpp).
void vdx_windows_enumerate_disk(vdx_dev_list* list);
void vdx_windows_enumerate_hdc(vdx_dev_list* list);
void vdx_windows_enumerate_scsi_adapter(vdx_dev_list* list);
void vdx_windows_enumerate_ses(vdx_dev_list* list);
void vdx_windows_enumerate_csmi(vdx_dev_list* list);
void vdx_windows_enumerate_rste(vdx_dev_list* list);
void vdx_windows_enumerate_usb(vdx_dev_list* list);
int vdx_windows_bus_number(const vdx_dev* dev);
bool vdx_windows_adaptec_present();

}  // namespace enctl
