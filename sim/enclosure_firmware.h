// An enclosure's firmware: the revision each IOM runs, the microcode store of
// page 0Eh, the IOM resets and activations that make a stored image run, and
// the restart after them (NOT READY for a lab-set time).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "sim/bytes.h"
#include "sim/lab_description.h"
#include "sim/microcode.h"

struct cJSON;

namespace enctl::sim {

class enclosure;

struct firmware_state {
    firmware_state(const enclosure_spec& spec)
        : store(spec.microcode, spec.product), running{spec.firmware, spec.firmware} {}

    microcode_store store;
    std::array<std::string, 2> running;  // IOM A, IOM B
};

// Page 0Eh: Download Microcode Control (sent), Download Microcode Status (read).
std::uint32_t take_microcode_control(enclosure& e, std::span<const std::uint8_t> page);
bytes build_microcode_status(const enclosure& e);

// String Out page 04h (taken in sim/enclosure_settings.cpp): zoning control
// (byte 4 60h disable, 61h enable pre-defined configuration byte 5, for the
// enclosure's SAS address in bytes 8-15).
bool is_zoning_control(std::span<const std::uint8_t> page);
std::uint32_t take_zoning_control(enclosure& e, std::span<const std::uint8_t> page);
// The IOM a reset selector names: 00h A, 01h B, C0h the IOM the host reaches
// (the only one of a single-IOM enclosure), F0h its partner; -1 for none.
int reset_selector_iom(const enclosure& e, std::uint8_t selector);
// IOM `iom` restarts: it runs the stored firmware image, if there is one
// (true then); the store empties when every present IOM runs it.
bool restart_on_stored_image(enclosure& e, int iom);

// The "firmware" part of `enctl-lab state`: what each IOM runs, the stored
// image, the download status and how many segments and activations came.
void add_firmware_state(const enclosure& e, cJSON* o);

}  // namespace enctl::sim
