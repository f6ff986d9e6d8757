// The lab: every simulated device with its operating-system names (target
// name, sg/sd/nvme node), its injected faults and its command counters, and
// the lab's virtual clock. The lab process serves one of these.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
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

    std::uint32_t service_us = 0;   // time each command takes
    std::uint64_t busy_us = 0;      // service time of the commands counted
    // Held while the device serves a command: one at a time per device.
    std::unique_ptr<std::mutex> serving = std::make_unique<std::mutex>();
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
    // A device serves one command at a time and takes its service time for
    // each (waited on the service clock); different devices serve theirs
    // at the same time. Safe to call from several threads.
    scsi_result execute_scsi(lab_device& dev, const scsi_command& cmd);
    nvme_result execute_nvme(lab_device& dev, const nvme_command& cmd);

    // Per device and per (opcode, page): "<name> <node> <opcode>h <page>h|- <count>",
    // then "total N" and "busiest NAME US" (the device with the most service
    // time, the least wall time the commands counted can take).
    std::string stats_text() const;
    void reset_stats();

    // The model's lock: held while a command runs on the model; take it to
    // read or change the model from another thread (state, dump).
    std::unique_lock<std::mutex> hold() const { return std::unique_lock(model_mutex_); }
    // The clock service times are waited on (the system clock unless set;
    // not owned).
    void set_service_clock(clock_source* clock) { service_clock_ = clock; }
    // Lab time follows the virtual clocks of the processes that send commands:
    // it advances by as much as a sender's clock moved since that sender's
    // previous command (a process's first command, or a reading that went
    // back, only sets its starting point). `kind` is a wire::clock_kind; a
    // command without a reading leaves lab time alone.
    void follow_sender_clock(std::uint32_t kind, std::uint32_t pid, std::uint64_t reading_ms);

    virtual_clock_source& clock() { return clock_; }
    const lab_description& description() const { return description_; }

private:
    template <class Result, class Run>
    Result serve(lab_device& dev, Run run);
    scsi_result run_scsi(lab_device& dev, const scsi_command& cmd);
    nvme_result run_nvme(lab_device& dev, const nvme_command& cmd);

    mutable std::mutex model_mutex_;
    clock_source* service_clock_ = nullptr;
    lab_description description_;
    std::vector<lab_device> devices_;
    // The first device with a node name, and with a name (lower case), by
    // position in devices_: find() without a walk over thousands of devices.
    std::map<std::string, std::size_t, std::less<>> by_node_, by_name_;
    virtual_clock_source clock_;
    std::map<std::uint32_t, std::uint64_t> sender_clocks_;  // sender pid -> its last reading
};

}  // namespace enctl::sim
