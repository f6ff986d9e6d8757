// DOWNLOAD MICROCODE to ATA drives through the firmware requests of Intel RST
// and of the storage stack: each way it can fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

namespace wl = win_layout;
using bytes = std::vector<std::uint8_t>;

constexpr char kDisk[] = "\\\\.\\PhysicalDrive1";
constexpr char kPort[] = "\\\\.\\Scsi2:";

// How the drive's drivers answer: the slot query, then the download or the
// activation (Intel: the miniport call and its return code; inbox: the call).
struct answers {
    bool info_ok = true;
    std::uint32_t info_code = 0;
    std::uint8_t slot_count = 2, active_slot = 2;
    bool send_ok = true;
    std::uint32_t send_code = 0;
};

// An ATA disk behind `driver` on a host of `release`, open.
vdx_dev ata_disk(fake::world& w, std::uint32_t driver, win32_release release, const answers& a) {
    w.release = release;
    w.error = 1450;
    w.devices[kDisk].answer = w.devices[kPort].answer = [&a](std::uint32_t code, const bytes& in, bytes& out,
                                                             std::uint32_t*) {
        const bool info = code == wl::kIoctlStorageFirmwareGetInfo ||
                          (code == wl::kIoctlScsiMiniport && wl::get32(in, 40) == wl::kFirmwareFunctionGetInfo);
        if (code == wl::kIoctlStorageFirmwareGetInfo) out[10] = a.active_slot;
        if (code == wl::kIoctlScsiMiniport) {
            wl::put32(out, 20, info ? a.info_code : a.send_code);
            if (info) out[56 + 9] = a.slot_count, out[56 + 10] = a.active_slot;
        }
        return info ? a.info_ok : a.send_ok;
    };
    vdx_dev dev;
    std::strcpy(dev.name, "disk1");
    std::strcpy(dev.device_path, kDisk);
    std::strcpy(dev.second_path, kPort);
    dev.interface = kVdxInterfaceAta;
    dev.connection = kVdxConnectionStorage;
    dev.connection_driver = driver;
    dev.scsi_address = {8, 2, 0, 3, 0};
    dev.backend = &vdx_windows_backend();
    win32_forget_release();
    vdx_error error{};
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0);
    return dev;
}

// DOWNLOAD MICROCODE of a 16-byte segment at buffer offset 259 blocks (LBA
// bits 8-23; the bits above are not part of it).
vdx_ata_cmd microcode(bytes& image, std::uint8_t command, std::uint8_t features) {
    image.assign(16, 0x5A);
    vdx_ata_cmd cmd{};
    cmd.command = command;
    cmd.features = features;
    cmd.count = 1;
    cmd.lba = 0x0F010300;
    cmd.data = image.data();
    cmd.length = 16;
    cmd.timeout = 1500;
    cmd.direction = kVdxDirToDevice;
    cmd.status = 0xAB;
    return cmd;
}

TEST(WindowsAtaFirmware, Failures) {
    struct row {
        std::uint32_t driver;
        std::uint8_t features;
        answers a;
        std::uint32_t code, subcode, line;  // line 0: not checked
        const char* message;
    };
    const auto with = [](auto change) {
        answers a;
        change(a);
        return a;
    };
    for (const row& r : {
             row{kVdxDriverIntelRst, 0x0E, with([](answers& a) { a.info_ok = false; }), 1, 1450, 0,
                 "failed to capture firmware info structure v2"},
             row{kVdxDriverIntelRst, 0x0F, with([](answers& a) { a.info_code = 5; }), 1, 5, 0,
                 "failed to capture firmware info structure v2 - srb failed"},
             row{kVdxDriverIntelRst, 0x0E, with([](answers& a) { a.slot_count = 0; }), 1, 0, 0,
                 "unable to find active firmware slot"},
             row{kVdxDriverIntelRst, 0x0E, with([](answers& a) { a.send_ok = false; }), 4, 1450, 68,
                 "error executing IOCTL_SCSI_MINIPORT"},
             row{kVdxDriverIntelRst, 0x0F, with([](answers& a) { a.send_ok = false; }), 4, 1450, 137,
                 "error executing IOCTL_SCSI_MINIPORT"},
             row{kVdxDriverIntelRst, 0x0E, with([](answers& a) { a.send_code = 0x20; }), 4, 0x20, 0,
                 "SRB_IO_CONTROL return code 32 on iRST firmware download"},
             row{kVdxDriverInboxAhci, 0x0E, with([](answers& a) { a.info_ok = false; }), 4, 1450, 29,
                 "IOCTL_STORAGE_FIRMWARE_GET_INFO return code 1450"},
             row{kVdxDriverInboxAhci, 0x0E, with([](answers& a) { a.send_ok = false; }), 4, 1450, 199,
                 "error executing IOCTL_STORAGE_FIRMWARE_DOWNLOAD"},
             row{kVdxDriverInboxAhci, 0x0F, with([](answers& a) { a.send_ok = false; }), 4, 1450, 255,
                 "error executing IOCTL_STORAGE_FIRMWARE_ACTIVATE"},
         }) {
        fake::scope fake;
        vdx_dev dev = ata_disk(fake.w, r.driver, win32_release::windows_10, r.a);
        bytes image;
        vdx_ata_cmd cmd = microcode(image, 0x92, r.features);
        vdx_error error{};
        EXPECT_EQ(vdx_ata_execute(&error, &dev, &cmd), 1) << r.message;
        EXPECT_EQ(error.code, r.code) << r.message;
        EXPECT_EQ(error.subcode, r.subcode) << r.message;
        if (r.line) {
            EXPECT_EQ(error.line, r.line) << r.message;
        }
        EXPECT_STREQ(error.message, r.message);
    }
}

}  // namespace
}  // namespace enctl
