// The device name scan: the devices named on the command line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vdx/vdx.h"

namespace enctl {

// Enumerates every device and, for each name in order, appends a copy of the
// first device whose name equals it without regard to case (and, with
// `probe`, that passes vdx_dev_probe) to `target_list`. A name given twice
// copies the device twice; an unknown name adds nothing. Returns 0.
int cmdxscan_scan_names(vdx_dev_list* target_list, bool probe, std::span<const std::string_view> names);
int cmdxscan_scan_names(vdx_dev_list* target_list, bool probe, std::span<const std::string> names);

}  // namespace enctl
