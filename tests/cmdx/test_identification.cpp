#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>

#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "tests/cmdx/cmdx_test.h"

// ATA records are built with designated initializers, the fields left out zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace enctl {
namespace {

using testing_fake::g_fake;

// ATA IDENTIFY is built in the CDB builders' golden file, through the SAT
// translation.
TEST(Identify, NvmeCommandAsBuiltAndTheStatusFields) {
    std::array<std::uint8_t, 4096> buffer;
    vdx_nvme_cmd nvme;
    std::memset(&nvme, 0xAA, sizeof nvme);
    cmdxnvme_build_identify(&nvme, 0x11, 1, 0x22, buffer);
    EXPECT_EQ(std::tuple(nvme.opcode, nvme.nsid, nvme.cdw10, nvme.cdw11, nvme.length, nvme.timeout, nvme.queue),
              std::tuple(0x06u, 0x11u, 0x00220001u, 0u, 4096u, 30000u, 0u));
    EXPECT_EQ(std::tuple(nvme.data, nvme.direction), std::tuple(buffer.data(), kVdxDirFromDevice));

    vdx_error error{};
    EXPECT_EQ(cmdxata_check_error(&error, vdx_ata_cmd{.status = 0x50}), 0);
    EXPECT_EQ(cmdxata_check_error(&error, vdx_ata_cmd{.status = 0x51, .error = 0x04}), 1);
    EXPECT_STREQ(error.message, "device error detected, status 51h, error 4h");
    nvme.completion[3] = 0x00010000;  // phase bit only
    EXPECT_EQ(cmdxnvme_check_error(&error, nvme), 0);
    nvme.completion[3] = ((1u << 9) | (0x0Bu << 1) | 1u) << 16;
    EXPECT_EQ(cmdxnvme_check_error(&error, nvme), 1);
    EXPECT_EQ(error.subcode, 0x10Bu);
    EXPECT_STREQ(error.message, "device error detected, sct 1h, sc bh");
}

// The serial by interface class: SAT disks with ATA IDENTIFY (not VPD 80h),
// SCSI devices with VPD 80h read up to the bytes transferred, NVMe with
// Identify Controller; a failing command (an ATA error status too) or another
// interface is an error.
TEST(GetSerial, AsksEachInterfaceItsOwnWay) {
    testing_fake::fake_backend_scope fake;
    g_fake.on_scsi = [](vdx_error*, vdx_dev* dev, vdx_scsi_cmd* cmd) {
        if (std::string_view(dev->name) == "busy") return cmd->scsi_status = 0x08, 0;
        if (std::string_view(dev->name) == "aborted") {  // the ATA command failed behind the SAT layer
            const std::uint8_t sense[18] = {0x70, 0, 0x0B, 0, 0, 0, 0, 10};
            std::memcpy(cmd->sense, sense, sizeof sense);
            cmd->sense_length = sizeof sense;
            return cmd->scsi_status = 0x02, 0;
        }
        if (cmd->cdb[0] == 0x85) std::memcpy(cmd->data + 20, "ASATNS21            ", 20);
        if (cmd->cdb[0] == 0x12 && cmd->cdb[1] == 1 && cmd->cdb[2] == 0x80)
            std::memcpy(cmd->data, "\x0D\x80\x00\x0C" "ENC001XY", 12);
        cmd->bytes_transferred = cmd->cdb[0] == 0x12 ? 10 : 512;  // VPD 80h: 6 of its 12 bytes came
        return 0;
    };
    g_fake.on_nvme = [](vdx_error*, vdx_dev*, vdx_nvme_cmd* cmd) {
        std::memcpy(cmd->data + 4, "NVSN77              ", 20);
        return cmd->cdw10 == 1 ? 0 : 1;
    };
    const std::tuple<const char*, std::uint32_t, int, const char*, std::uint8_t> cases[] = {
        {"disk2", kVdxInterfaceScsiSatAta, 0, "SATASN12", 0x85}, {"SCSI1:0,5,0", kVdxInterfaceScsi, 0, "ENC001", 0x12},
        {"nvme0", kVdxInterfaceNvme, 0, "NVSN77", 0},           {"busy", kVdxInterfaceScsi, 6, "", 0x12},
        {"hub", kVdxInterfaceUsbRootHub, 2, "", 0},           {"aborted", kVdxInterfaceScsiSatAta, 6, "", 0x85},
    };
    for (const auto& [name, interface, code, serial, opcode] : cases) {
        vdx_dev dev = testing_fake::make_fake_device(name, interface, kVdxConnectionStorage);
        g_fake.scsi_sent.clear();
        vdx_error error{};
        char out[32];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(cmdxbasics_get_serial(&error, &dev, out), code ? 1 : 0) << name;
        EXPECT_EQ(error.code, static_cast<std::uint32_t>(code)) << name;
        EXPECT_STREQ(out, serial) << name;
        EXPECT_EQ(g_fake.scsi_sent.empty() ? 0 : g_fake.scsi_sent[0].cdb[0], opcode) << name;
    }
}

}  // namespace
}  // namespace enctl
