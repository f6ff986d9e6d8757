// Option record, argument parser and usage of the fw operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

inline constexpr std::size_t kFwFileSize = 1024;

struct fw_options {
    std::uint32_t status;       // show the download microcode status page
    std::uint32_t download;     // send a firmware file
    std::uint32_t activate;     // activate (alone, or after a download)
    std::uint32_t reset;        // reset the IOM(s) (alone, or after a download)
    std::uint32_t nostatdelay;  // skip the fixed delay after a download
    char file[kFwFileSize];     // firmware file path
};

// 0 when the request is complete, 1 otherwise (the caller prints the usage).
int fw_parse_args(fw_options& options, std::span<const char* const> args);
void fw_usage();

}  // namespace enctl
