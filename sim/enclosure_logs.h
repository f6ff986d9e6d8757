// What an enclosure hands out to log collection: the vendor text pages
// (EAh, EDh, 17h: NUL-separated strings), product 1's debug text page (EBh),
// its two dump pages (87h, 97h) and its two event pages (85h, 95h, filled by
// an event log request sent as the same page), and on products 5 to 7 the
// expander logs of vendor command E6h: console, crash and event logs per
// expander (firmware 2040 and later), and the log bundle (firmware 3000 and
// later), a .tar.gz the enclosure packs when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/bytes.h"
#include "sim/device.h"

namespace enctl::sim {

class enclosure;

// Sizes of the expander logs of E6h, by log type 1 (console), 2 (crash), 3 (event).
inline constexpr std::uint32_t kExpanderLogSizes[] = {18432, 65536, 131072};

// The enclosure's reading state of its logs; the reads consume it.
struct enclosure_log_state {
    std::uint32_t dump_reads[2] = {};     // reads of pages 87h and 97h so far
    bool events_requested[2] = {};        // pages 85h and 95h
    std::uint32_t events_handed_out[2] = {};
    bool bundle_started = false;
    std::uint32_t bundle_size_asks = 0;   // size requests since the start
    bytes bundle;
    std::size_t bundle_read = 0;
};

// Pages (RECEIVE DIAGNOSTIC RESULTS).
bytes build_information_page(const enclosure& e);   // EAh
bytes build_expander_status_page(const enclosure& e);  // EDh
bytes build_environment_page(const enclosure& e);   // 17h
bytes build_debug_text_page(const enclosure& e);    // EBh, product 1
bytes build_primary_dump_page(const enclosure& e);    // 87h, product 1
bytes build_secondary_dump_page(const enclosure& e);  // 97h, product 1
bytes build_primary_event_page(const enclosure& e);   // 85h, product 1
bytes build_secondary_event_page(const enclosure& e); // 95h, product 1
// The event log request (SEND DIAGNOSTIC of page 85h or 95h); 0.
std::uint32_t take_event_log_request(enclosure& e, std::span<const std::uint8_t> page);

// Vendor command E6h, both forms.
scsi_result expander_log_command(enclosure& e, const scsi_command& cmd);

// The text of one expander log, exactly its size (log type 1 to 3).
std::string expander_log_text(const enclosure& e, std::uint8_t log_type, std::uint32_t expander);

}  // namespace enctl::sim
