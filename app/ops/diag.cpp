// The diag operation: the enclosure's small maintenance functions, one per
// run: the nickname (page 0Fh), clearing the event and crash logs (flash
// erase commands of the command line), resets (String Out page 04h), the
// clock (the RTC line of "show fw", page EEh) and auto synchronization (mode
// page 20h byte 14).
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>

#include "app/discovery/discovery.h"
#include "app/operation.h"
#include "app/ops/cli_channel.h"
#include "app/ops/diag_options.h"
#include "app/ops/enclosure_walk.h"
#include "app/product/product.h"
#include "basekit/bytes.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/text.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_send.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"

namespace enctl {

namespace {

diag_options g_diag;  // the run's request, filled by the parse

constexpr std::size_t kNicknamePageLength = 512;
constexpr std::size_t kNicknameStatusSize = 48;  // through the 32 nickname bytes of the first descriptor
constexpr std::uint8_t kAutosyncPage = 0x20;
constexpr std::size_t kAutosyncLength = 512;
constexpr std::size_t kAutosyncByte = 22;        // byte 14 of the mode page
constexpr std::size_t kAutosyncSelectLength = 24;
constexpr std::uint8_t kAutosyncOn = 0x08;
constexpr std::size_t kRtcValueSize = 1024;      // the RTC value text, terminator included

// Opens when the product is one of `products` and, with `firmware`, the
// firmware is that version or newer; else says why and stays shut.
bool gate(const enclosure_target& target, std::span<const std::uint32_t> products, const char* firmware = nullptr) {
    bool listed = false;
    for (const std::uint32_t p : products) listed = listed || p == target.product_code;
    if (!listed) {
        print_product_not_supported();
        return false;
    }
    if (firmware && !firmware_version_at_least(target, firmware)) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation not supported: need firmware version %s-xxx or newer\n", firmware);
        return false;
    }
    return true;
}

constexpr std::uint32_t kProducts567[] = {kProductOpalRidge, kProductMtAlder, kProductGarnetRidge};
constexpr std::uint32_t kProducts12567[] = {kProductAmberRidge, kProductSlateRidge, kProductOpalRidge,
                                            kProductMtAlder, kProductGarnetRidge};
constexpr std::uint32_t kProducts256[] = {kProductSlateRidge, kProductOpalRidge, kProductMtAlder};
constexpr std::uint32_t kProducts56[] = {kProductOpalRidge, kProductMtAlder};

// Sends fixed commands without reading replies; false (with a message) when
// any of them could not be sent.
bool send_series(vdx_dev& device, std::initializer_list<const char*> commands) {
    unsigned failed = 0;
    for (const char* command : commands) {
        vdx_error error{};
        failed += send_cli_command(&error, device, command) != 0;
    }
    if (failed != 0)
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: %u of the %u commands could not be sent to the enclosure\n", failed,
                      static_cast<unsigned>(commands.size()));
    return failed == 0;
}

const char* nickname_status_text(std::uint8_t status) {
    switch (status) {
    case 0x00: return "No errors";
    case 0x80: return "Error in one or more of the Subenclosure Nickname Control diagnostic page fields.";
    case 0x81: return "Internal error. The nickname is lost.";
    case 0x82: return "Internal error. The previous nickname preserved.";
    default: return "Reserved.";
    }
}

int display_nickname_status(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "display_nickname_status\n");
    if (!gate(target, kProducts567, kFwGate2040)) return 1;
    std::array<std::uint8_t, kNicknamePageLength> buffer{};
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageNickname, buffer);
    if (!page.ok() || page.bytes.size() < kNicknameStatusSize) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: could not retrieve diagnostic page 0Fh\n");
        return 1;
    }
    const std::uint8_t* p = page.bytes.data();
    CONSOLE_PRINT(kVerbosityNormal, "Page id           : %02Xh\n", p[0]);
    CONSOLE_PRINT(kVerbosityNormal, "Page length       : %02Xh\n", be16(p + 2));
    CONSOLE_PRINT(kVerbosityNormal, "Generation code   : %Xh\n", be32(p + 4));
    CONSOLE_PRINT(kVerbosityNormal, "Nickname status   : %02Xh - %s\n", p[10], nickname_status_text(p[10]));
    CONSOLE_PRINT(kVerbosityNormal, "Additional status : %02Xh\n", p[11]);
    const auto printable = [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; };
    if (printable(p[14]) && printable(p[15]))
        CONSOLE_PRINT(kVerbosityNormal, "Language code     : %c%c\n", p[14], p[15]);
    else
        CONSOLE_PRINT(kVerbosityNormal, "Language code     : %02X%02Xh\n", p[14], p[15]);
    const std::string_view nickname(reinterpret_cast<const char*>(p + 16), 32);
    CONSOLE_PRINT(kVerbosityNormal, "Nickname          : %s\n",
                  visible_text(nickname.substr(0, nickname.find('\0')), "").c_str());
    return 0;
}

int set_new_nickname(vdx_dev& device, const enclosure_target& target, std::string_view name) {
    CONSOLE_PRINT(kVerbosityDebug, "set_new_nickname\n");
    if (!gate(target, kProducts567, kFwGate2040)) return 1;
    if (name.size() > kSesNicknameSize) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: the new nickname cannot be longer than 32 characters\n");
        return 1;
    }
    vdx_error error{};
    const int status = ses_send_nickname(&error, &device, 0,
                                         std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
    if (status != 0)
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: setting new nickname failed with code %u\n", static_cast<unsigned>(status));
    else if (!name.empty())
        CONSOLE_PRINT(kVerbosityNormal, "Enclosure nickname has been set to: %.*s\n", static_cast<int>(name.size()),
                      name.data());
    else
        CONSOLE_PRINT(kVerbosityNormal, "Enclosure nickname has been cleared\n");
    return status;
}

int clear_event_logs(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "clear_event_logs\n");
    if (!gate(target, kProducts567, kFwGate3000)) return 1;
    if (!send_series(device, {"flash erase 4", "sec1 flash erase 4", "sec2 flash erase 4"})) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Commands have been sent to clear the event logs\n");
    return 0;
}

int clear_crash_logs(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "clear_crash_logs\n");
    if (!gate(target, kProducts12567)) return 1;
    const bool sent = target.product_code == kProductAmberRidge
                          ? send_series(device, {"flash erase 8", "rmt flash erase 8"})
                          : send_series(device, {"flash erase 8", "sec1 flash erase 8", "sec2 flash erase 8"});
    if (!sent) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Commands have been sent to clear the crash logs\n");
    return 0;
}

int reset_enclosure(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "reset_enclosure\n");
    if (!gate(target, kProducts12567)) return 1;
    if (target.multi_tenant) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on MultiTenant firmware\n");
        return 1;
    }
    vdx_error error{};
    const int status = target.product_code == kProductAmberRidge ? ses_send_enclosure_reset_short(&error, &device)
                                                                 : ses_send_enclosure_reset(&error, &device);
    if (status != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to reset the enclosure failed\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Commands have been sent to reset the enclosure\n");
    return 0;
}

// `iom`: 0 IOM A, 1 IOM B.
int reset_iom(vdx_dev& device, const enclosure_target& target, std::uint8_t iom) {
    CONSOLE_PRINT(kVerbosityDebug, "reset_iom\n");
    if (!gate(target, kProducts256)) return 1;
    if (target.multi_tenant) {
        const int attached = get_iom_type(device);
        if ((attached == kIomA && iom == 1) || (attached == kIomB && iom == 0)) {
            CONSOLE_PRINT(kVerbosityNormal,
                          "Operation not supported on MultiTenant firmware. Cannot reset IOM B from IOM A\n");
            return 1;
        }
    }
    vdx_error error{};
    if (ses_send_iom_reset(&error, &device, iom) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to reset the IOM failed\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Commands have been sent to reset the IOM\n");
    return 0;
}

// The RTC line of a "show fw" reply: the text after ": x" up to CR or LF.
enum class rtc_found { none, value, invalid };
rtc_found rtc_from_line(std::string_view line, std::string& text, std::uint64_t& value) {
    constexpr std::string_view kMarker = ": x";
    const std::size_t at = line.find(kMarker);
    if (at == std::string_view::npos) return rtc_found::none;
    std::string_view rest = line.substr(at + kMarker.size());
    rest = rest.substr(0, std::min(rest.find_first_of("\r\n"), kRtcValueSize - 1));
    text = rest;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 16);
    // No digits, characters after the number, or more than 64 bits.
    if (text.empty() || end == text.c_str() || *end != '\0' || errno == ERANGE) return rtc_found::invalid;
    return rtc_found::value;
}

int show_timestamp(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "show_timestamp\n");
    if (!target.extended_support) {
        print_product_not_supported();
        return 1;
    }
    vdx_error error{};
    bool scanned = false;
    rtc_found found = rtc_found::none;
    std::string text;
    std::string rtc_line;
    std::uint64_t microseconds = 0;
    cli_reply reply;
    if (send_cli_command(&error, device, "show fw") == 0)
        reply = read_cli_reply(&error, device, kCliCaptureAllocation, [&](std::string_view line) {
            if (scanned || !line.starts_with("RTC")) return;
            scanned = true;  // the first RTC line decides
            rtc_line = line.substr(0, line.find_first_of("\r\n"));
            found = rtc_from_line(line, text, microseconds);
        });
    if (!reply.read) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: could not read the enclosure's clock\n");
        return 1;
    }
    if (found == rtc_found::invalid) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The RTC value is invalid = %s\n", visible_text(rtc_line, "").c_str());
        return 1;
    }
    if (found == rtc_found::none) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: the enclosure's reply holds no RTC value\n");
        return 1;
    }
    const std::uint64_t seconds = microseconds / 1000000;
    CONSOLE_PRINT(kVerbosityNormal, "  Microseconds (RTC)      = %sh\n", text.c_str());
    CONSOLE_PRINT(kVerbosityNormal, "  Seconds (Epoch)         = %llu (%08llXh)\n",
                  static_cast<unsigned long long>(seconds), static_cast<unsigned long long>(seconds));
    std::tm local{};
    if (seconds > static_cast<std::uint64_t>(INT64_MAX) ||
        !platform_local_time_at(static_cast<std::int64_t>(seconds), local)) {
        CONSOLE_PRINT(kVerbosityNormal, "  Local date (yyyy/mm/dd) = N/A\n  Local time (24hh:mm:ss) = N/A\n");
        return 0;
    }
    CONSOLE_PRINT(kVerbosityNormal, "  Local date (yyyy/mm/dd) = %04d/%02d/%02d\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);
    CONSOLE_PRINT(kVerbosityNormal, "  Local time (24hh:mm:ss) = %02d:%02d:%02d\n", local.tm_hour, local.tm_min,
                  local.tm_sec);
    return 0;
}

int set_timestamp(vdx_dev& device, const enclosure_target& target, const char* text) {
    CONSOLE_PRINT(kVerbosityDebug, "set_timestamp\n");
    if (!target.extended_support) {
        print_product_not_supported();
        return 1;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0') {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The time stamp value %s is invalid\n", text);
        return 1;
    }
    if (errno == ERANGE || value > 0xFFFFFFFFull) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The time stamp %s must be a 32-bit value\n", text);
        return 1;
    }
    vdx_error error{};
    if (ses_send_time_stamp(&error, &device, static_cast<std::uint32_t>(value)) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to set the time stamp failed\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "The time stamp has been set to 0x%08X\n", static_cast<unsigned>(value));
    return 0;
}

int set_autosync(vdx_dev& device, const enclosure_target& target, bool enable) {
    CONSOLE_PRINT(kVerbosityDebug, "set_autosync\n");
    if (!gate(target, kProducts56, kFwGate3000)) return 1;
    std::array<std::uint8_t, kAutosyncLength> page{};
    vdx_error error{};
    std::uint32_t transferred = 0;
    if (const int status = cmdxscsi_mode_sense10(&error, &device, false, true, 0, kAutosyncPage, 0, page, &transferred);
        status != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to read mode page 0x20 failed\n");
        return status;
    }
    if (transferred < kAutosyncSelectLength || (page[8] & 0x3F) != kAutosyncPage) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The data for mode page 0x20 is invalid \n");
        return 1;
    }
    if (enable && page[kAutosyncByte] == kAutosyncOn) {
        CONSOLE_PRINT(kVerbosityNormal, "Auto synchronization is already enabled\n");
        return 1;
    }
    if (!enable && page[kAutosyncByte] == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Auto synchronization is already disabled\n");
        return 1;
    }
    std::fill_n(page.begin(), 8, std::uint8_t{0});
    page[kAutosyncByte] = enable ? kAutosyncOn : 0;
    if (const int status = cmdxscsi_mode_select10(&error, &device, true, false, true,
                                                  std::span(page).first(kAutosyncSelectLength));
        status != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to save mode page 0x20 failed\n");
        return status;
    }
    CONSOLE_PRINT(kVerbosityNormal, "%s", enable ? "Auto synchronization has been enabled\n"
                                                 : "Auto synchronization has been disabled\n");
    return 0;
}

void run_request(vdx_dev& device, const enclosure_target& target, const diag_options& request) {
    if (request.show_nickname) display_nickname_status(device, target);
    else if (request.set_nickname) set_new_nickname(device, target, request.nickname);
    else if (request.clear_event_log) clear_event_logs(device, target);
    else if (request.clear_crash_log) clear_crash_logs(device, target);
    else if (request.reset_enclosure) reset_enclosure(device, target);
    else if (request.reset_iom_a) reset_iom(device, target, 0);
    else if (request.reset_iom_b) reset_iom(device, target, 1);
    else if (request.show_timestamp) show_timestamp(device, target);
    else if (request.set_timestamp) set_timestamp(device, target, request.timestamp);
    else if (request.enable_autosync) set_autosync(device, target, true);
    else if (request.disable_autosync) set_autosync(device, target, false);
    else CONSOLE_PRINT(kVerbosityNormal, "ERROR: Unsupported operation\n");
}

int diag_run(target_list& targets) {
    for (vdx_dev& device : targets.view()) {
        const enclosure_target* target = enclosure_of(device);
        if (!target || !has_scsi_path(device)) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", device.name);
        if (g_diag.set_nickname && text_of(g_diag.nickname).size() > kSesNicknameSize) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: The new nickname has to be 32 characters or less\n\n");
            return 1;
        }
        run_request(device, *target, g_diag);
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
    return 0;
}

}  // namespace

extern constinit const operation kDiagOperation{
    .code = 1,
    .keyword = "diag",
    .summary = "display, set, and clear diagnostic page data",
    .parse = [](std::span<const char* const> args) { return diag_parse_args(g_diag, args); },
    .usage = diag_usage,
    .run = diag_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
