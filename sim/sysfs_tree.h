// The fake sysfs and /dev tree of a lab, laid out as on a Linux host: what
// the Linux backend reads under ENCTL_SYSROOT.
#pragma once

#include <string>

#include "sim/lab.h"

namespace enctl::sim {

// The device directories sit under sys/devices as on a host. With
// `kernel_class_links` (the default) the class entries (sys/class/scsi_generic/sgN,
// sys/block/sdX, sys/class/nvme/nvmeN) are symbolic links into sys/devices,
// exactly as the kernel makes them, so a `device` link has to be resolved
// through the file system; without, they are directories whose `device` link
// reaches the device directory lexically too.
//
// Writes the tree under `root` (created; an old tree there is removed first).
// False with `error` set on a file system failure.
bool write_sysfs_tree(const lab& the_lab, const std::string& root, std::string& error);

// Content of a lab device node: "enctl-lab NODE HOST CHANNEL TARGET LUN TYPE\n"
// (-1 for the address of an NVMe controller). The preload shim reads it.
std::string node_file_text(const lab_device& dev, const std::string& node);

}  // namespace enctl::sim
