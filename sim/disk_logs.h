// What the lab's disks tell drive-log tools (smartctl, sg_logs): a SAS disk's
// LOG SENSE pages, its mode pages 08h (caching) and 1Ch (informational
// exceptions control) and its (empty) defect lists; a SATA disk's SMART feature set over ATA
// PASS-THROUGH; an NVMe controller's log pages (error information,
// SMART/health). What they do not model they answer as a device that lacks
// it.
#pragma once

#include <cstdint>

#include "sim/device.h"
#include "sim/lab_description.h"

namespace enctl::sim {

// LOG SENSE (4Dh) of a SAS disk: pages 00h, 02h, 03h, 05h, 06h, 0Dh, 0Eh,
// 10h, 18h (its two SAS ports) and 2Fh, subpage 0.
scsi_result sas_log_sense(const disk_spec& disk, const scsi_command& cmd);

// MODE SENSE(6) and (10) of a disk: pages 08h and 1Ch (and 3Fh, both).
scsi_result disk_mode_sense(const scsi_command& cmd);

// READ DEFECT DATA(10) and (12): both defect lists empty.
scsi_result read_defect_data(const scsi_command& cmd);

// One SMART command (ATA command B0h) with its registers.
struct smart_registers {
    std::uint8_t feature = 0;
    std::uint8_t count = 0;
    std::uint8_t lba_low = 0;
    std::uint8_t lba_mid = 0;
    std::uint8_t lba_high = 0;
};
struct smart_answer {
    bool aborted = false;  // the device aborts the command
    bytes data;            // data in (512 bytes a sector)
    std::uint8_t lba_mid = 0, lba_high = 0;  // returned registers (RETURN STATUS)
};
// READ DATA, READ THRESHOLDS, ENABLE OPERATIONS, RETURN STATUS, READ LOG
// (directory, summary error log, self-test log).
smart_answer sata_smart(const disk_spec& disk, const smart_registers& in);

// Get Log Page (admin 02h) of an NVMe controller: 01h and 02h.
nvme_result nvme_get_log_page(const disk_spec& disk, const nvme_command& cmd);

}  // namespace enctl::sim
