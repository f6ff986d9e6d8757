// Drives behind the lab's RAID controllers. A disk whose description names a
// controller ("adaptec" or "megaraid") has no operating-system device: no
// sysfs entry, no sg or sd node. It answers under the name <controller><N>
// (N counting that controller's drives in description order), which the
// substitute wrapper libraries (sim/wrappers) use to forward commands to it
// over the lab's socket.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/lab_description.h"

namespace enctl::sim {

struct lab_device;
class lab;

inline constexpr const char* kControllerNames[] = {"adaptec", "megaraid"};

// What is wrong with a disk's controller entry; "" when it is usable.
std::string controller_problem(const disk_spec& disk);

// Names every drive behind a controller: "adaptec0", "adaptec1", "megaraid0".
void name_controller_drives(std::vector<lab_device>& devices);

// The answer to the control request "drives <controller>": one line
// "<name> sas|sata" per drive behind it, in index order.
std::string controller_drives_text(const lab& the_lab, std::string_view controller);

}  // namespace enctl::sim
