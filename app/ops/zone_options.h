// Option record, argument parser and usage of the zone operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

inline constexpr std::size_t kZoneFileSize = 1024;

struct zone_options {
    std::uint32_t config;   // apply a pre-defined configuration
    std::uint32_t reset;    // reset the IOM
    std::uint32_t status;   // show the zoning setting
    std::uint32_t file;     // send a zoning configuration file
    std::int32_t config_value;     // as typed; only 0..3 are applied
    char file_path[kZoneFileSize];
};

// 0 when the request is complete, 1 otherwise (the caller prints the usage).
int zone_parse_args(zone_options& options, std::span<const char* const> args);
void zone_usage();

}  // namespace enctl
