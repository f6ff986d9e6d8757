// The lab description: which enclosures and disks the lab holds, with every
// identity field, element overrides and injected faults. Read from a JSON
// file (see sim/README.md) or taken from the built-in default lab; fields a
// file leaves out get the product's defaults (`complete_description`).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bytes.h"

namespace enctl::sim {

enum class fault_kind {
    check_condition,  // CHECK CONDITION with the given sense data
    busy,             // SCSI status BUSY
    transport,        // the request itself fails (the ioctl returns EIO)
    short_transfer,   // at most `length` bytes of data are returned
    delay,            // the command takes `delay_ms` of lab time (a time-out when longer than the command's)
    nvme_status,      // NVMe completion with the given status (status code type << 8 | status code)
    drop,             // GOOD, but the command never reaches the device (its data is lost)
};

struct fault_spec {
    std::uint8_t opcode = 0;
    std::optional<std::uint8_t> page;  // any page when absent
    fault_kind kind = fault_kind::check_condition;
    bytes sense;                       // check_condition
    std::uint32_t length = 0;          // short_transfer
    std::uint32_t delay_ms = 0;        // delay
    std::uint16_t nvme_status = 0;     // nvme_status
    std::uint32_t skip = 0;            // matching commands let through first
    std::optional<std::uint32_t> count;  // how many times it fires; always when absent
};

struct element_override {
    std::uint8_t type = 0;   // SES element type code
    std::uint32_t index = 0; // element index within the type
    std::optional<bytes> status;          // 4 status bytes of page 02h
    std::optional<std::string> descriptor;  // page 07h text
};

struct alert_spec {
    std::string element;
    std::string status;
};

struct scsi_address {
    int host = -1, channel = 0, target = -1, lun = 0;
};

// How the enclosure's firmware update plays out in lab time.
struct microcode_settings {
    std::uint32_t write_ms = 120000;      // writing nonvolatile storage after the last segment
    std::uint32_t timeout_ms = 600000;    // a download with no segment for longer fails (0: never)
    std::uint32_t restart_ms = 30000;     // NOT READY after an activation or a reset of the host's IOM
    std::uint32_t max_size = 128u << 20;  // largest image (the status page's maximum size)
};

struct enclosure_spec {
    std::string label;             // name disks refer to; default "encl<index>"
    int product = 0;               // 1..7
    bool multi_tenant = false;     // product 6 only
    scsi_address address;
    std::string vendor;            // INQUIRY vendor identification
    std::string product_id;        // INQUIRY product identification
    std::string revision;          // INQUIRY product revision
    std::optional<std::string> product_name;  // VPD C1h name; "" = no page C1h
    std::string serial;            // VPD 80h
    std::uint64_t sas_address = 0; // VPD 83h NAA; IOM and expander addresses derive from it
    std::string firmware;          // "FwRev:" of page 03h, expander versions
    std::string oobm_version;      // last field of the ESCE descriptors
    std::uint32_t slots = 0;       // at most 200: page 0Ah element indexes are one byte
    bool dual_iom = true;          // mode page 20h
    char attached_iom = 'A';       // String In page 04h: 'A', 'B' or '-' (unknown)
    bool eip = true;               // page 0Ah descriptors carry the element index
    std::string proc_name;         // SCSI host driver name in sysfs
    std::uint32_t zoning = 0;      // pre-defined zoning configuration in force, 0 = none
    std::vector<alert_spec> alerts;
    std::vector<element_override> elements;
    std::vector<fault_spec> faults;
    // Reply text of the command line (page ECh) by command, in place of what
    // the lab would print; it may hold any bytes, NUL included.
    std::map<std::string, std::string> cli_replies;
    std::optional<std::uint32_t> service_us;  // time each command takes (default: the lab's for enclosures)
    microcode_settings microcode;
    bool vpd83_t10_first = false;  // VPD 83h starts with a T10 vendor ID designator, not the NAA
};

enum class disk_kind { sas, sata, nvme };

struct disk_spec {
    disk_kind kind = disk_kind::sas;
    std::string vendor;
    std::string model;
    std::string revision;
    std::string serial;
    std::uint64_t naa = 0;          // logical unit NAA (SATA: world wide name)
    std::uint64_t blocks = 0;       // logical blocks
    std::uint32_t block_size = 512;
    std::string enclosure;          // label of the enclosure it is seated in ("" = none)
    int slot = -1;
    std::string slot_serial;        // serial the slot descriptor names (default: the serial)
    scsi_address address;           // SCSI disks; host defaults to the enclosure's
    std::string controller;         // RAID controller it sits behind ("adaptec", "megaraid"; "" = none)
    std::vector<fault_spec> faults;
    std::optional<std::uint32_t> service_us;  // time each command takes (default: the lab's for disks)
};

// Longest service time a description may give a command (10 s).
inline constexpr std::uint32_t kMaxServiceUs = 10'000'000;

struct lab_description {
    std::vector<enclosure_spec> enclosures;
    std::vector<disk_spec> disks;
    bool kernel_class_links = true;  // sysfs class entries as symbolic links, as the kernel makes them
    std::uint32_t disk_service_us = 0;       // service time of a command to a disk without its own
    std::uint32_t enclosure_service_us = 0;  // ... to an enclosure without its own
};

// Parses a lab description; on failure returns nullopt and sets `error`.
// The result is completed (defaults filled, addresses assigned) and checked.
std::optional<lab_description> parse_lab_description(std::string_view json, std::string& error);

// The built-in default lab: one enclosure per product and the multi-tenant
// variant, drives in most slots, one SATA and one NVMe disk.
lab_description default_lab();

// A big lab for benchmarks: `enclosures` enclosures of products 5, 6 and 7 in
// turn, `disks` SAS disks spread over their slots. Completed like a parsed one.
lab_description generated_lab(std::uint32_t enclosures, std::uint32_t disks);

// The same lab written back as JSON (the input form of parse_lab_description).
std::string lab_description_json(const lab_description& lab);

// Fills every field left empty with the product defaults, assigns SCSI
// addresses and checks the whole; false with `error` set when it is unusable
// (unknown product, disk in an unknown enclosure or slot, duplicate address...).
bool complete_description(lab_description& lab, std::string& error);

}  // namespace enctl::sim
