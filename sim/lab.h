// The lab: every simulated device with its operating-system names (target
// name, sg/sd/nvme node), its injected faults and its command counters, and
// the lab's virtual clock. The lab process serves one of these.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "basekit/clock.h"
#include "sim/device.h"
#include "sim/lab_description.h"

namespace enctl::sim {

class enclosure;

enum class device_role { enclosure, sas_disk, sata_disk, nvme };

struct lab_device {
    device_role role = device_role::enclosure;
    std::string name;        // "SCSI1:0,0,0", "disk3", "nvme0"
    std::string sg_node;     // "sg3" for every SCSI device
    std::string block_node;  // "sdd" for SCSI disks, "nvme0" for NVMe controllers
    scsi_address address;    // SCSI devices
    int block_index = -1;    // index of the sd name (sda 0) or the nvme number
    std::string vendor, model, revision, serial;
    std::uint64_t blocks = 0;
    std::uint32_t block_size = 512;
    std::uint64_t sas_address = 0;  // SAS address of the port the host sees (0 = none)
    std::string proc_name;          // the SCSI host's driver
    std::string controller;         // RAID controller it sits behind ("" = none; sim/controllers.h)
    std::unique_ptr<device> model_device;
    enclosure* as_enclosure = nullptr;

    struct fault_state {
        fault_spec spec;
        std::uint32_t seen = 0;
        std::uint32_t fired = 0;
    };
    std::vector<fault_state> faults;
    std::map<std::pair<int, int>, std::uint64_t> counts;  // (opcode, page or -1) -> commands
};

// "sda", "sdz", "sdaa" for 0, 25, 26.
std::string sd_name(int index);

class lab {
public:
    explicit lab(const lab_description& description);  // a completed description

    std::vector<lab_device>& devices() { return devices_; }
    const std::vector<lab_device>& devices() const { return devices_; }

    // By target name (case ignored), node name ("sg3", "sdd", "nvme0") or a
    // path ending in /dev/<node>.
    lab_device* find(std::string_view name);

    // Runs a command as the device gets it: faults first, counters always.
    scsi_result execute_scsi(lab_device& dev, const scsi_command& cmd);
    nvme_result execute_nvme(lab_device& dev, const nvme_command& cmd);

    // Per device and per (opcode, page): "<name> <node> <opcode>h <page>h|- <count>".
    std::string stats_text() const;
    void reset_stats();

    virtual_clock_source& clock() { return clock_; }
    const lab_description& description() const { return description_; }

private:
    lab_description description_;
    std::vector<lab_device> devices_;
    virtual_clock_source clock_;
};

}  // namespace enctl::sim
