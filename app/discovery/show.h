// The show operation: the supported enclosures with product, serial,
// firmware and description, or with `handles` the drives in each
// enclosure's slots.
#pragma once

#include "app/discovery/ses_fill.h"
#include "app/discovery/target_list.h"

namespace enctl {

// Lists the enclosures of the table; always 0.
int show_devices(bool handles, target_list& targets);

// The drive listing of one enclosure. 0, or 1 when a page could not be read.
int show_end_devices(vdx_dev& enclosure, const disk_pairing& disks);

}  // namespace enctl
