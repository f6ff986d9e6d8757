// The error record of the device access layer and the command-set helpers.
//
// Routines of the device layer take a vdx_error first and return 0 on success,
// non-zero on failure with the record filled. vdx_error_set always returns 1
// so that a failing routine can `return VDX_ERROR(...)`.
#pragma once

#include <cstdint>

namespace enctl {

// Error classes.
inline constexpr std::uint32_t kErrParseOrCheckCondition = 1;
inline constexpr std::uint32_t kErrNotSupported = 2;
inline constexpr std::uint32_t kErrNoInterface = 3;
inline constexpr std::uint32_t kErrOsRequest = 4;
inline constexpr std::uint32_t kErrRaidLibrary = 5;
inline constexpr std::uint32_t kErrDeviceStatus = 6;

struct vdx_error {
    std::uint32_t code;
    std::uint32_t subcode;
    char file[128];
    char function[128];
    std::uint32_t line;
    char message[4096];
};

// With no record returns 1 and stores nothing. Otherwise stores code and
// subcode, file and function (each cut to 127 characters) when given, the line,
// and the formatted message (cut to 4095 characters) when a format is given.
int vdx_error_set(vdx_error* error, std::uint32_t code, std::uint32_t subcode, const char* file,
                  const char* function, std::uint32_t line, const char* format, ...)
    __attribute__((format(gnu_printf, 7, 8)));
// Code and subcode to 0; returns 0.
int vdx_error_clear(vdx_error* error);
// The code is not 0.
bool vdx_error_is_error(const vdx_error* error);

}  // namespace enctl

#define VDX_ERROR(err, code, subcode, ...) \
    ::enctl::vdx_error_set((err), (code), (subcode), __FILE__, __func__, __LINE__, __VA_ARGS__)
