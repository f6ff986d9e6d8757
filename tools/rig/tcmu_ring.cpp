#include "tools/rig/tcmu_ring.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "tools/rig/tcmu_layout.h"

namespace enctl::rig {

namespace {

const tcmu_layout& L = tcmu_ring_layout;

template <class T>
T load(std::span<const std::uint8_t> from, std::size_t offset) {
    T value{};
    std::memcpy(&value, from.data() + offset, sizeof value);
    return value;
}

template <class T>
void store(std::span<std::uint8_t> to, std::size_t offset, T value) {
    std::memcpy(to.data() + offset, &value, sizeof value);
}

// The mailbox's head and tail are shared with the kernel: the head is read
// with acquire (the entry before it is complete), the tail written with
// release (the answer before it is complete).
std::uint32_t load_head(std::span<std::uint8_t> mapping) {
    auto* head = reinterpret_cast<std::uint32_t*>(mapping.data() + L.cmd_head);
    return std::atomic_ref<std::uint32_t>(*head).load(std::memory_order_acquire);
}

void store_tail(std::span<std::uint8_t> mapping, std::uint32_t tail) {
    auto* slot = reinterpret_cast<std::uint32_t*>(mapping.data() + L.cmd_tail);
    std::atomic_ref<std::uint32_t>(*slot).store(tail, std::memory_order_release);
}

bool inside(std::span<const std::uint8_t> mapping, std::uint64_t offset, std::uint64_t length) {
    return offset <= mapping.size() && length <= mapping.size() - offset;
}

// Reads one command entry; false when it points outside the mapping.
bool read_command(std::span<std::uint8_t> mapping, std::span<const std::uint8_t> entry, ring_command& out) {
    const auto iov_count = load<std::uint32_t>(entry, L.iov_cnt);
    const auto cdb_offset = load<std::uint64_t>(entry, L.cdb_off);
    if (iov_count > (entry.size() - L.iov) / L.iovec_size) return false;
    if (!inside(mapping, cdb_offset, 1)) return false;
    const std::size_t cdb_size = cdb_length(std::span<const std::uint8_t>(mapping).subspan(cdb_offset));
    if (cdb_size == 0 || !inside(mapping, cdb_offset, cdb_size)) return false;
    out.cdb = std::span<const std::uint8_t>(mapping).subspan(cdb_offset, cdb_size);
    out.buffers.clear();
    out.length = 0;
    for (std::uint32_t i = 0; i < iov_count; ++i) {
        // Buffer addresses are offsets from the start of the mapping.
        const std::size_t vec = L.iov + i * L.iovec_size;
        const auto offset = load<std::uint64_t>(entry, vec + L.iovec_base);
        const auto length = load<std::uint64_t>(entry, vec + L.iovec_len);
        if (!inside(mapping, offset, length) || length > UINT32_MAX - out.length) return false;
        out.buffers.push_back(mapping.subspan(offset, length));
        out.length += static_cast<std::uint32_t>(length);
    }
    return true;
}

void write_answer(std::span<std::uint8_t> entry, const ring_command& command, const ring_answer& answer,
                  bool read_length) {
    std::size_t copied = 0;
    for (std::span<std::uint8_t> buffer : command.buffers) {
        if (copied >= answer.data_in.size()) break;
        const std::size_t n = std::min(buffer.size(), answer.data_in.size() - copied);
        std::memcpy(buffer.data(), answer.data_in.data() + copied, n);
        copied += n;
    }
    // The answer overlays the request: written only once the request is read.
    store<std::uint8_t>(entry, L.scsi_status, answer.status);
    std::memset(entry.data() + L.sense_buffer, 0, L.sense_size);
    std::memcpy(entry.data() + L.sense_buffer, answer.sense.data(), std::min(answer.sense.size(), L.sense_size));
    if (read_length) {
        store<std::uint32_t>(entry, L.read_len, static_cast<std::uint32_t>(copied));
        entry[L.uflags] |= L.uflag_read_len;
    }
}

}  // namespace

bool ring_usable(std::span<const std::uint8_t> mapping) {
    if (mapping.size() < L.mailbox_size) return false;
    const auto version = load<std::uint16_t>(mapping, L.version);
    const auto ring_offset = load<std::uint32_t>(mapping, L.cmdr_off);
    const auto ring_size = load<std::uint32_t>(mapping, L.cmdr_size);
    return version == L.mailbox_version && ring_size > 0 && ring_offset >= L.mailbox_size &&
           inside(mapping, ring_offset, ring_size);
}

ring_walk walk_ring(std::span<std::uint8_t> mapping, const ring_answerer& answer) {
    ring_walk walk;
    if (!ring_usable(mapping)) {
        walk.broken = true;
        return walk;
    }
    const bool read_length = (load<std::uint16_t>(mapping, L.flags) & L.cap_read_len) != 0;
    const auto ring_offset = load<std::uint32_t>(mapping, L.cmdr_off);
    const auto ring_size = load<std::uint32_t>(mapping, L.cmdr_size);
    const std::span<std::uint8_t> ring = mapping.subspan(ring_offset, ring_size);
    std::uint32_t tail = load<std::uint32_t>(mapping, L.cmd_tail);
    ring_command command;
    ring_answer reply;
    for (std::uint32_t head = load_head(mapping); tail != head; head = load_head(mapping)) {
        if (tail >= ring_size || ring_size - tail < L.header_size) {
            walk.broken = true;
            break;
        }
        const auto len_op = load<std::uint32_t>(ring, tail);
        const std::uint32_t length = len_op & ~L.op_mask;
        // Entries never wrap: the kernel pads to the end of the ring instead.
        if (length < L.header_size || length > ring_size - tail) {
            walk.broken = true;
            break;
        }
        const std::span<std::uint8_t> entry = ring.subspan(tail, length);
        if ((len_op & L.op_mask) == L.op_cmd) {
            if (length < L.entry_size || !read_command(mapping, entry, command)) {
                walk.broken = true;
                break;
            }
            reply = ring_answer{};
            if (!answer(command, reply)) {
                walk.stopped = true;
                break;
            }
            write_answer(entry, command, reply, read_length);
            ++walk.answered;
        } else {
            ++walk.skipped;
        }
        tail = (tail + length) % ring_size;
        store_tail(mapping, tail);
    }
    return walk;
}

std::size_t cdb_length(std::span<const std::uint8_t> cdb_area) {
    if (cdb_area.empty()) return 0;
    const std::uint8_t opcode = cdb_area[0];
    // Variable-length CDBs carry their additional length in byte 7.
    if (opcode == 0x7F) return cdb_area.size() >= 8 ? 8u + cdb_area[7] : 0;
    // The group code decides, as the kernel's command size table does (and
    // LIO copies no more than that into the ring).
    static constexpr std::size_t by_group[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    return by_group[opcode >> 5];
}

bool cdb_is_data_out(std::span<const std::uint8_t> cdb) {
    if (cdb.empty()) return false;
    switch (cdb[0]) {
    case 0x0A:  // WRITE(6)
    case 0x15:  // MODE SELECT(6)
    case 0x1D:  // SEND DIAGNOSTIC
    case 0x2A:  // WRITE(10)
    case 0x2E:  // WRITE AND VERIFY(10)
    case 0x3B:  // WRITE BUFFER
    case 0x41:  // WRITE SAME(10)
    case 0x4C:  // LOG SELECT
    case 0x55:  // MODE SELECT(10)
    case 0x5F:  // PERSISTENT RESERVE OUT
    case 0x8A:  // WRITE(16)
    case 0x93:  // WRITE SAME(16)
    case 0xA4:  // MAINTENANCE OUT
    case 0xAA:  // WRITE(12)
    case 0xB5:  // SECURITY PROTOCOL OUT
        return true;
    case 0x85:  // ATA PASS-THROUGH(16)
    case 0xA1:  // ATA PASS-THROUGH(12): T_DIR clear moves data to the device
        return cdb.size() > 2 && (cdb[2] & 0x08) == 0;
    default:
        return false;
    }
}

}  // namespace enctl::rig
