#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "vdx/vdx_sat.h"

namespace enctl {
namespace {

TEST(SatBuild, AtaRecordToPassThrough16) {
    struct row {
        std::uint8_t protocol, extend, t_length;
        std::uint32_t unit;
        std::uint16_t features, count;
        std::uint64_t lba;
        std::uint8_t device, command;
        std::uint32_t direction;
        std::uint8_t ck_cond;
        std::vector<std::uint8_t> cdb;
    };
    const row rows[] = {
        // IDENTIFY DEVICE: PIO data-in of one block.
        {4, 0, 2, 1, 0, 1, 0, 0, 0xEC, kVdxDirFromDevice, 0, {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0}},
        // 48-bit DMA out, length in bytes, registers asked back: where every register lands.
        {6, 1, 1, 3, 0xA1B2, 0xC3D4, 0x112233445566ull, 0x40, 0x35, kVdxDirToDevice, 1,
         {0x85, 0x0D, 0x21, 0xA1, 0xB2, 0xC3, 0xD4, 0x33, 0x66, 0x22, 0x55, 0x11, 0x44, 0x40, 0x35, 0x00}},
    };
    std::uint8_t buffer[512];
    for (const row& r : rows) {
        vdx_ata_cmd ata{};
        ata.protocol = r.protocol;
        ata.extend = r.extend;
        ata.t_length = r.t_length;
        ata.transfer_unit = r.unit;
        ata.features = r.features;
        ata.count = r.count;
        ata.lba = r.lba;
        ata.device = r.device;
        ata.command = r.command;
        ata.direction = r.direction;
        ata.check_condition = r.ck_cond;
        ata.data = buffer;
        ata.length = sizeof buffer;
        ata.timeout = 30000;
        vdx_scsi_cmd scsi;
        std::memset(&scsi, 0xCC, sizeof scsi);
        vdx_scsi_build_ata_pass_through(&scsi, ata);
        EXPECT_EQ(std::vector<std::uint8_t>(scsi.cdb, scsi.cdb + 16), r.cdb);
        EXPECT_EQ(scsi.cdb_length, 16u);
        EXPECT_EQ(scsi.direction, r.direction);
        EXPECT_EQ(scsi.data, buffer);
        EXPECT_EQ(scsi.transfer_length, 512u);
        EXPECT_EQ(scsi.timeout, 30000u);
        EXPECT_EQ(scsi.sense_length, 32u);
        EXPECT_EQ(scsi.bytes_transferred, 0u);
        EXPECT_EQ(scsi.scsi_status, 0);
        EXPECT_EQ(vdx_scsi_is_ata_pass_through_ck_cond(scsi), r.ck_cond != 0);
    }
    vdx_scsi_cmd twelve{};
    twelve.cdb[0] = 0xA1;
    twelve.cdb[2] = 0x20;
    EXPECT_TRUE(vdx_scsi_is_ata_pass_through_ck_cond(twelve));
}

// Sense of a finished pass-through -> the ATA registers. The record starts as
// status 50h, error 00h, count 77h, LBA 1234h, device 40h.
TEST(SatResult, SenseToAtaRegisters) {
    struct row {
        const char* what;
        std::uint8_t status;
        std::vector<std::uint8_t> sense;
        std::uint32_t sense_length;
        std::uint8_t ata_status, ata_error;
        std::uint16_t count;
        std::uint64_t lba;
        std::uint8_t device;
    };
    const row rows[] = {
        {"good, no error in the sense", 0, {0x70, 0, 0}, 18, 0x50, 0x00, 0x77, 0x1234, 0x40},
        {"good, no sense", 0, {}, 0, 0x50, 0x00, 0x77, 0x1234, 0x40},
        {"error status, too little sense", 2, {0x70, 0, 5}, 4, 0xFF, 0x02, 0x77, 0x1234, 0x40},
        // Registers returned (key 1, 00h/1Dh), fixed, VALID clear: command-specific bytes; LBA from
        // byte 14 (bits 31-24), byte 13 (23-16) and byte 12 (7-0).
        {"fixed, VALID clear", 2, {0x70, 0, 0x01, 0, 0, 0, 0, 10, 0x04, 0x51, 0xE0, 0x08, 0x00, 0x1D, 0xCC, 0}, 18,
         0x51, 0x04, 0x08, 0xCC1D0000u, 0xE0},
        {"fixed, VALID set: information bytes", 2,
         {0xF0, 0, 0x05, 0x09, 0xA0, 0x41, 0x10, 10, 0, 0x12, 0x34, 0x56, 0x21, 0x04}, 18, 0x41, 0x10, 0x09,
         0x123456u, 0xA0},
        {"other sense: key, ASC and ASCQ", 2, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00}, 18, 0xFF,
         0x02, 5, 0x2400, 0x40},
        // Descriptor sense: LBA from descriptor bytes 10, 8, 6, 11, 9, 7, high to low.
        {"descriptor, ATA Status Return", 2,
         {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0x01, 0x04, 0x00, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55,
          0x66, 0xE0, 0x51},
         22, 0x51, 0x04, 0x0002, 0x553311664422ull, 0xE0},
        {"descriptor of another type", 2,
         {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x00, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, 22, 0xFF, 0x02,
         1, 0x001D, 0x40},
    };
    for (const row& r : rows) {
        vdx_scsi_cmd scsi{};
        scsi.scsi_status = r.status;
        std::copy(r.sense.begin(), r.sense.end(), scsi.sense);
        scsi.sense_length = r.sense_length;
        vdx_ata_cmd ata{};
        ata.status = 0x50;
        ata.count = 0x77;
        ata.lba = 0x1234;
        ata.device = 0x40;
        vdx_scsi_fill_ata_result_from_sat(scsi, &ata);
        EXPECT_EQ(ata.status, r.ata_status) << r.what;
        EXPECT_EQ(ata.error, r.ata_error) << r.what;
        EXPECT_EQ(ata.count, r.count) << r.what;
        EXPECT_EQ(ata.lba, r.lba) << r.what;
        EXPECT_EQ(ata.device, r.device) << r.what;
    }
}

}  // namespace
}  // namespace enctl
