// The Linux backend: enumeration from sysfs, SCSI commands through the SG_IO
// ioctl (sg v3 header), NVMe admin commands through NVME_IOCTL_ADMIN_CMD.
//
// Every sysfs and /dev path is read below a filesystem root: "/" by default,
// the environment variable ENCTL_SYSROOT when set, or what
// vdx_linux_set_sysroot installed (tests). Device records keep the host path
// ("/dev/sg3"); open joins the root and that path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl {

// The root in use; the override of set_sysroot wins over the environment.
std::string vdx_linux_sysroot();
// Installs a root (tests); an empty text goes back to ENCTL_SYSROOT or "/".
void vdx_linux_set_sysroot(std::string_view root);
// The root joined with a host path ("/sys/block").
std::string vdx_linux_path(std::string_view host_path);

// The one place where an ioctl reaches the kernel. Tests replace it to check
// the requests built and to hand back results; nullptr is not allowed.
using linux_ioctl_fn = int (*)(int fd, unsigned long request, void* arg);
extern linux_ioctl_fn linux_ioctl_seam;
int linux_ioctl_default(int fd, unsigned long request, void* arg);

// The index of a kernel disk name: "sda" 0, "sdz" 25, "sdaa" 26; -1 when the
// name is not sd followed by lower-case letters (or the index overflows).
int vdx_linux_disk_index(std::string_view kernel_name);

// The Linux backend table.
const vdx_backend_ops& vdx_linux_backend();

// What the backend keeps per device: the full-width SCSI address (host
// numbers can exceed the 8-bit port of the shared address record).
struct vdx_linux_state final : vdx_backend_state {
    std::uint32_t host = 0;
    std::uint32_t channel = 0;
    std::uint32_t target = 0;
    std::uint64_t lun = 0;
    // What the kernel's own INQUIRY (sysfs `vendor`) says about the command
    // set of a SCSI disk: a SAT layer reports the vendor "ATA". Unknown when
    // the attribute could not be read; the probe then asks the device.
    enum class command_set : std::uint8_t { unknown, sat_ata, scsi };
    command_set disk_command_set = command_set::unknown;

    std::unique_ptr<vdx_backend_state> clone() const override { return std::make_unique<vdx_linux_state>(*this); }
};

// Backend operations, exposed for tests.
void vdx_linux_enumerate_disks(vdx_dev_list* list);
void vdx_linux_enumerate_nvme(vdx_dev_list* list);
void vdx_linux_enumerate_ses(vdx_dev_list* list);
int vdx_linux_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
int vdx_linux_nvme_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);
int vdx_linux_bus_number(const vdx_dev* dev);
bool vdx_linux_adaptec_present();

}  // namespace enctl
