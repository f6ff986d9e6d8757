// Option record, argument parser and usage of the iom operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

inline constexpr std::size_t kIomValueSize = 256;

struct iom_options {
    std::uint32_t show;   // no argument: single or dual IOM operation
    std::uint32_t read;   // "oobm": show the OOBM settings
    std::uint32_t write;  // "oobm=...": set new OOBM settings
    char value[kIomValueSize];      // the text after "oobm="
    char tokens[4][kIomValueSize];  // its comma-separated parts
    std::uint8_t iom;     // 1 IOM A, 2 IOM B
    std::uint8_t dhcp;    // 1 when IP, netmask and gateway are all 0.0.0.0
    std::uint32_t ip[4];
    std::uint32_t netmask[4];
    std::uint32_t gateway[4];
};

// 0 when the request is complete, 1 otherwise (the caller prints the usage).
int iom_parse_args(iom_options& options, std::span<const char* const> args);
void iom_usage();

// Checks `options.value` and fills tokens, iom, dhcp and the octets: 0 when
// valid, 2 when not (the message of the first bad field is printed).
int validate_oobm_values(iom_options& options);
// Four dot-separated decimal octets 0..255: 0 when valid, 2 when not.
int validate_address(const char* text, std::uint32_t (&octets)[4]);

}  // namespace enctl
