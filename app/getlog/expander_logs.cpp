// The expander logs of getlog: on products 5 to 7 the console, crash and
// event logs of each expander through vendor command E6h, and the log bundle
// the enclosure packs on request; on product 1 its debug pages instead.
#include <algorithm>
#include <array>

#include "app/discovery/discovery.h"
#include "app/discovery/target_list.h"
#include "app/getlog/getlog_steps.h"
#include "app/product/product.h"
#include "basekit/bytes.h"
#include "basekit/clock.h"
#include "basekit/console.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

namespace {

constexpr std::size_t kE6Piece = 4096;
constexpr std::uint8_t kExpanders = 3;
constexpr std::uint8_t kBundleLogType = 4;

struct expander_log {
    const char* name;
    std::uint8_t type;
    std::uint32_t total_length;
};
constexpr expander_log kExpanderLogs[] = {
    {"consolelog", 1, 18432},
    {"crashlog", 2, 65536},
    {"eventlog", 3, 131072},
};

// The bundle's size is asked every 10 seconds, at most six times.
constexpr std::uint64_t kBundlePollMs = 10000;
constexpr unsigned kBundlePolls = 6;
constexpr std::size_t kBundleStartLength = 16;
constexpr std::size_t kBundleSizeLength = 4;

void print_totals(std::uint64_t total, const std::string& path) {
    if (total > 0) {
        CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
        CONSOLE_PRINT(kVerbosityDebug, "*Saved: %llXh bytes\n", static_cast<unsigned long long>(total));
    } else {
        CONSOLE_PRINT(kVerbosityDebug, "*No data for: %s\n", path.c_str());
    }
}

std::string expander_file(vdx_dev& device, std::string_view log_name, std::uint8_t expander) {
    return enclosure_file(device, std::string(log_name) + "_exp_" + std::to_string(expander), ".bin");
}

}  // namespace

int save_private_e6_log(vdx_dev& device, std::string_view log_name, std::uint8_t log_type, std::uint8_t expander,
                        std::uint32_t total_length) {
    const std::string path = expander_file(device, log_name, expander);
    std::array<std::uint8_t, kE6Piece> buffer;
    std::uint64_t total = 0;
    for (std::uint32_t offset = 0; offset < total_length; offset += kE6Piece) {
        vdx_error error{};
        std::uint32_t transferred = 0;
        const int rc = vendor_e6_read(&error, &device, 0, expander, log_type, offset, buffer, &transferred);
        CONSOLE_PRINT(kVerbosityDebug, "%02X %02X %02X %02X %02X %02X offset=%Xh length=%04Xh xfered=%Xh\n",
                      buffer[0], buffer[1], buffer[2], buffer[3], buffer[4], buffer[5], offset,
                      be16(&buffer[2]) + 4u, transferred);
        if (rc != 0 || transferred == 0) break;
        const auto piece = cmdx::received(buffer, transferred);
        append_capture(path, piece);
        total += piece.size();
        if (piece.size() < kE6Piece) break;
    }
    print_totals(total, path);
    return 0;
}

int save_enhanced_e6_log(vdx_dev& device, std::string_view log_name, std::uint8_t log_type, std::uint8_t expander) {
    const std::string path =
        log_type == kBundleLogType ? enclosure_file(device, log_name, ".tgz") : expander_file(device, log_name, expander);
    std::array<std::uint8_t, kE6Piece> buffer;
    vdx_error error{};
    std::uint32_t transferred = 0;
    const int started = vendor_e6_read_enhanced(&error, &device, kE6StartPreparing, expander, log_type, 1,
                                                std::span(buffer).first(kBundleStartLength), &transferred);
    if (started != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "*Process request failed for: %s\n", path.c_str());
        return started;
    }
    bool answered = false;
    for (unsigned poll = 1; poll <= kBundlePolls && !answered; ++poll) {
        sleep_ms(kBundlePollMs);
        const int rc = vendor_e6_read_enhanced(&error, &device, kE6ReadPreparedSize, expander, log_type, 0,
                                               std::span(buffer).first(kBundleSizeLength), &transferred);
        answered = rc == 0 || transferred == kBundleSizeLength;
        if (answered)
            CONSOLE_PRINT(kVerbosityDebug, "%02X %02X %02X %02X %02X %02X xfered=%Xh\n", buffer[0], buffer[1],
                          buffer[2], buffer[3], buffer[4], buffer[5], transferred);
        else
            CONSOLE_PRINT(kVerbosityDebug, "Log bundle not ready after %u seconds\n",
                          static_cast<unsigned>(poll * kBundlePollMs / 1000));
    }
    const std::uint32_t log_size = be32(buffer.data());
    CONSOLE_PRINT(kVerbosityDebug, "log_size=%u\n", log_size);
    if (!answered || log_size == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "*Log size request failed for: %s\n", path.c_str());
        return 1;
    }
    // The pieces carry no offset: the enclosure hands out the prepared log in order.
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t piece_length = std::min<std::uint64_t>(kE6Piece, log_size - total);
        const int rc = vendor_e6_read_enhanced(&error, &device, kE6ReadNextPiece, expander, log_type, 0,
                                               std::span(buffer).first(piece_length), &transferred);
        if (rc != 0 || transferred == 0) break;
        const auto piece = cmdx::received(std::span(buffer).first(piece_length), transferred);
        append_capture(path, piece);
        total += piece.size();
        CONSOLE_PRINT(kVerbosityDebug, "*Saved: %llXh bytes\n", static_cast<unsigned long long>(total));
        if (transferred < kE6Piece || total >= log_size) break;
    }
    print_totals(total, path);
    return 0;
}

int get_private_e6_logs(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    if (!target) return 0;
    const std::uint32_t product = target->product_code;
    if (product == kProductAmberRidge) {
        save_product1_debug_pages(device);
        return 0;
    }
    if (product != kProductOpalRidge && product != kProductMtAlder && product != kProductGarnetRidge) {
        CONSOLE_PRINT(kVerbosityDebug, "Product type does not qualify for E6 retrieval\n");
        return 0;
    }
    if (windows_adaptec_present()) {
        CONSOLE_PRINT(kVerbosityNormal, "Found an Adaptec controller, skipping E6 log fetching\n");
        return 1;
    }
    if (firmware_version_at_least(*target, kFwGate2040)) {
        enter_log_folder(kJbodLogsFolder, true);
        for (const auto& log : kExpanderLogs)
            for (std::uint8_t expander = 0; expander < kExpanders; ++expander)
                save_private_e6_log(device, log.name, log.type, expander, log.total_length);
    } else {
        CONSOLE_PRINT(kVerbosityDebug, "Product version does not qualify for E6 retrieval\n");
    }
    if (firmware_version_at_least(*target, kFwGate3000))
        save_enhanced_e6_log(device, "bundlelog", kBundleLogType, 0);
    else
        CONSOLE_PRINT(kVerbosityDebug, "Product version does not qualify for enhanced E6 retrieval\n");
    return 0;
}

}  // namespace enctl
