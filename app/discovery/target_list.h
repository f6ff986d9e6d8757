// The run's device table: copies of the enumerated devices that the
// operation works on, each owning its handle and its attached records. It
// holds at most kVdxMaxDevices (8192) devices; a device beyond that is not
// added (traced at device level).
#pragma once

#include <cstdint>

#include "app/discovery/enclosure_target.h"
#include "vdx/vdx.h"

namespace enctl {

using target_list = vdx_dev_list;

inline constexpr std::uint32_t kTargetListSize = kVdxMaxDevices;

// The record attached to a device under `tag` (the first node of its chain
// with that tag); none when no node carries it.
const enclosure_target* attached_record(const vdx_dev& device, std::uint64_t tag);
// The enclosure record of a recognised enclosure, or none.
inline const enclosure_target* enclosure_of(const vdx_dev& device) {
    return attached_record(device, kEnclosureTargetTag);
}

// True when the device's interface has a SCSI command path.
inline bool has_scsi_path(const vdx_dev& device) { return vdx_has_scsi_path(device); }

// Appends a copy of `device` to the table; none when the table is full or the
// copy failed (both traced).
vdx_dev* target_list_append(target_list& targets, const vdx_dev& device);

// Cleans up every device of the table and empties it.
void target_list_release(target_list& targets);

}  // namespace enctl
