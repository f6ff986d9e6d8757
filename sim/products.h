// The seven enclosure products as the lab models them: identity defaults,
// slot and element layout, and the diagnostic pages each one answers.
#pragma once

#include <cstdint>
#include <span>

#include "sim/bytes.h"

namespace enctl::sim {

class enclosure;

// A diagnostic page the enclosure returns (RECEIVE DIAGNOSTIC RESULTS).
struct receive_page {
    std::uint8_t page;
    bytes (*build)(const enclosure&);
};

// A diagnostic page the enclosure takes (SEND DIAGNOSTIC); returns the sense
// key/ASC/ASCQ packed as key << 16 | asc << 8 | ascq, 0 for success.
struct send_page {
    std::uint8_t page;
    std::uint32_t (*take)(enclosure&, std::span<const std::uint8_t> page);
};

struct sensor_row {
    const char* name;
    std::uint32_t value;  // voltage in 10 mV, current in 10 mA units
};

struct product_profile {
    int code;
    const char* product_id;       // INQUIRY product identification
    const char* product_name;     // VPD C1h name (multi-tenant: see below); nullptr = no page C1h
    const char* mt_product_name;  // VPD C1h name of the multi-tenant firmware; nullptr = none
    const char* description;      // first line of the help text
    const char* firmware;         // default firmware revision
    const char* serial_prefix;
    std::uint32_t slots;
    bool iom_from_mode_page;      // mode page 20h tells single or dual
    bool single_always;           // one IOM whatever the mode page says
    std::uint32_t expanders_per_iom;
    std::uint32_t fans;
    std::uint32_t temperature_sensors;
    bool door;                    // a Door element (else an Audible alarm)
    std::span<const sensor_row> voltage_sensors;
    std::span<const sensor_row> current_sensors;
    std::uint32_t connectors_per_iom;
    bool vendor_pages;            // help text with "FwRev:" and the SES status section
    std::span<const receive_page> receive_pages;
    std::span<const send_page> send_pages;
};

// The profile of product code 1..7, nullptr for any other.
const product_profile* find_product(int code);

}  // namespace enctl::sim
