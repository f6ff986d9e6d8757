// The walk that the enclosure operations share: every recognised enclosure
// of the run's table, in order, between its "Device: %s\n" line and an empty
// line; drive entries are skipped silently.
#pragma once

#include "app/discovery/target_list.h"
#include "basekit/console.h"

namespace enctl {

template <typename Run>
void for_each_enclosure(target_list& targets, Run&& run) {
    for (vdx_dev& device : targets.view()) {
        const enclosure_target* target = enclosure_of(device);
        if (!target || !has_scsi_path(device)) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", device.name);
        run(device, *target);
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
}

inline void print_product_not_supported() {
    CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on this product\n");
}

}  // namespace enctl
