// The disk models: SAS identity and capacity, SATA through ATA PASS-THROUGH,
// NVMe Identify Controller.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/disk.h"
#include "tests/sim/sim_test_util.h"

namespace enctl::sim {
namespace {

using namespace enctl::sim::testing;

disk_spec spec_of(disk_kind kind) {
    disk_spec s;
    s.kind = kind;
    s.vendor = "LABDISK";
    s.model = kind == disk_kind::sata ? "LabDisk LD8000SATA" : "LD12000SAS";
    s.revision = kind == disk_kind::sata ? "LS02" : "A102";
    s.serial = "ZL1A20000000C00000";
    s.naa = 0x50D15C0000100000ull;
    s.blocks = 23437770752ull;
    return s;
}

// IDENTIFY DEVICE through ATA PASS-THROUGH(16): PIO data-in, blocks, length from the count.
std::vector<std::uint8_t> identify_cdb(bool ck_cond) {
    return {0x85, 4 << 1, static_cast<std::uint8_t>((ck_cond ? 0x20 : 0) | 0x08 | 0x04 | 0x02), 0, 0, 0, 1, 0, 0,
            0,    0,      0,    0,    0,    0xEC, 0};
}

TEST(SimDisk, SasIdentityAndCapacity) {
    sas_disk d(spec_of(disk_kind::sas));
    const auto inq = run(d, inquiry_cdb());
    EXPECT_EQ(inq.data_in[0], 0x00);
    EXPECT_EQ(text_at(inq.data_in, 8, 8), "LABDISK");
    EXPECT_EQ(text_at(inq.data_in, 16, 16), "LD12000SAS");
    const auto sn = run(d, inquiry_cdb(0x80));
    EXPECT_EQ(text_at(sn.data_in, 4, sn.data_in[3]), "ZL1A20000000C00000");
    const auto di = run(d, inquiry_cdb(0x83)).data_in;
    ASSERT_GE(di.size(), 16u);
    EXPECT_EQ(di[4], 0x01);
    EXPECT_EQ(di[5], 0x03);
    EXPECT_EQ(enctl::be32(&di[8]), 0x50D15C00u);
    EXPECT_EQ(enctl::be32(&di[12]), 0x00100000u);
    EXPECT_EQ(di[16 + 1], 0x93);  // then the target port, SAS

    const auto rc = run(d, {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 32);
    ASSERT_EQ(rc.status, 0);
    ASSERT_EQ(rc.data_in.size(), 32u);
    const std::uint64_t last = (std::uint64_t{enctl::be32(&rc.data_in[0])} << 32) | enctl::be32(&rc.data_in[4]);
    EXPECT_EQ(last, 23437770752ull - 1);
    EXPECT_EQ(enctl::be32(&rc.data_in[8]), 512u);
    // Capacity as discovery computes it: (last LBA * block length + 500) / 1e9 -> 12000 GB.
    EXPECT_EQ((last * 512 + 500) / 1000000000, 12000u);
}

TEST(SimDisk, SataIdentifyThroughAtaPassThrough) {
    sata_disk d(spec_of(disk_kind::sata));
    const auto inq = run(d, inquiry_cdb());
    EXPECT_EQ(text_at(inq.data_in, 8, 8), "ATA");
    const auto r = run(d, identify_cdb(false), 512);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.data_in.size(), 512u);
    // Serial in words 10-19, two characters per word swapped.
    std::string serial;
    for (int i = 20; i < 40; i += 2) {
        serial += static_cast<char>(r.data_in[i + 1]);
        serial += static_cast<char>(r.data_in[i]);
    }
    while (!serial.empty() && serial.back() == ' ') serial.pop_back();
    EXPECT_EQ(serial, "ZL1A20000000C00000");
    std::uint8_t sum = 0;
    for (auto b : r.data_in) sum = static_cast<std::uint8_t>(sum + b);
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(r.data_in[510], 0xA5);

    // With CK_COND the registers come back in descriptor sense: RECOVERED
    // ERROR, 00h/1Dh, ATA Status Return descriptor with status 50h.
    const auto ck = run(d, identify_cdb(true), 512);
    EXPECT_EQ(ck.status, 0x02);
    EXPECT_EQ(ck.data_in.size(), 512u);
    ASSERT_GE(ck.sense.size(), 22u);
    EXPECT_EQ(ck.sense[0], 0x72);
    EXPECT_EQ(ck.sense[1], 0x01);
    EXPECT_EQ(ck.sense[2], 0x00);
    EXPECT_EQ(ck.sense[3], 0x1D);
    EXPECT_EQ(ck.sense[8], 0x09);
    EXPECT_EQ(ck.sense[9], 0x0C);
    EXPECT_EQ(ck.sense[8 + 13], 0x50);
    EXPECT_EQ(ck.sense[8 + 3], 0x00);

    // An ATA command the drive does not know is aborted (ERR, ABRT).
    auto unknown = identify_cdb(false);
    unknown[14] = 0x2F;
    const auto ab = run(d, unknown, 512);
    EXPECT_EQ(ab.status, 0x02);
    EXPECT_EQ(ab.sense[8 + 13] & 0x01, 0x01);
    EXPECT_EQ(ab.sense[8 + 3], 0x04);
    // IDENTIFY must be PIO data-in.
    auto wrong = identify_cdb(false);
    wrong[1] = 3 << 1;
    EXPECT_EQ(sense_code(run(d, wrong, 512)), 0x052400u);

    const auto vpd89 = run(d, inquiry_cdb(0x89, 0x238));
    ASSERT_EQ(vpd89.data_in.size(), 0x238u);
    EXPECT_EQ(vpd89.data_in[56], 0xEC);
    // VPD 83h: the NAA name follows a vendor specific and a T10 designator.
    const auto di = run(d, inquiry_cdb(0x83)).data_in;
    std::size_t off = 4;
    int naa_at = -1;
    while (off + 4 <= di.size()) {
        if (di[off] == 0x01 && di[off + 1] == 0x03) naa_at = static_cast<int>(off);
        off += 4 + di[off + 3];
    }
    ASSERT_GT(naa_at, 4);
    EXPECT_EQ(enctl::be32(&di[naa_at + 4]), 0x50D15C00u);
}

TEST(SimDisk, NvmeIdentifyController) {
    nvme_disk d(spec_of(disk_kind::nvme));
    nvme_command c;
    c.opcode = 0x06;
    c.cdw10 = 1;
    c.data_len = 4096;
    const auto r = d.nvme_admin(c);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.data_in.size(), 4096u);
    EXPECT_EQ(text_at(r.data_in, 4, 20), "ZL1A20000000C00000");
    EXPECT_EQ(text_at(r.data_in, 24, 40), "LD12000SAS");
    c.cdw10 = 0x77;
    EXPECT_EQ(d.nvme_admin(c).status, 0x0002);
    c.opcode = 0x99;
    EXPECT_EQ(d.nvme_admin(c).status, 0x0001);
    // A SCSI command to an NVMe controller is refused.
    EXPECT_EQ(run(d, inquiry_cdb()).status, 0x02);
}

}  // namespace
}  // namespace enctl::sim
