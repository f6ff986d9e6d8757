// SES pages written with SEND DIAGNOSTIC: pure page builders and senders.
#include "cmdx/cmdxses/ses_send.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

namespace {

constexpr std::uint8_t kStringOutReset = 0x02;
constexpr std::uint8_t kZoneEnable = 0x61;
constexpr std::uint8_t kZoneDisable = 0x60;

// Zeroes the first `size` bytes of `page`; false when the page is too small.
bool clear(std::span<std::uint8_t> page, std::size_t size) {
    if (page.size() < size) return false;
    std::memset(page.data(), 0, size);
    return true;
}

// SEND DIAGNOSTIC with PF = 1 and the page as parameter list; checked.
int send_page(vdx_error* error, vdx_dev* dev, std::span<std::uint8_t> page) {
    vdx_scsi_cmd cmd;
    cmdxscsi_build_send_diagnostic(&cmd, send_diagnostic_bits{}, page);
    const int result = vdx_scsi_execute(error, dev, &cmd);
    if (result != 0) return result;
    return cmdxscsi_check_error(error, cmd);
}

}  // namespace

std::size_t ses_build_cli_page(std::span<std::uint8_t> page, std::uint8_t selector,
                               std::span<const std::uint8_t> text) {
    if (text.size() > kSesCliMaxText) return 0;
    const std::size_t size = text.size() + 8;
    if (!clear(page, size)) return 0;
    page[0] = kSesPageCli;
    enctl::put_be16(&page[2], static_cast<std::uint32_t>(text.size() + 4));
    page[4] = selector;
    if (!text.empty()) std::memcpy(&page[8], text.data(), text.size());
    return size;
}

std::vector<std::uint8_t> ses_build_download_microcode_page(std::uint32_t generation_code,
                                                            std::uint8_t mode,
                                                            std::uint32_t buffer_offset,
                                                            std::uint32_t image_length,
                                                            std::span<const std::uint8_t> data) {
    if (data.size() > kSesMicrocodeMaxData) return {};
    std::vector<std::uint8_t> page(data.size() + kSesMicrocodeHeader, 0);
    page[0] = kSesPageMicrocode;
    page[1] = 0x00;
    enctl::put_be16(&page[2], static_cast<std::uint32_t>(data.size() + 20));
    enctl::put_be32(&page[4], generation_code);
    page[8] = mode;
    enctl::put_be32(&page[12], buffer_offset);
    enctl::put_be32(&page[16], image_length);
    enctl::put_be32(&page[20], static_cast<std::uint32_t>(data.size()));
    if (!data.empty()) std::memcpy(&page[24], data.data(), data.size());
    return page;
}

std::size_t ses_build_nickname_page(std::span<std::uint8_t> page, std::uint32_t generation_code,
                                    std::span<const std::uint8_t> nickname) {
    if (nickname.size() > kSesNicknameSize || !clear(page, kSesNicknamePageSize)) return 0;
    page[0] = kSesPageNickname;
    enctl::put_be16(&page[2], 0x0024);
    enctl::put_be32(&page[4], generation_code);
    if (!nickname.empty()) std::memcpy(&page[8], nickname.data(), nickname.size());
    return kSesNicknamePageSize;
}

std::size_t ses_build_zone_control_page(std::span<std::uint8_t> page, std::uint8_t config_value,
                                        std::span<const std::uint8_t, 8> sas_address) {
    if (!clear(page, kSesZonePageSize)) return 0;
    page[0] = kSesPageStringOut;
    enctl::put_be16(&page[2], kSesZonePageSize);
    page[4] = config_value == 0 ? kZoneDisable : kZoneEnable;
    page[5] = config_value;
    std::memcpy(&page[8], sas_address.data(), sas_address.size());
    return kSesZonePageSize;
}

std::size_t ses_build_iom_reset_page(std::span<std::uint8_t> page, std::uint8_t iom_selector) {
    if (!clear(page, 8)) return 0;
    page[0] = kSesPageStringOut;
    enctl::put_be16(&page[2], 0x0004);
    page[4] = kStringOutReset;
    page[6] = 0x01;
    page[7] = iom_selector;
    return 8;
}

std::size_t ses_build_enclosure_reset_page(std::span<std::uint8_t> page) {
    if (!clear(page, 8)) return 0;
    page[0] = kSesPageStringOut;
    enctl::put_be16(&page[2], 0x0004);
    page[4] = kStringOutReset;
    return 8;
}

std::size_t ses_build_enclosure_reset_short_page(std::span<std::uint8_t> page) {
    if (!clear(page, 6)) return 0;
    page[0] = kSesPageStringOut;
    enctl::put_be16(&page[2], 0x0002);
    page[4] = kStringOutReset;
    return 6;
}

std::size_t ses_build_event_log_request_page(std::span<std::uint8_t> page, std::uint8_t page_code) {
    if (!clear(page, 5)) return 0;
    page[0] = page_code;
    enctl::put_be16(&page[2], 0x0001);
    page[4] = 0x01;
    return 5;
}

std::size_t ses_build_time_stamp_page(std::span<std::uint8_t> page, std::uint32_t time_stamp) {
    if (!clear(page, kSesTimeStampPageSize)) return 0;
    page[0] = kSesPageTimeStamp;
    enctl::put_be16(&page[2], 0x000A);
    enctl::put_be32(&page[12], time_stamp);
    return kSesTimeStampPageSize;
}

int ses_send_cli_command(vdx_error* error, vdx_dev* dev, std::uint8_t selector,
                         std::span<const std::uint8_t> text) {
    TRACE_ENTER_EXIT();
    if (text.size() > kSesCliMaxText) return 1;
    std::array<std::uint8_t, kSesCliPageSize> page;
    const std::size_t size = ses_build_cli_page(page, selector, text);
    return send_page(error, dev, std::span(page).first(size));
}

int ses_send_download_microcode(vdx_error* error, vdx_dev* dev, std::uint32_t generation_code,
                                std::uint8_t mode, std::uint32_t buffer_offset,
                                std::uint32_t image_length, std::span<const std::uint8_t> data) {
    TRACE_ENTER_EXIT();
    if (data.size() > kSesMicrocodeMaxData)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "microcode segment of %zu bytes does not fit a download microcode page", data.size());
    std::vector<std::uint8_t> page =
        ses_build_download_microcode_page(generation_code, mode, buffer_offset, image_length, data);
    return send_page(error, dev, page);
}

int ses_send_nickname(vdx_error* error, vdx_dev* dev, std::uint32_t generation_code,
                      std::span<const std::uint8_t> nickname) {
    TRACE_ENTER_EXIT();
    if (nickname.size() > kSesNicknameSize) return 1;
    std::array<std::uint8_t, kSesNicknamePageSize> page;
    ses_build_nickname_page(page, generation_code, nickname);
    return send_page(error, dev, page);
}

int ses_send_zone_control(vdx_error* error, vdx_dev* dev, std::uint8_t config_value,
                          std::span<const std::uint8_t, 8> sas_address) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, kSesZonePageSize> page;
    ses_build_zone_control_page(page, config_value, sas_address);
    return send_page(error, dev, page);
}

int ses_send_iom_reset(vdx_error* error, vdx_dev* dev, std::uint8_t iom_selector) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, 8> page;
    ses_build_iom_reset_page(page, iom_selector);
    return send_page(error, dev, page);
}

int ses_send_enclosure_reset(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, 8> page;
    ses_build_enclosure_reset_page(page);
    return send_page(error, dev, page);
}

int ses_send_enclosure_reset_short(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, 6> page;
    ses_build_enclosure_reset_short_page(page);
    return send_page(error, dev, page);
}

int ses_send_event_log_request(vdx_error* error, vdx_dev* dev, std::uint8_t page_code) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, 5> page;
    ses_build_event_log_request_page(page, page_code);
    return send_page(error, dev, page);
}

int ses_send_time_stamp(vdx_error* error, vdx_dev* dev, std::uint32_t time_stamp) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, kSesTimeStampPageSize> page;
    ses_build_time_stamp_page(page, time_stamp);
    return send_page(error, dev, page);
}

}  // namespace enctl
