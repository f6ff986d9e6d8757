// Enclosure and end-device discovery: fills the run's device table and tags
// each recognised enclosure with an enclosure record (kEnclosureTargetTag) and, when an
// operation needs the disks, each disk with an end-device record (kEndDeviceTag).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "app/discovery/enclosure_target.h"
#include "app/discovery/target_list.h"

namespace enctl {

// Enumeration mask of enumerate_all_enclosures: disks, IDE/ATA class
// controllers and enclosure devices.
inline constexpr std::uint32_t kEnclosureEnumerationMask = 35;

// Runs job(device, index) for every device of the table on a small pool of
// threads (basekit/ordered_jobs.h): what the jobs print comes out in table
// order, byte for byte as in a run one device after another. A job may touch
// only its own device and read the others.
void for_each_device_concurrently(target_list& targets,
                                  const std::function<void(vdx_dev&, std::uint32_t)>& job);

// Appends a copy of every enclosure (SES) device found.
void enumerate_all_enclosures(target_list& targets);
// Appends a copy of every device whose name contains "disk".
void enumerate_end_devices(target_list& targets);
// Recognises and tags the enclosures of the table; returns how many were
// tagged. With `verbose` (named targets) problems are printed.
std::uint32_t mark_ses_devices(target_list& targets, bool verbose);
// Gives every device that is not a recognised enclosure an end-device record.
void mark_end_device(target_list& targets);

// Recognises the product by the name from INQUIRY VPD page C1h; the name
// "ZMC-NX2A" is told apart by the configuration page (01h) of the device.
// 0 when recognised, else 1.
int identify_zm_enclosure_2(vdx_dev& device, enclosure_target& target, const char* product_name);

// NAA SAS address from VPD page 83h as 16 upper-case hex digits into `out`
// (at least 17 bytes). 0, or 1 when it cannot be read. From the same page,
// when room is given, the SAS target port address (empty when none).
int get_device_sas_address(vdx_dev& device, std::span<char> out, std::span<char> target_port = {});
// SCSI port (host) number of the device, -1 when unknown.
int bus_number(const vdx_dev& device);
// Through which IOM the host reaches the enclosure: 1 IOM A, 2 IOM B, 0 unknown.
int get_iom_type(vdx_dev& device);
// True when an Adaptec RAID controller is installed.
bool windows_adaptec_present();
// Firmware revision from SES page 03h: the "FwRev:" value, "N/A" when the
// command fails or the page has none, empty when another page came back.
void read_firmware_from_page3(vdx_dev& device, enclosure_target& target);

// The handle name an end-device record carries for a disk: its device path
// when that is a /dev path, else "PD" with the physical drive number.
void end_device_os_name(const vdx_dev& device, char (&os_name)[1024]);

}  // namespace enctl
