#include "sim/microcode.h"

namespace enctl::sim {

namespace {

constexpr std::uint8_t kIdle = 0x00;
constexpr std::uint8_t kInProgress = 0x01;
constexpr std::uint8_t kWritingDeferred = 0x03;
constexpr std::uint8_t kStoredNeedsReset = 0x11;
constexpr std::uint8_t kStoredNeedsActivate = 0x13;
constexpr std::uint8_t kFieldError = 0x80;
constexpr std::uint8_t kImageError = 0x81;
constexpr std::uint8_t kTimeout = 0x82;
constexpr std::uint8_t kNothingDeferred = 0x85;

constexpr std::uint8_t kModeSegment = 0x0E;   // download with offsets, save, defer activation
constexpr std::uint8_t kModeActivate = 0x0F;  // activate deferred microcode
constexpr std::size_t kControlHeader = 24;

}  // namespace

microcode_store::microcode_store(const microcode_settings& settings, int product)
    : settings_(settings), product_(product) {}

void microcode_store::drop_download(std::uint8_t status) {
    status_ = status;
    image_.clear();
    image_.shrink_to_fit();
    image_length_ = 0;
    writing_.reset();
}

void microcode_store::advance(std::uint64_t now_ms) {
    if (status_ == kInProgress && settings_.timeout_ms != 0 && now_ms - last_segment_ms_ > settings_.timeout_ms)
        drop_download(kTimeout);
    if (status_ == kWritingDeferred && now_ms >= written_at_ms_) {
        stored_ = writing_;
        writing_.reset();
        status_ = product_ >= 5 ? kStoredNeedsActivate : kStoredNeedsReset;
    }
}

std::uint8_t microcode_store::status(std::uint64_t now_ms) {
    advance(now_ms);
    return status_;
}

const std::optional<stored_image>& microcode_store::stored(std::uint64_t now_ms) {
    advance(now_ms);
    return stored_;
}

void microcode_store::clear_stored() {
    stored_.reset();
    if (status_ == kStoredNeedsActivate || status_ == kStoredNeedsReset) status_ = kIdle;
}

std::optional<stored_image> microcode_store::take(std::span<const std::uint8_t> page, std::uint64_t now_ms) {
    advance(now_ms);
    if (page.size() < kControlHeader) {
        drop_download(kFieldError);
        return std::nullopt;
    }
    const std::uint32_t data_length = be32(&page[20]);
    // The page length covers the header after byte 3 and exactly the data sent.
    if (be16(&page[2]) != kControlHeader - 4 + std::uint64_t{data_length} ||
        page.size() < kControlHeader + std::uint64_t{data_length} || page[11] != 0) {
        drop_download(kFieldError);
        return std::nullopt;
    }
    if (page[8] == kModeSegment) {
        take_segment(page.subspan(0, kControlHeader + data_length), now_ms);
        return std::nullopt;
    }
    if (page[8] != kModeActivate || data_length != 0) {
        drop_download(kFieldError);
        return std::nullopt;
    }
    ++activations_;
    if (!stored_) {
        drop_download(kNothingDeferred);
        return std::nullopt;
    }
    std::optional<stored_image> run = std::move(stored_);
    stored_.reset();
    status_ = kIdle;
    return run;
}

void microcode_store::take_segment(std::span<const std::uint8_t> page, std::uint64_t now_ms) {
    ++segments_taken_;
    const std::uint32_t offset = be32(&page[12]);
    const std::uint32_t length = be32(&page[16]);
    const auto data = page.subspan(kControlHeader);
    const bool starts = status_ != kInProgress;
    const std::uint32_t expected = starts ? 0 : static_cast<std::uint32_t>(image_.size());
    if (data.empty() || length == 0 || length > settings_.max_size || offset != expected ||
        (!starts && length != image_length_) || std::uint64_t{offset} + data.size() > length) {
        drop_download(kFieldError);
        return;
    }
    if (starts) {  // a fresh download: whatever came before is dropped
        drop_download(kInProgress);
        image_length_ = length;
        image_.reserve(length);
    }
    image_.insert(image_.end(), data.begin(), data.end());
    last_segment_ms_ = now_ms;
    if (image_.size() < image_length_) return;

    const image_check check = check_image(image_, product_);
    if (!check.ok) {
        drop_download(kImageError);
        return;
    }
    drop_download(kWritingDeferred);  // the assembled bytes are no longer needed
    writing_ = stored_image{check.kind, check.name};
    written_at_ms_ = now_ms + (check.kind == image_kind::zoning ? 0 : settings_.write_ms);
    advance(now_ms);
}

bytes microcode_store::status_page(std::uint64_t now_ms, std::uint32_t generation) {
    advance(now_ms);
    bytes d(kControlHeader, 0);
    d[0] = 0x0E;
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    put_be32(&d[4], generation);
    d[10] = status_;
    d[11] = additional_status_;
    put_be32(&d[12], settings_.max_size);
    put_be32(&d[20], status_ == kInProgress ? static_cast<std::uint32_t>(image_.size()) : 0);
    return d;
}

}  // namespace enctl::sim
