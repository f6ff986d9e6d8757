// Pages written to an enclosure with SEND DIAGNOSTIC (PF = 1). Each page has a
// pure builder that lays out its bytes and a sender (build, send, check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "basekit/error.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::size_t kSesCliPageSize = 8192;
inline constexpr std::size_t kSesCliMaxText = kSesCliPageSize - 8;  // 8184
inline constexpr std::size_t kSesNicknameSize = 32;
inline constexpr std::size_t kSesNicknamePageSize = 40;
inline constexpr std::size_t kSesZonePageSize = 144;
inline constexpr std::size_t kSesTimeStampPageSize = 16;
inline constexpr std::size_t kSesMicrocodeHeader = 24;
// The largest microcode segment whose page length still fits its 16-bit fields.
inline constexpr std::size_t kSesMicrocodeMaxData = 0xFFFF - kSesMicrocodeHeader;

// Builders: fill `page` and return the number of page bytes, or 0 when the
// input does not fit (text over 8184 bytes, nickname over 32 bytes, a page
// buffer too small).
std::size_t ses_build_cli_page(std::span<std::uint8_t> page, std::uint8_t selector,
                               std::span<const std::uint8_t> text);
std::vector<std::uint8_t> ses_build_download_microcode_page(std::uint32_t generation_code,
                                                            std::uint8_t mode,
                                                            std::uint32_t buffer_offset,
                                                            std::uint32_t image_length,
                                                            std::span<const std::uint8_t> data);
std::size_t ses_build_nickname_page(std::span<std::uint8_t> page, std::uint32_t generation_code,
                                    std::span<const std::uint8_t> nickname);
std::size_t ses_build_zone_control_page(std::span<std::uint8_t> page, std::uint8_t config_value,
                                        std::span<const std::uint8_t, 8> sas_address);
std::size_t ses_build_iom_reset_page(std::span<std::uint8_t> page, std::uint8_t iom_selector);
std::size_t ses_build_enclosure_reset_page(std::span<std::uint8_t> page);
std::size_t ses_build_enclosure_reset_short_page(std::span<std::uint8_t> page);
std::size_t ses_build_event_log_request_page(std::span<std::uint8_t> page, std::uint8_t page_code);
// Page EEh: the time stamp (seconds since the epoch) in bytes 12-15.
std::size_t ses_build_time_stamp_page(std::span<std::uint8_t> page, std::uint32_t time_stamp);

// Senders: 0 on success.
// Text over 8184 bytes: 1 without sending and without touching the record.
int ses_send_cli_command(vdx_error* error, vdx_dev* dev, std::uint8_t selector,
                         std::span<const std::uint8_t> text);
// Download Microcode Control (page 0Eh), one segment.
int ses_send_download_microcode(vdx_error* error, vdx_dev* dev, std::uint32_t generation_code,
                                std::uint8_t mode, std::uint32_t buffer_offset,
                                std::uint32_t image_length, std::span<const std::uint8_t> data);
// Nickname over 32 bytes: 1 without sending and without touching the record.
int ses_send_nickname(vdx_error* error, vdx_dev* dev, std::uint32_t generation_code,
                      std::span<const std::uint8_t> nickname);
// Configuration value 0 disables zoning, any other enables it.
int ses_send_zone_control(vdx_error* error, vdx_dev* dev, std::uint8_t config_value,
                          std::span<const std::uint8_t, 8> sas_address);
int ses_send_iom_reset(vdx_error* error, vdx_dev* dev, std::uint8_t iom_selector);
// The callers of these three do not act on the result; the record is filled.
int ses_send_enclosure_reset(vdx_error* error, vdx_dev* dev);
int ses_send_enclosure_reset_short(vdx_error* error, vdx_dev* dev);
int ses_send_event_log_request(vdx_error* error, vdx_dev* dev, std::uint8_t page_code);
int ses_send_time_stamp(vdx_error* error, vdx_dev* dev, std::uint32_t time_stamp);

}  // namespace enctl
