#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "vdx/vdx_sat.h"

// The command records are built with designated initializers, the fields
// left out zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace enctl {
namespace {

std::uint8_t g_buffer[512];

TEST(SatBuild, AtaRecordToPassThrough16) {
    const std::pair<vdx_ata_cmd, std::vector<std::uint8_t>> rows[] = {
        // IDENTIFY DEVICE: PIO data-in of one block.
        {{.protocol = 4, .t_length = 2, .transfer_unit = 1, .count = 1, .command = 0xEC, .direction = kVdxDirFromDevice},
         {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0}},
        // 48-bit DMA out, length in bytes, registers asked back: where every register lands.
        {{.protocol = 6, .extend = 1, .t_length = 1, .transfer_unit = 3, .features = 0xA1B2, .count = 0xC3D4,
          .lba = 0x112233445566ull, .device = 0x40, .command = 0x35, .direction = kVdxDirToDevice, .check_condition = 1},
         {0x85, 0x0D, 0x21, 0xA1, 0xB2, 0xC3, 0xD4, 0x33, 0x66, 0x22, 0x55, 0x11, 0x44, 0x40, 0x35, 0x00}},
    };
    for (auto [ata, cdb] : rows) {
        ata.data = g_buffer;
        ata.length = sizeof g_buffer;
        ata.timeout = 30000;
        vdx_scsi_cmd scsi;
        std::memset(&scsi, 0xCC, sizeof scsi);
        vdx_scsi_build_ata_pass_through(&scsi, ata);
        EXPECT_EQ(std::vector<std::uint8_t>(scsi.cdb, scsi.cdb + 16), cdb);
        EXPECT_EQ(std::tuple(scsi.cdb_length, scsi.direction, scsi.data, scsi.transfer_length, scsi.timeout,
                             scsi.sense_length, scsi.bytes_transferred, +scsi.scsi_status),
                  std::tuple(16u, ata.direction, g_buffer, 512u, 30000u, 32u, 0u, 0));
        EXPECT_EQ(vdx_scsi_is_ata_pass_through_ck_cond(scsi), ata.check_condition != 0);
    }
    vdx_scsi_cmd twelve{};
    twelve.cdb[0] = 0xA1;
    twelve.cdb[2] = 0x20;
    EXPECT_TRUE(vdx_scsi_is_ata_pass_through_ck_cond(twelve));
}

// Sense of a finished pass-through -> the ATA registers (golden file). The
// record starts as status 50h, error 00h, count 77h, LBA 1234h, device 40h.
TEST(SatResult, SenseToAtaRegisters) {
    struct row {
        const char* what;
        std::uint8_t status;
        std::vector<std::uint8_t> sense;
        std::uint32_t sense_length;
    };
    const row rows[] = {
        {"good, no error in the sense", 0, {0x70, 0, 0}, 18},
        {"good, no sense", 0, {}, 0},
        {"error status, too little sense", 2, {0x70, 0, 5}, 4},
        // Registers returned (key 1, 00h/1Dh), fixed, VALID clear: command-specific bytes; LBA from
        // byte 14 (bits 31-24), byte 13 (23-16) and byte 12 (7-0).
        {"fixed, VALID clear", 2, {0x70, 0, 0x01, 0, 0, 0, 0, 10, 0x04, 0x51, 0xE0, 0x08, 0x00, 0x1D, 0xCC, 0}, 18},
        {"fixed, VALID set: information bytes", 2,
         {0xF0, 0, 0x05, 0x09, 0xA0, 0x41, 0x10, 10, 0, 0x12, 0x34, 0x56, 0x21, 0x04}, 18},
        {"other sense: key, ASC and ASCQ", 2, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00}, 18},
        // Descriptor sense: LBA from descriptor bytes 10, 8, 6, 11, 9, 7, high to low.
        {"descriptor, ATA Status Return", 2,
         {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0x01, 0x04, 0x00, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55,
          0x66, 0xE0, 0x51}, 22},
        {"descriptor of another type", 2,
         {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x00, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, 22},
    };
    std::string text;
    for (const row& r : rows) {
        vdx_scsi_cmd scsi{};
        scsi.scsi_status = r.status;
        std::copy(r.sense.begin(), r.sense.end(), scsi.sense);
        scsi.sense_length = r.sense_length;
        vdx_ata_cmd ata{.count = 0x77, .lba = 0x1234, .device = 0x40, .status = 0x50};
        vdx_scsi_fill_ata_result_from_sat(scsi, &ata);
        char line[160];
        std::snprintf(line, sizeof line, "%s: status %02X error %02X count %04X lba %012llX device %02X\n", r.what,
                      ata.status, ata.error, ata.count, static_cast<unsigned long long>(ata.lba), ata.device);
        text += line;
    }
    testing::expect_golden(text, "vdx/golden/sat_result.txt");
}

}  // namespace
}  // namespace enctl
