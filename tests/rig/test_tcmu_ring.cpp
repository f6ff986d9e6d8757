// The rig handler's walk of a TCMU command ring, on rings laid out here as
// the kernel lays them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/rig/tcmu_layout.h"
#include "tools/rig/tcmu_ring.h"

namespace enctl::rig {
namespace {

const tcmu_layout& L = tcmu_ring_layout;

// A mapping: mailbox, a 1 KiB ring at 128, CDBs and data from 4096.
class fake_ring {
public:
    static constexpr std::uint32_t ring_offset = 128, ring_size = 1024, data_offset = 4096;

    fake_ring() : bytes_(8192) {
        put<std::uint16_t>(L.version, L.mailbox_version);
        put<std::uint16_t>(L.flags, L.cap_read_len);
        put<std::uint32_t>(L.cmdr_off, ring_offset);
        put<std::uint32_t>(L.cmdr_size, ring_size);
    }

    // Puts a command at ring position `at` with its CDB and buffers (offset,
    // length) and moves the head past it.
    void command(std::uint32_t at, std::vector<std::uint8_t> cdb,
                 std::vector<std::pair<std::uint64_t, std::uint64_t>> buffers) {
        const std::size_t size = std::max(L.entry_size, L.iov + buffers.size() * L.iovec_size);
        const std::uint32_t length = static_cast<std::uint32_t>((size + 7) & ~std::size_t{7});
        const std::size_t entry = ring_offset + at;
        const std::uint64_t cdb_at = data_offset + 2048 + at;
        std::memcpy(bytes_.data() + cdb_at, cdb.data(), cdb.size());
        put<std::uint32_t>(entry, length | L.op_cmd);
        put<std::uint32_t>(entry + L.iov_cnt, static_cast<std::uint32_t>(buffers.size()));
        put<std::uint64_t>(entry + L.cdb_off, cdb_at);
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            put<std::uint64_t>(entry + L.iov + i * L.iovec_size + L.iovec_base, buffers[i].first);
            put<std::uint64_t>(entry + L.iov + i * L.iovec_size + L.iovec_len, buffers[i].second);
        }
        put<std::uint32_t>(L.cmd_head, (at + length) % ring_size);
    }
    // Padding from `at` to the end of the ring.
    void pad(std::uint32_t at) {
        put<std::uint32_t>(ring_offset + at, ring_size - at);
        put<std::uint32_t>(L.cmd_head, 0);
    }
    void tail(std::uint32_t at) { put<std::uint32_t>(L.cmd_tail, at); }

    template <class T>
    void put(std::size_t offset, T value) { std::memcpy(bytes_.data() + offset, &value, sizeof value); }
    template <class T>
    T get(std::size_t offset) const {
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof value);
        return value;
    }
    std::span<std::uint8_t> mapping() { return bytes_; }
    std::uint8_t* at(std::size_t offset) { return bytes_.data() + offset; }

private:
    std::vector<std::uint8_t> bytes_;
};

TEST(TcmuRing, PaddingWrapsAndTheAnswerGoesIntoTheEntryAndItsBuffers) {
    fake_ring ring;
    ring.tail(960);
    ring.pad(960);
    ring.command(0, {0x1C, 0x01, 0x02, 0x00, 0x10, 0x00}, {{4096, 8}, {5000, 8}});
    std::vector<std::uint8_t> seen_cdb;
    std::uint32_t seen_length = 0;
    const ring_walk walk = walk_ring(ring.mapping(), [&](const ring_command& c, ring_answer& a) {
        seen_cdb.assign(c.cdb.begin(), c.cdb.end());
        seen_length = c.length;
        a.status = 0x02;
        a.sense.assign(200, 0x70);  // more than the ring's 96 bytes
        a.data_in = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        return true;
    });
    EXPECT_EQ(walk.answered, 1u);
    EXPECT_EQ(walk.skipped, 1u);
    EXPECT_FALSE(walk.broken);
    EXPECT_EQ(seen_cdb, (std::vector<std::uint8_t>{0x1C, 0x01, 0x02, 0x00, 0x10, 0x00}));
    EXPECT_EQ(seen_length, 16u);
    const std::size_t entry = fake_ring::ring_offset;
    EXPECT_EQ(ring.get<std::uint32_t>(L.cmd_tail), ring.get<std::uint32_t>(L.cmd_head));
    EXPECT_EQ(ring.get<std::uint8_t>(entry + L.scsi_status), 0x02);
    EXPECT_EQ(ring.get<std::uint32_t>(entry + L.read_len), 10u);
    EXPECT_NE(ring.get<std::uint8_t>(entry + L.uflags) & L.uflag_read_len, 0);
    EXPECT_EQ(ring.get<std::uint8_t>(entry + L.sense_buffer + L.sense_size - 1), 0x70);
    EXPECT_EQ(ring.get<std::uint8_t>(entry + L.sense_buffer + L.sense_size), 0x00);  // not past the sense room
    EXPECT_EQ(*ring.at(4096 + 7), 8);
    EXPECT_EQ(*ring.at(5000), 9);
    EXPECT_EQ(*ring.at(5002), 0);
}

TEST(TcmuRing, AnEntryOutsideTheMappingStopsTheWalkUnanswered) {
    fake_ring ring;
    ring.command(0, {0x12, 0, 0, 0, 0x60, 0}, {{8190, 16}});
    int answered = 0;
    const ring_walk walk = walk_ring(ring.mapping(), [&](const ring_command&, ring_answer&) { return ++answered, true; });
    EXPECT_TRUE(walk.broken);
    EXPECT_EQ(answered, 0);
    EXPECT_EQ(ring.get<std::uint32_t>(L.cmd_tail), 0u);
}

TEST(TcmuRing, CdbLengthAndDirectionFromTheOperationCode) {
    struct row {
        std::vector<std::uint8_t> cdb;
        std::size_t length;
        bool data_out;
    };
    for (const row& r : std::vector<row>{
             {{0x1C, 0x01, 0xEC}, 6, false},
             {{0x1D, 0x10}, 6, true},
             {{0x5A}, 10, false},
             {{0xE6, 0x00, 0x06}, 10, false},  // vendor group 7: LIO passes 10 bytes on
             {{0x85, 0x08, 0x0E}, 16, false},  // ATA PASS-THROUGH, T_DIR from the device
             {{0xA1, 0x0A, 0x06}, 12, true},   // T_DIR to the device
             {{0x7F, 0, 0, 0, 0, 0, 0, 0x18}, 32, false},
         }) {
        EXPECT_EQ(cdb_length(r.cdb), r.length) << std::hex << int(r.cdb[0]);
        EXPECT_EQ(cdb_is_data_out(r.cdb), r.data_out) << std::hex << int(r.cdb[0]);
    }
}

}  // namespace
}  // namespace enctl::rig
