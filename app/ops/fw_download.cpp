// Segmented firmware download, status polling, activation page and status
// display over page 0Eh.
#include "app/ops/fw_download.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

#include "app/discovery/target_list.h"
#include "app/product/product.h"
#include "basekit/clock.h"
#include "basekit/console.h"
#include "basekit/file_io.h"
#include "basekit/trace.h"
#include "cmdx/cmdxses/ses_microcode.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_send.h"

namespace enctl {
namespace {

// Prints a progress text that the next one rewrites, and shows it at once.
#define PROGRESS_PRINT(...)                               \
    do {                                                  \
        CONSOLE_PRINT(kVerbosityNormal, __VA_ARGS__);     \
        std::fflush(stdout);                              \
    } while (0)

struct free_deleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using image_buffer = std::unique_ptr<std::uint8_t[], free_deleter>;

// The whole file in memory; none (message printed) when it cannot be opened,
// is too big for the page's 32-bit image length, cannot be held or cannot be
// read in full (it shrank or a read failed after its size was taken).
std::optional<std::span<const std::uint8_t>> read_image(const char* file, image_buffer& buffer) {
    const long long size = file_size(file);
    if (size < 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Failed to open file %s.\n", file);
        return std::nullopt;
    }
    if (static_cast<unsigned long long>(size) > 0xFFFFFFFFull) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: %s is too large for a microcode image (%lld bytes)\n", file, size);
        return std::nullopt;
    }
    const auto bytes = static_cast<std::uint32_t>(size);
    CONSOLE_PRINT(kVerbosityDebug, "bin %s - %u bytes\n", file, bytes);
    if (bytes == 0) return std::span<const std::uint8_t>{};
    buffer.reset(static_cast<std::uint8_t*>(std::malloc(bytes)));
    if (!buffer) {
        CONSOLE_PRINT(kVerbosityNormal, "Could not allocate %u bytes for binary %s\n", bytes, file);
        return std::nullopt;
    }
    std::size_t count = 0;
    if (read_file(file, std::span(buffer.get(), bytes), &count) != 0 || count != bytes) {
        CONSOLE_PRINT(kVerbosityNormal, "Failed to open file %s.\n", file);
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(buffer.get(), bytes);
}

// Sends the image in segments with a progress line; 0, or the failed send's status.
int send_segments(vdx_dev& target, std::span<const std::uint8_t> image) {
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::uint32_t count = size / kFwSegmentSize + (size % kFwSegmentSize != 0 ? 1 : 0);
    for (std::uint32_t offset = 0; offset < size; offset += kFwSegmentSize) {
        const std::uint32_t length = std::min(kFwSegmentSize, size - offset);
        CONSOLE_PRINT(kVerbosityDebug, "offset=%Xh binary_sz=%Xh buffer_sz=%Xh\n", offset, size, length);
        PROGRESS_PRINT("\rSending segment #%u of %u", offset / kFwSegmentSize + 1, count);
        vdx_error error{};
        const int result = ses_send_download_microcode(&error, &target, 0, kMicrocodeModeSegment, offset, size,
                                                       image.subspan(offset, length));
        if (result != 0) {
            trace_print_error(error);
            CONSOLE_PRINT(kVerbosityNormal, " - Failed: offset=%Xh binary_sz=%Xh buffer_sz=%Xh\n", offset, size,
                          length);
            return result;
        }
    }
    CONSOLE_PRINT(kVerbosityNormal, "\rSent %u segment(s)%32s\n", count, "");
    return 0;
}

std::optional<microcode_status> read_microcode_status(vdx_dev& target) {
    std::array<std::uint8_t, kFwStatusAllocation> buffer{};
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &target, kSesPageMicrocode, buffer);
    if (!page.ok()) {
        trace_print_error(error);
        return std::nullopt;
    }
    return decode_microcode_status(page.bytes);
}

bool waits_after_download(const vdx_dev& target) {
    const enclosure_target* record = enclosure_of(target);
    if (!record) return false;
    return record->product_code == kProductOpalRidge || record->product_code == kProductMtAlder ||
           record->product_code == kProductGarnetRidge;
}

// Reads the status page until the image is stored, the enclosure reports an
// error, or `max_wait_seconds` have passed.
int wait_for_stored_image(vdx_dev& target, unsigned max_wait_seconds) {
    unsigned waited = 0;
    while (waited < max_wait_seconds) {
        const std::optional<microcode_status> status = read_microcode_status(target);
        if (!status) {
            CONSOLE_PRINT(kVerbosityNormal, "\nERROR: could not retrieve diagnostic page 0Eh to check status\n");
            return 1;
        }
        if (status->status >= kMicrocodeCompleteFirst && status->status <= kMicrocodeCompleteLast) {
            CONSOLE_PRINT(kVerbosityNormal, "\nDownload status complete (0x%02X)\n", status->status);
            return 0;
        }
        if (status->status > kMicrocodeCompleteLast) {
            CONSOLE_PRINT(kVerbosityNormal, "\nERROR: download status not complete (0x%02X)\n", status->status);
            return 1;
        }
        sleep_ms(std::uint64_t{kFwStatusPollSeconds} * 1000);
        waited += kFwStatusPollSeconds;
        PROGRESS_PRINT("\rWaiting for completion: %u second(s) - Status 0x%02X", waited, status->status);
    }
    CONSOLE_PRINT(kVerbosityNormal, "\nWaited the maximum limit of %u seconds\n", waited);
    return 1;
}

}  // namespace

int download(vdx_dev& target, const char* file, unsigned max_wait_seconds, bool nostatdelay, bool* image_sent) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "download\n");
    if (image_sent) *image_sent = false;
    image_buffer buffer;
    const std::optional<std::span<const std::uint8_t>> image = read_image(file, buffer);
    if (!image) return 1;
    if (const int result = send_segments(target, *image); result != 0) return result;
    buffer.reset();
    if (image_sent) *image_sent = true;
    if (!nostatdelay && waits_after_download(target)) {
        CONSOLE_PRINT(kVerbosityNormal, "Download has finished to the SEP, please wait.\n");
        CONSOLE_PRINT(kVerbosityNormal, "The completion status will be checked after 15 minutes.\n");
        sleep_ms(std::uint64_t{kFwStoreDelaySeconds} * 1000);
    }
    return wait_for_stored_image(target, max_wait_seconds);
}

int send_microcode_activation(vdx_error& error, vdx_dev& target) {
    return ses_send_download_microcode(&error, &target, 0, kMicrocodeModeActivate, 0, 0, {});
}

int display_status(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "display_status\n");
    const std::optional<microcode_status> status = read_microcode_status(target);
    if (!status) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: could not retrieve diagnostic page 0Eh\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Page id           : %02Xh\n", status->page_code);
    CONSOLE_PRINT(kVerbosityNormal, "Page length       : %02Xh\n", status->page_length);
    CONSOLE_PRINT(kVerbosityNormal, "Generation code   : %Xh\n", status->generation_code);
    CONSOLE_PRINT(kVerbosityNormal, "Download status   : %02Xh - %s\n", status->status,
                  microcode_status_text(status->status));
    CONSOLE_PRINT(kVerbosityNormal, "Additional status : %02Xh\n", status->additional_status);
    CONSOLE_PRINT(kVerbosityNormal, "Download max size : %Xh (%u)\n", status->maximum_size, status->maximum_size);
    CONSOLE_PRINT(kVerbosityNormal, "Buffer id         : %02Xh\n", status->buffer_id);
    CONSOLE_PRINT(kVerbosityNormal, "Buffer offset     : %Xh\n", status->buffer_offset);
    return 0;
}

}  // namespace enctl
