// Firmware image transfer over the Download Microcode Control page (0Eh):
// the segmented download with its wait for the stored image, the activation
// page and the status page display. The fw operation uses all of it, the zone
// operation the download and the activation for its zoning files.
#pragma once

#include <cstdint>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::uint32_t kFwSegmentSize = 4096;
inline constexpr unsigned kFwMaxWaitSeconds = 1200;    // fw download
inline constexpr unsigned kFwStatusPollSeconds = 15;   // between status reads
inline constexpr unsigned kFwStoreDelaySeconds = 900;  // after the last segment, products 5 to 7
inline constexpr std::uint32_t kFwStatusAllocation = 512;

// Sends `file` to the enclosure in segments of kFwSegmentSize bytes, then
// (after the fixed delay of products 5 to 7 unless `nostatdelay`) reads the
// status page every kFwStatusPollSeconds until the image is stored or
// `max_wait_seconds` have passed. 0 when the enclosure reports a completed
// download; non-zero otherwise (messages printed). Nothing is sent unless the
// whole file could be read. `image_sent`, when given, tells whether every
// segment was taken (the wait's result aside).
int download(vdx_dev& target, const char* file, unsigned max_wait_seconds, bool nostatdelay,
             bool* image_sent = nullptr);

// Download Microcode Control with mode 0Fh and no data: activate what was
// downloaded. 0 when the page was taken; the record says why not.
int send_microcode_activation(vdx_error& error, vdx_dev& target);

// Prints the first descriptor of the status page. 0, or 1 when the page
// could not be read (message printed).
int display_status(vdx_dev& target);

}  // namespace enctl
