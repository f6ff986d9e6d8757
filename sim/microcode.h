// The enclosure's Download Microcode Control and Status (page 0Eh), as SES
// defines them: segments arrive in order with one image length; the image
// is checked when complete, written to nonvolatile storage for a while, then
// stored until activation (mode 0Fh) or an IOM reset makes it run.
//
//   00h idle -> 01h segments arriving -> 03h writing (settings.write_ms)
//            -> 13h stored (products 5 to 7) or 11h (the others)
//   80h a wrong offset, image length, buffer ID or mode; 81h a bad image;
//   82h no segment for longer than settings.timeout_ms; 85h mode 0Fh with
//   nothing stored.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/bytes.h"
#include "sim/firmware_image.h"
#include "sim/lab_description.h"

namespace enctl::sim {

// What a stored image does when it is activated.
struct stored_image {
    image_kind kind = image_kind::firmware;
    std::string name;  // firmware revision or zoning configuration name
};

class microcode_store {
public:
    microcode_store(const microcode_settings& settings, int product);

    // A Download Microcode Control page at lab time `now_ms`. Returns the
    // image to activate for a mode 0Fh page that found one stored (the store
    // is empty then); none otherwise. Field errors only change the status.
    std::optional<stored_image> take(std::span<const std::uint8_t> page, std::uint64_t now_ms);

    // The Download Microcode Status page at lab time `now_ms`.
    bytes status_page(std::uint64_t now_ms, std::uint32_t generation);

    // The stored image an IOM reset would run, after the time passed.
    const std::optional<stored_image>& stored(std::uint64_t now_ms);
    // Every IOM runs the stored image now: the store is empty again.
    void clear_stored();

    std::uint8_t status(std::uint64_t now_ms);
    std::uint32_t segments_taken() const { return segments_taken_; }
    std::uint32_t activations() const { return activations_; }
    const microcode_settings& settings() const { return settings_; }

private:
    void advance(std::uint64_t now_ms);
    // Ends any download in progress (its bytes are dropped) with `status`.
    void drop_download(std::uint8_t status);
    void take_segment(std::span<const std::uint8_t> page, std::uint64_t now_ms);

    microcode_settings settings_;
    int product_;
    std::uint8_t status_ = 0x00;
    std::uint8_t additional_status_ = 0x00;
    bytes image_;                  // segments so far
    std::uint32_t image_length_ = 0;
    std::uint64_t last_segment_ms_ = 0;
    std::uint64_t written_at_ms_ = 0;  // end of the nonvolatile write
    std::optional<stored_image> writing_;
    std::optional<stored_image> stored_;
    std::uint32_t segments_taken_ = 0;
    std::uint32_t activations_ = 0;
};

}  // namespace enctl::sim
