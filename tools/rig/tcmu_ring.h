// The command ring of a TCMU device (a LIO user backstore), as the kernel
// shares it through the device's UIO node: a mailbox, a ring of command
// entries, and a data area the entries' buffers point into. Everything the
// kernel wrote is read within the mapping's bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace enctl::rig {

// One SCSI command as the ring holds it.
struct ring_command {
    std::span<const std::uint8_t> cdb;
    std::vector<std::span<std::uint8_t>> buffers;  // the data buffers, in order
    std::uint32_t length = 0;                      // their total size
};

// The answer to one command. Data in is scattered over the command's
// buffers (cut to their size); sense is cut to the ring's 96 bytes.
struct ring_answer {
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> data_in;
};

// What one walk of the ring did.
struct ring_walk {
    std::uint32_t answered = 0;  // commands answered
    std::uint32_t skipped = 0;   // padding and other entries passed over
    bool broken = false;         // an entry out of bounds: the walk stopped there
    bool stopped = false;        // `answer` declined a command: the walk stopped there
};

// Answers the commands between the mailbox's tail and head, in order,
// advancing the tail past each. `answer` returns false to leave the command
// (and everything after it) unanswered.
using ring_answerer = std::function<bool(const ring_command&, ring_answer&)>;
ring_walk walk_ring(std::span<std::uint8_t> mapping, const ring_answerer& answer);

// True when the mailbox at the start of `mapping` is one this code reads.
bool ring_usable(std::span<const std::uint8_t> mapping);

// The length of a CDB from its operation code (group code); 0 when unknown.
std::size_t cdb_length(std::span<const std::uint8_t> cdb_area);

// True when the command moves data to the device (the ring does not tell).
bool cdb_is_data_out(std::span<const std::uint8_t> cdb);

}  // namespace enctl::rig
