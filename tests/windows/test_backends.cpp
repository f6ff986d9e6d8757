// The Windows backends through the seam: request layouts byte for byte,
// results copied back, failures as error records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

namespace wl = win_layout;
using bytes = std::vector<std::uint8_t>;

std::uint32_t u32(const bytes& b, std::size_t at) { return wl::get32(b, at); }

// A device at `path` of the backend whose every request succeeds, answered by `fill`.
vdx_dev open_device(fake::world& w, const char* path, fake::answer_fn fill, std::uint32_t driver = 0) {
    w.devices[path].answer = std::move(fill);
    vdx_dev dev;
    std::strcpy(dev.device_path, path);
    dev.connection = kVdxConnectionStorage;
    dev.connection_driver = driver;
    dev.backend = &vdx_windows_backend();
    vdx_error error{};
    EXPECT_EQ(vdx_windows_dev_open(&error, &dev), 0);
    return dev;
}

TEST(WindowsScsi, ReadRequestLayoutAndResult) {
    fake::scope fake;
    vdx_dev dev = open_device(fake.w, "\\\\.\\disk", [](std::uint32_t, const bytes&, bytes& out, std::uint32_t* n) {
        out[2] = 0x02;                   // ScsiStatus: CHECK CONDITION
        out[7] = 18;                     // SenseInfoLength
        out[56] = 0x70;                  // sense
        out[88] = 0xAB;                  // data
        *n = 56 + 100;
        return true;
    });
    bytes data(512, 0);
    vdx_scsi_cmd cmd{};
    cmd.cdb[0] = 0x28;
    cmd.cdb_length = 10;
    cmd.data = data.data();
    cmd.transfer_length = 512;
    cmd.sense_length = 32;
    cmd.timeout = 30000;
    cmd.direction = kVdxDirFromDevice;
    vdx_error error{};
    ASSERT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1) << "interface 0 has no SCSI path";
    dev.interface = kVdxInterfaceScsi;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 0);

    const fake::request& r = fake.w.requests.back();
    EXPECT_EQ(r.code, 0x4D004u);
    ASSERT_EQ(r.in.size(), 600u);
    EXPECT_EQ(r.out_size, 600u);
    EXPECT_EQ(wl::get16(r.in, 0), 56u);   // Length
    EXPECT_EQ(r.in[6], 10);               // CdbLength
    EXPECT_EQ(r.in[7], 32);               // SenseInfoLength
    EXPECT_EQ(r.in[8], 1);                // DataIn
    EXPECT_EQ(u32(r.in, 12), 512u);       // DataTransferLength
    EXPECT_EQ(u32(r.in, 16), 30u);        // TimeOutValue
    EXPECT_EQ(u32(r.in, 24), 88u);        // DataBufferOffset
    EXPECT_EQ(u32(r.in, 32), 56u);        // SenseInfoOffset
    EXPECT_EQ(r.in[36], 0x28);            // Cdb

    EXPECT_EQ(cmd.scsi_status, 0x02);
    EXPECT_EQ(cmd.sense_length, 18u);
    EXPECT_EQ(cmd.sense[0], 0x70);
    EXPECT_EQ(cmd.bytes_transferred, 100u);
    EXPECT_EQ(data[0], 0xAB);
}

TEST(WindowsScsi, NoDataTimeoutRoundingAndFailure) {
    fake::scope fake;
    bool ok = true;
    vdx_dev dev = open_device(fake.w, "\\\\.\\ses", [&](std::uint32_t, const bytes&, bytes&, std::uint32_t* n) {
        *n = 56;
        return ok;
    });
    dev.interface = kVdxInterfaceScsi;
    vdx_scsi_cmd cmd{};
    cmd.cdb_length = 6;
    cmd.timeout = 500;
    cmd.direction = kVdxDirNone;
    vdx_error error{};
    ASSERT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 0);
    const fake::request& r = fake.w.requests.back();
    EXPECT_EQ(r.in.size(), 88u);
    EXPECT_EQ(r.in[8], 2);           // SCSI_IOCTL_DATA_UNSPECIFIED
    EXPECT_EQ(u32(r.in, 12), 0u);
    EXPECT_EQ(u32(r.in, 24), 0u);
    EXPECT_EQ(u32(r.in, 16), 1u);    // 500 ms -> 1 s

    ok = false;
    fake.w.error = 1117;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 1117u);
    EXPECT_STREQ(error.function, "execute_scsi_ex");
    EXPECT_STREQ(error.message, "error executing scsi ex DeviceIoControl");
}

TEST(WindowsScsi, WriteBufferToInboxNvmeOnWindows81GoesAsMiniportFirmware) {
    fake::scope fake;
    fake.w.release = win32_release::windows_8_1;
    vdx_dev dev = open_device(fake.w, "\\\\.\\nvme", [](std::uint32_t, const bytes&, bytes&, std::uint32_t*) { return true; },
                              kVdxDriverInboxNvme);
    dev.interface = kVdxInterfaceNvme;
    bytes image(16, 0x5A);
    vdx_scsi_cmd cmd{};
    const std::uint8_t cdb[] = {0x3B, 0x0E, 0x00, 0x01, 0x02, 0x03, 0, 0, 16, 0};
    std::memcpy(cmd.cdb, cdb, sizeof cdb);
    cmd.cdb_length = 10;
    cmd.data = image.data();
    cmd.transfer_length = 16;
    cmd.timeout = 1500;
    cmd.direction = kVdxDirToDevice;
    vdx_error error{};
    ASSERT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 0);
    const fake::request& download = fake.w.requests.back();
    EXPECT_EQ(download.code, 0x4D008u);
    ASSERT_EQ(download.in.size(), 96u);
    EXPECT_EQ(u32(download.in, 0), 28u);
    EXPECT_EQ(std::memcmp(download.in.data() + 4, "FIRMWARE", 8), 0);
    EXPECT_EQ(u32(download.in, 12), 2u);        // 1500 ms -> 2 s
    EXPECT_EQ(u32(download.in, 16), 0x1B0780u);
    EXPECT_EQ(u32(download.in, 24), 96u - 28);
    EXPECT_EQ(u32(download.in, 28 + 8), 2u);    // Function: download
    EXPECT_EQ(u32(download.in, 28 + 12), 1u);   // Flags: controller
    EXPECT_EQ(u32(download.in, 28 + 16), 56u);
    EXPECT_EQ(u32(download.in, 28 + 20), 40u);
    EXPECT_EQ(u32(download.in, 60), 24u);       // STORAGE_FIRMWARE_DOWNLOAD Size
    EXPECT_EQ(u32(download.in, 64), 0x010203u); // Offset from CDB bytes 3-5
    EXPECT_EQ(u32(download.in, 72), 16u);
    EXPECT_EQ(download.in[80], 0x5A);

    cmd.cdb[1] = 0x0F;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 0);
    const fake::request& activate = fake.w.requests.back();
    ASSERT_EQ(activate.in.size(), 68u);
    EXPECT_EQ(u32(activate.in, 24), 40u);
    EXPECT_EQ(u32(activate.in, 28 + 8), 3u);
    EXPECT_EQ(u32(activate.in, 28 + 20), 12u);
    EXPECT_EQ(activate.in[64], 1);              // SlotToActivate

    fake.w.devices["\\\\.\\nvme"].answer = nullptr;
    fake.w.error = 1117;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 1117u);
    EXPECT_STREQ(error.message, "error executing scsi miniport protocol DeviceIoControl");

    // On Windows 10 the same command is an ordinary pass-through (failing
    // here too).
    fake.w.release = win32_release::windows_10;
    win32_forget_release();
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(fake.w.requests.back().code, 0x4D004u);
}

TEST(WindowsNvme, PropertyQueriesForIdentifyAndLogPages) {
    fake::scope fake;
    vdx_dev dev = open_device(fake.w, "\\\\.\\nvme0", [](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        wl::put32(out, 32, 0xC0FFEE);  // FixedProtocolReturnData
        for (std::size_t i = 48; i < out.size(); ++i) out[i] = 0x11;
        return true;
    });
    dev.interface = kVdxInterfaceNvme;
    struct row {
        std::uint32_t opcode, cdw10, length, property, data_type;
    };
    for (const row& r : {row{0x06, 0, 4096, 50, 1}, row{0x06, 1, 4096, 49, 1}, row{0x02, 0x00FF0002, 64, 49, 2},
                         row{0x0A, 0x07, 4, 50, 3}}) {
        bytes data(r.length + 8, 0);
        vdx_nvme_cmd cmd{};
        cmd.opcode = r.opcode;
        cmd.cdw10 = r.cdw10;
        cmd.cdw11 = 0x1111;
        cmd.cdw12 = 0x1212;
        cmd.cdw13 = 0x1313;
        cmd.data = data.data();
        cmd.length = r.length;
        cmd.direction = kVdxDirFromDevice;
        cmd.timeout = 500;
        vdx_error error{};
        ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0) << r.opcode;
        const fake::request& q = fake.w.requests.back();
        EXPECT_EQ(q.code, 0x2D1400u);
        ASSERT_EQ(q.in.size(), 48u);
        const std::uint32_t data_length = r.length > 512 ? r.length : 512;
        EXPECT_EQ(q.out_size, 48 + data_length);
        EXPECT_EQ(u32(q.in, 0), r.property) << r.opcode << "/" << r.cdw10;
        EXPECT_EQ(u32(q.in, 8), 3u);
        EXPECT_EQ(u32(q.in, 12), r.data_type);
        EXPECT_EQ(u32(q.in, 16), r.cdw10 & 0xFF);
        EXPECT_EQ(u32(q.in, 24), 40u);
        EXPECT_EQ(u32(q.in, 28), data_length);
        if (r.opcode == 0x02) {
            EXPECT_EQ(u32(q.in, 20), 0x1212u);
            EXPECT_EQ(u32(q.in, 36), 0x1313u);
            EXPECT_EQ(u32(q.in, 40), 0x1111u);
            EXPECT_EQ(u32(q.in, 44), r.cdw10);
        }
        if (r.opcode == 0x0A) {
            EXPECT_EQ(u32(q.in, 20), 0x1111u);
        }
        EXPECT_EQ(cmd.completion[0], 0xC0FFEEu);
        EXPECT_EQ(data[r.length - 1], 0x11);
        EXPECT_EQ(data[r.length], 0) << "copies only the command's length";
    }
}

TEST(WindowsNvme, ProtocolCommandLayoutAndReturnStatus) {
    fake::scope fake;
    std::uint32_t status = 1;
    vdx_dev dev = open_device(fake.w, "\\\\.\\nvme1", [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        wl::put32(out, 16, status);
        wl::put32(out, 64, 0xAA55);
        out[208] = 0x77;
        return true;
    });
    dev.interface = kVdxInterfaceNvme;
    bytes data(32, 0);
    vdx_nvme_cmd cmd{};
    cmd.opcode = 0xC2;
    cmd.nsid = 7;
    cmd.cdw10 = 10;
    cmd.cdw15 = 15;
    cmd.data = data.data();
    cmd.length = 32;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 90000;
    vdx_error error{};
    ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0);
    const fake::request& r = fake.w.requests.back();
    EXPECT_EQ(r.code, 0x2DD3C0u);
    ASSERT_EQ(r.in.size(), 240u);
    EXPECT_EQ(u32(r.in, 0), 1u);
    EXPECT_EQ(u32(r.in, 4), 84u);
    EXPECT_EQ(u32(r.in, 8), 3u);
    EXPECT_EQ(u32(r.in, 12), 0x80000000u);
    EXPECT_EQ(u32(r.in, 24), 64u);
    EXPECT_EQ(u32(r.in, 28), 64u);
    EXPECT_EQ(u32(r.in, 36), 32u);   // DataFromDeviceTransferLength
    EXPECT_EQ(u32(r.in, 40), 90u);   // seconds
    EXPECT_EQ(u32(r.in, 44), 144u);  // ErrorInfoOffset
    EXPECT_EQ(u32(r.in, 52), 208u);  // DataFromDeviceBufferOffset
    EXPECT_EQ(u32(r.in, 56), 1u);    // admin command
    EXPECT_EQ(u32(r.in, 80), 0xC2u);
    EXPECT_EQ(u32(r.in, 84), 7u);
    EXPECT_EQ(u32(r.in, 80 + 40), 10u);
    EXPECT_EQ(u32(r.in, 80 + 60), 15u);
    EXPECT_EQ(cmd.completion[0], 0xAA55u);
    EXPECT_EQ(data[0], 0x77);

    status = 4;
    EXPECT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 4u);
    EXPECT_STREQ(error.message, "storage protocol command ReturnStatus 4h");
}

TEST(WindowsAta, PassThroughExLayoutResultsAndFailure) {
    fake::scope fake;
    bool ok = true;
    vdx_dev dev = open_device(fake.w, "\\\\.\\PhysicalDrive3", [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        const std::uint8_t prev[] = {0, 0x01, 0x44, 0x55, 0x66, 0, 0, 0};
        const std::uint8_t cur[] = {0x04, 0x02, 0x11, 0x22, 0x33, 0xE0, 0x51, 0};
        std::memcpy(out.data() + 32, prev, 8);
        std::memcpy(out.data() + 40, cur, 8);
        out[48] = 0x99;
        return ok;
    });
    dev.interface = kVdxInterfaceAta;
    bytes data(512, 0);
    vdx_ata_cmd cmd{};
    cmd.protocol = 6;  // DMA
    cmd.extend = 1;
    cmd.features = 0x0102;
    cmd.count = 0x0304;
    cmd.lba = 0x0A0B0C0D0E0Full;
    cmd.device = 0x40;
    cmd.command = 0x25;
    cmd.data = data.data();
    cmd.length = 512;
    cmd.timeout = 1500;
    cmd.direction = kVdxDirFromDevice;
    vdx_error error{};
    ASSERT_EQ(vdx_ata_execute(&error, &dev, &cmd), 0);
    const fake::request& r = fake.w.requests.back();
    EXPECT_EQ(r.code, 0x4D02Cu);
    ASSERT_EQ(r.in.size(), 560u);
    EXPECT_EQ(wl::get16(r.in, 0), 48u);
    EXPECT_EQ(wl::get16(r.in, 2), 1u | 8u | 16u | 2u);
    EXPECT_EQ(u32(r.in, 8), 512u);
    EXPECT_EQ(u32(r.in, 12), 2u);   // 1500 ms -> 2 s
    EXPECT_EQ(u32(r.in, 24), 48u);
    const bytes prev(r.in.begin() + 32, r.in.begin() + 40), cur(r.in.begin() + 40, r.in.begin() + 48);
    EXPECT_EQ(prev, (bytes{0x01, 0x03, 0x0C, 0x0B, 0x0A, 0, 0, 0}));
    EXPECT_EQ(cur, (bytes{0x02, 0x04, 0x0F, 0x0E, 0x0D, 0x40, 0x25, 0}));

    EXPECT_EQ(cmd.error, 0x04);
    EXPECT_EQ(cmd.count, 0x0102);
    EXPECT_EQ(cmd.lba, 0x665544332211ull);
    EXPECT_EQ(cmd.device, 0xE0);
    EXPECT_EQ(cmd.status, 0x51);
    EXPECT_EQ(data[0], 0x99);

    ok = false;
    fake.w.error = 5;
    EXPECT_EQ(vdx_ata_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 5u);
    EXPECT_EQ(error.line, 679u);
    EXPECT_STREQ(error.file, "..\\vdx\\windows\\vdx_ata_windows");
    EXPECT_STREQ(error.message, "error executing ata pass through DeviceIoControl");
}

TEST(WindowsAta, ProbeRefusesEmptyAndNoGoodAnswers) {
    fake::scope fake;
    std::uint8_t status = 0x50, err = 0;
    bool empty = false;
    vdx_dev dev = open_device(fake.w, "\\\\.\\PhysicalDrive4", [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        out[46] = status;  // CurrentTaskFile[6]
        out[40] = err;
        if (!empty) out[48] = 1;
        return true;
    });
    EXPECT_TRUE(vdx_ata_windows_probe(&dev));
    status = 0x51, err = 0x04;
    EXPECT_FALSE(vdx_ata_windows_probe(&dev));
    status = 0, err = 0;
    EXPECT_FALSE(vdx_ata_windows_probe(&dev));
    status = 0x50, empty = true;
    EXPECT_FALSE(vdx_ata_windows_probe(&dev));
}

TEST(WindowsOpen, FailureIsErrorFourWithThePath) {
    fake::scope fake;
    fake.w.error = 2;
    vdx_dev dev;
    std::strcpy(dev.device_path, "\\\\.\\missing");
    dev.backend = &vdx_windows_backend();
    vdx_error error{};
    EXPECT_EQ(vdx_dev_open(&error, &dev), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 2u);
    EXPECT_EQ(error.line, 3222u);
    EXPECT_STREQ(error.message, "windows dev open failed, could not open \\\\.\\missing");
}

}  // namespace
}  // namespace enctl
