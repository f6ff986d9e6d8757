// Identification across command sets.
#pragma once

#include <span>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

// Unit serial number by the device's interface class, checked in the order
// NVMe (Identify Controller), ATA (IDENTIFY DEVICE), SCSI (VPD page 80h);
// kErrNotSupported for any other interface.
int cmdxbasics_get_serial(vdx_error* error, vdx_dev* dev, std::span<char> out);

}  // namespace enctl
