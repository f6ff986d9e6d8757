#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "vdx/vdx_sat.h"

namespace enctl {
namespace {

vdx_ata_cmd identify_like() {
    vdx_ata_cmd ata{};
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.direction = kVdxDirFromDevice;
    ata.timeout = 30000;
    return ata;
}

TEST(SatBuild, IdentifyDeviceIsTheStandardPassThrough16) {
    std::array<std::uint8_t, 512> buffer{};
    vdx_ata_cmd ata = identify_like();
    ata.data = buffer.data();
    ata.length = 512;
    vdx_scsi_cmd scsi;
    std::memset(&scsi, 0xCC, sizeof scsi);
    vdx_scsi_build_ata_pass_through(&scsi, ata);
    const std::array<std::uint8_t, 16> expected = {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0};
    EXPECT_EQ(0, std::memcmp(scsi.cdb, expected.data(), 16));
    EXPECT_EQ(scsi.cdb_length, 16u);
    EXPECT_EQ(scsi.direction, kVdxDirFromDevice);
    EXPECT_EQ(scsi.data, buffer.data());
    EXPECT_EQ(scsi.transfer_length, 512u);
    EXPECT_EQ(scsi.timeout, 30000u);
    EXPECT_EQ(scsi.sense_length, 32u);
    EXPECT_EQ(scsi.bytes_transferred, 0u);
    EXPECT_EQ(scsi.scsi_status, 0);
}

TEST(SatBuild, RegistersLandWhereSatPutsThem) {
    vdx_ata_cmd ata{};
    ata.protocol = 6;  // DMA
    ata.extend = 1;
    ata.t_length = 1;
    ata.transfer_unit = 3;  // bytes
    ata.check_condition = 1;
    ata.direction = kVdxDirToDevice;
    ata.features = 0xA1B2;
    ata.count = 0xC3D4;
    ata.lba = 0x112233445566ull;
    ata.device = 0x40;
    ata.command = 0x35;
    vdx_scsi_cmd scsi;
    vdx_scsi_build_ata_pass_through(&scsi, ata);
    const std::array<std::uint8_t, 16> expected = {0x85, 0x0D, 0x21, 0xA1, 0xB2, 0xC3, 0xD4, 0x33,
                                                   0x66, 0x22, 0x55, 0x11, 0x44, 0x40, 0x35, 0x00};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(scsi.cdb[i], expected[i]) << "byte " << i;
    EXPECT_TRUE(vdx_scsi_is_ata_pass_through_ck_cond(scsi));
    scsi.cdb[2] &= static_cast<std::uint8_t>(~0x20);
    EXPECT_FALSE(vdx_scsi_is_ata_pass_through_ck_cond(scsi));
    scsi.cdb[0] = 0xA1;
    scsi.cdb[2] = 0x20;
    EXPECT_TRUE(vdx_scsi_is_ata_pass_through_ck_cond(scsi));
}

vdx_scsi_cmd finished(std::uint8_t status, std::initializer_list<std::uint8_t> sense, std::uint32_t sense_length) {
    vdx_scsi_cmd scsi{};
    scsi.scsi_status = status;
    std::size_t i = 0;
    for (std::uint8_t b : sense) scsi.sense[i++] = b;
    scsi.sense_length = sense_length;
    return scsi;
}

vdx_ata_cmd preset() {
    vdx_ata_cmd ata{};
    ata.status = 0x50;
    ata.error = 0x00;
    ata.count = 0x77;
    ata.lba = 0x1234;
    ata.device = 0x40;
    return ata;
}

TEST(SatResult, GoodStatusWithoutSenseKeepsThePreviousValues) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(finished(0, {0x70, 0, 0}, 18), &ata);
    EXPECT_EQ(ata.status, 0x50);
    EXPECT_EQ(ata.count, 0x77);
    EXPECT_EQ(ata.lba, 0x1234u);
    vdx_scsi_fill_ata_result_from_sat(finished(0, {}, 0), &ata);
    EXPECT_EQ(ata.status, 0x50);
}

TEST(SatResult, ShortSenseWithErrorStatusOnlySetsStatusAndError) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(finished(2, {0x70, 0, 5}, 4), &ata);
    EXPECT_EQ(ata.status, 0xFF);
    EXPECT_EQ(ata.error, 2);
    EXPECT_EQ(ata.count, 0x77);
    EXPECT_EQ(ata.lba, 0x1234u);
}

TEST(SatResult, FixedSenseWithValidClearReadsTheCommandSpecificBytes) {
    vdx_ata_cmd ata = preset();
    // key 1, ASC/ASCQ 00h/1Dh, VALID clear
    vdx_scsi_fill_ata_result_from_sat(
        finished(2, {0x70, 0, 0x01, 0, 0, 0, 0, 10, 0x04, 0x51, 0xE0, 0x08, 0x00, 0x1D, 0xCC, 0}, 18), &ata);
    EXPECT_EQ(ata.error, 0x04);
    EXPECT_EQ(ata.status, 0x51);
    EXPECT_EQ(ata.device, 0xE0);
    EXPECT_EQ(ata.count, 0x08);
    // byte 14 bits 31-24, byte 13 (the ASCQ) bits 23-16, byte 12 (the ASC) bits 7-0
    EXPECT_EQ(ata.lba, 0xCC1D0000u);
}

TEST(SatResult, FixedSenseWithValidSetReadsTheInformationBytes) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(
        finished(2, {0xF0, 0, 0x05, 0x09, 0xA0, 0x41, 0x10, 10, 0, 0x12, 0x34, 0x56, 0x21, 0x04}, 18), &ata);
    EXPECT_EQ(ata.count, 0x09);
    EXPECT_EQ(ata.device, 0xA0);
    EXPECT_EQ(ata.status, 0x41);
    EXPECT_EQ(ata.error, 0x10);
    EXPECT_EQ(ata.lba, 0x123456u);
}

TEST(SatResult, InvalidFieldGivesTheFallback) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(finished(2, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00}, 18), &ata);
    EXPECT_EQ(ata.status, 0xFF);
    EXPECT_EQ(ata.error, 0x02);
    EXPECT_EQ(ata.count, 5);
    EXPECT_EQ(ata.lba, 0x2400u);
    EXPECT_EQ(ata.device, 0x40);
}

TEST(SatResult, DescriptorSenseReadsTheAtaStatusReturnDescriptor) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(finished(2, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0x01, 0x04,
                                                   0x00, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xE0, 0x51},
                                               22),
                                      &ata);
    EXPECT_EQ(ata.error, 0x04);
    EXPECT_EQ(ata.count, 0x0002);
    // bytes 10, 8, 6, 11, 9, 7 of the descriptor, high to low
    EXPECT_EQ(ata.lba, 0x553311664422ull);
    EXPECT_EQ(ata.device, 0xE0);
    EXPECT_EQ(ata.status, 0x51);
}

TEST(SatResult, DescriptorOtherThanAtaStatusReturnLeavesTheFallback) {
    vdx_ata_cmd ata = preset();
    vdx_scsi_fill_ata_result_from_sat(
        finished(2, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x00, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, 22),
        &ata);
    EXPECT_EQ(ata.status, 0xFF);
    EXPECT_EQ(ata.error, 0x02);
    EXPECT_EQ(ata.count, 1);
    EXPECT_EQ(ata.lba, 0x001Du);
}

}  // namespace
}  // namespace enctl
