#include "sim/controllers.h"

#include <algorithm>
#include <iterator>

#include "sim/lab.h"

namespace enctl::sim {

std::string controller_problem(const disk_spec& disk) {
    if (disk.controller.empty()) return {};
    if (std::find(std::begin(kControllerNames), std::end(kControllerNames), disk.controller) ==
        std::end(kControllerNames))
        return "must be adaptec or megaraid";
    if (disk.kind == disk_kind::nvme) return "an NVMe disk cannot sit behind a RAID controller";
    return {};
}

void name_controller_drives(std::vector<lab_device>& devices) {
    for (const char* controller : kControllerNames) {
        int n = 0;
        for (auto& d : devices) {
            if (d.controller != controller) continue;
            d.name = controller + std::to_string(n++);
            d.sg_node.clear();
            d.block_node.clear();
            d.block_index = -1;
        }
    }
}

std::string controller_drives_text(const lab& the_lab, std::string_view controller) {
    std::string out;
    for (const auto& d : the_lab.devices())
        if (d.controller == controller)
            out += d.name + (d.role == device_role::sata_disk ? " sata\n" : " sas\n");
    return out;
}

}  // namespace enctl::sim
