// The NVMe backends of the Intel RST and RSTe drivers, the maker's driver and
// the Marvell NevoX bridge: a host with a drive behind each, found, probed and
// reached; the request layouts byte for byte; results and failures. Of the
// inbox driver, the firmware and temperature requests and the failure of each
// of its requests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "basekit/fixed_text.h"
#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

namespace wl = win_layout;
using bytes = std::vector<std::uint8_t>;

// One field of a request: offset, width in bytes (1, 2, 4 or 8), value.
struct field {
    std::size_t at;
    int width;
    std::uint64_t value;
};

void expect_fields(const bytes& b, std::initializer_list<field> fields) {
    for (const field& f : fields) {
        ASSERT_LE(f.at + f.width, b.size()) << "offset " << f.at;
        std::uint64_t v = 0;
        for (int i = f.width - 1; i >= 0; --i) v = (v << 8) | b[f.at + i];
        EXPECT_EQ(v, f.value) << "offset " << f.at;
    }
}

std::string signature(const bytes& b) { return b.size() >= 12 ? std::string(b.begin() + 4, b.begin() + 12) : ""; }

// The data offset of the miniport pass-through a request carries.
std::size_t miniport_data(const bytes& in) { return signature(in) == "IntelNvm" ? 164 : 152; }

// An NVMe drive as the drivers in front of it answer. `inbox`: the storage
// stack's requests (device number, descriptor, SCSI address on `port`,
// property queries, protocol commands); `miniport`: the pass-through whose
// signature it takes; a bridge answers its adapter and disk queries with
// disks 3 and 7.
struct drive {
    std::uint32_t number = 0;
    std::uint8_t port = 0;
    bool inbox = true;
    std::string miniport;
    bool bridge = false;
};

fake::device nvme_drive(drive d) {
    fake::device dev;
    dev.answer = [d](std::uint32_t code, const bytes& in, bytes& out, std::uint32_t* n) {
        *n = static_cast<std::uint32_t>(out.size());
        switch (code) {
            case wl::kIoctlStorageGetDeviceNumber:
                if (!d.inbox) return false;
                out[4] = static_cast<std::uint8_t>(d.number);
                return true;
            case wl::kIoctlStorageQueryProperty:
                if (!d.inbox) return false;
                if (in.size() == 12) {
                    out[4] = 40;
                    *n = 40;
                } else {
                    std::fill(out.begin() + 48, out.end(), 0x11);
                }
                return true;
            case wl::kIoctlScsiGetAddress:
                if (!d.inbox) return false;
                out[4] = d.port, out[5] = 0, out[6] = 1;
                return true;
            case wl::kIoctlStorageProtocolCommand: {
                if (!d.inbox) return false;
                wl::put32(out, 16, 1);  // ReturnStatus: success
                const std::uint32_t opcode = wl::get32(in, 80), what = wl::get32(in, 80 + 48);
                if (d.bridge && opcode == 0xE2 && what == 0xE0) out[208 + 36] = 2;
                if (d.bridge && opcode == 0xE2 && what == 0xE1) out[208 + 104] = wl::get32(in, 80 + 52) ? 7 : 3;
                return true;
            }
            case wl::kIoctlScsiMiniport:
                if (d.miniport.empty() || signature(in) != d.miniport) return false;
                std::fill(out.begin() + miniport_data(in), out.end(), 0x22);
                return true;
        }
        return false;
    };
    return dev;
}

// A host with an NVMe drive behind each driver: the inbox driver (disk0), the
// Intel RST driver on port 2 (disk1), a Marvell NevoX bridge with two disks
// (disk2), the maker's driver on a controller without a disk of its own, and
// a pass-through disk of the Intel RSTe driver on port 5.
void nvme_host(fake::world& w) {
    const std::string hdc = fake::guid_text(kGuidDevclassHdc), scsi = fake::guid_text(kGuidDevclassScsiAdapter),
                      disk = fake::guid_text(kGuidDevclassDiskDrive);
    w.nodes = {
        {"ACPI\\PNP0A08\\0", "", "", "System", "", "", 0xFFFFFFFFu},
        {"PCI\\VEN_144D&DEV_A808\\4&1&0", "ACPI\\PNP0A08\\0", scsi, "SCSIAdapter", "Standard NVM Express Controller", "",
         0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_NVME\\5&1&0", "PCI\\VEN_144D&DEV_A808\\4&1&0", disk, "DiskDrive", "", "\\Device\\0040",
         0xFFFFFFFFu},
        {"PCI\\VEN_8086&DEV_09AB\\4&2&0", "ACPI\\PNP0A08\\0", hdc, "HDC", "Intel RST VMD Controller 9A0B", "",
         0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_NVME\\5&2&0", "PCI\\VEN_8086&DEV_09AB\\4&2&0", disk, "DiskDrive", "", "\\Device\\0041",
         0xFFFFFFFFu},
        {"PCI\\VEN_1B4B&DEV_2241\\4&3&0", "ACPI\\PNP0A08\\0", scsi, "SCSIAdapter", "Standard NVM Express Controller", "",
         0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_MARVELL\\5&3&0", "PCI\\VEN_1B4B&DEV_2241\\4&3&0", disk, "DiskDrive", "", "\\Device\\0042",
         0xFFFFFFFFu},
        {"PCI\\VEN_1C5F&DEV_0555\\4&5&0", "ACPI\\PNP0A08\\0", scsi, "SCSIAdapter", "ZM Veloxaris SN100", "", 0xFFFFFFFFu},
    };
    w.interfaces[fake::guid_text(kGuidDevinterfaceDisk)] = {{"\\\\?\\nvme#0", "SCSI\\DISK&VEN_NVME\\5&1&0"},
                                                            {"\\\\?\\nvme#1", "SCSI\\DISK&VEN_NVME\\5&2&0"},
                                                            {"\\\\?\\marvell#2", "SCSI\\DISK&VEN_MARVELL\\5&3&0"}};
    w.interfaces[fake::guid_text(kGuidDevinterfaceStoragePort)] = {
        {"\\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60}", "PCI\\VEN_1C5F&DEV_0555\\4&5&0"}};
    const drive drives[] = {{0, 1, true, "", false}, {1, 2, true, "", false}, {2, 3, true, "", true}};
    const char* paths[] = {"\\\\?\\nvme#0", "\\\\?\\nvme#1", "\\\\?\\marvell#2"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        char physical[32], global[40];
        std::snprintf(physical, sizeof physical, "\\\\.\\PhysicalDrive%u", i);
        std::snprintf(global, sizeof global, "\\\\.\\GLOBALROOT\\Device\\004%u", i);
        w.devices[paths[i]] = w.devices[physical] = w.devices[global] = nvme_drive(drives[i]);
    }
    w.devices["\\\\.\\Scsi2:"] = nvme_drive({0, 2, false, "IntelNvm", false});
    w.devices["\\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60}"] = nvme_drive({9, 4, false, "NvmeMini", false});
    // The Intel RSTe driver on port 5: one pass-through disk (id 4), no
    // volumes, no spares; its pass-through answers only for that disk id.
    w.devices["\\\\.\\Scsi5:"].answer = [](std::uint32_t code, const bytes& in, bytes& out, std::uint32_t* n) {
        if (code != wl::kIoctlScsiMiniport || signature(in) != "NvmeRAID") return false;
        *n = static_cast<std::uint32_t>(out.size());
        switch (wl::get32(in, 16)) {
            case wl::kRstePassthroughCount:
                wl::put32(out, 28, 1);
                return true;
            case wl::kRstePassthroughInfo:
                wl::put32(out, 32, 4);
                return true;
            case wl::kNvmeMiniControlCode:
                if (wl::get32(in, wl::kSrbReturnCode) != 4) return false;
                std::fill(out.begin() + 152, out.end(), 0x33);
                return true;
        }
        return true;
    };
}

vdx_nvme_cmd identify(bytes& data) {
    data.assign(4096, 0);
    vdx_nvme_cmd cmd{};
    cmd.opcode = 0x06;
    cmd.nsid = 1;
    cmd.cdw10 = 1;
    cmd.data = data.data();
    cmd.length = 4096;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 1500;
    return cmd;
}

// Every record of the host probed, then asked Identify Controller: its
// interface, and where and how the request went.
TEST(WindowsNvmeBackends, EachDriversDriveIsFoundProbedAndReached) {
    fake::scope fake;
    nvme_host(fake.w);
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list,
                            kVdxEnumDisks | kVdxEnumIdeControllers | kVdxEnumScsiControllers | kVdxEnumIntelRste);
    std::string seen;
    for (vdx_dev& dev : list.view()) {
        vdx_error error{};
        const int probed = vdx_dev_probe(&error, &dev);
        bytes data;
        vdx_nvme_cmd cmd = identify(data);
        fake.w.requests.clear();
        const int executed = vdx_nvme_execute(&error, &dev, &cmd);
        const fake::request& r = fake.w.requests.back();
        char line[512];
        std::snprintf(line, sizeof line, "%s probe=%d interface=%u execute=%d data=%02x -> %s %06X %s nsid=%u\n",
                      dev.name, probed, dev.interface, executed, data[0], r.path.c_str(), r.code,
                      r.code == wl::kIoctlScsiMiniport ? signature(r.in).c_str() : "-",
                      r.code == wl::kIoctlStorageProtocolCommand ? wl::get32(r.in, 84) : 0u);
        seen += line;
        vdx_dev_close(&error, &dev);
    }
    // The bridge's disks go as the vendor command C2h to the bridge, addressed
    // by their id; the Identify travels in dword 14.
    EXPECT_EQ(seen,
              "disk0 probe=0 interface=5 execute=0 data=11 -> \\\\?\\nvme#0 2D1400 - nsid=0\n"
              "disk1 probe=0 interface=6 execute=0 data=22 -> \\\\.\\Scsi2: 04D008 IntelNvm nsid=0\n"
              "disk2 probe=0 interface=5 execute=0 data=11 -> \\\\?\\marvell#2 2D1400 - nsid=0\n"
              "disk2.pd3 probe=0 interface=17 execute=0 data=00 -> \\\\?\\marvell#2 2DD3C0 - nsid=3\n"
              "disk2.pd7 probe=0 interface=17 execute=0 data=00 -> \\\\?\\marvell#2 2DD3C0 - nsid=7\n"
              "nvme0 probe=0 interface=8 execute=0 data=22 -> \\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60} 04D008 "
              "NvmeMini nsid=0\n"
              "rstep5.4.0 probe=0 interface=7 execute=0 data=33 -> \\\\.\\Scsi5: 04D008 NvmeRAID nsid=0\n");
    vdx_dev_release(&list);
}

// A device at `path` answered by `answer`, opened.
vdx_dev open_device(fake::world& w, const char* path, fake::answer_fn answer, std::uint32_t interface,
                    std::uint32_t connection = kVdxConnectionStorage, std::uint32_t driver = 0) {
    w.devices[path].answer = std::move(answer);
    vdx_dev dev;
    std::strcpy(dev.name, "nvmeX");
    std::strcpy(dev.device_path, path);
    std::strcpy(dev.second_path, path);
    dev.interface = interface;
    dev.connection = connection;
    dev.connection_driver = driver;
    dev.backend = &vdx_windows_backend();
    dev.scsi_address = {8, 2, 4, 5, 6};
    vdx_error error{};
    EXPECT_EQ(vdx_windows_dev_open(&error, &dev), 0);
    return dev;
}

vdx_nvme_cmd command(bytes& data, std::uint32_t opcode, std::uint32_t direction, std::uint32_t timeout) {
    vdx_nvme_cmd cmd{};
    cmd.opcode = opcode;
    cmd.nsid = 0x0A0B0C0D;
    cmd.cdw10 = 0x10;
    cmd.cdw11 = 0x11;
    cmd.cdw15 = 0x15;
    cmd.data = data.empty() ? nullptr : data.data();
    cmd.length = static_cast<std::uint32_t>(data.size());
    cmd.direction = direction;
    cmd.timeout = timeout;
    return cmd;
}

TEST(WindowsNvmeBackends, IntelRstPassThrough) {
    fake::scope fake;
    bool ok = true;
    vdx_dev dev = open_device(
        fake.w, "\\\\.\\Scsi2:",
        [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
            for (std::size_t i = 0; i < 16; ++i) out[97 + i] = static_cast<std::uint8_t>(0xA0 + i);
            if (out.size() > 164) out[164] = 0x5C;
            return ok;
        },
        kVdxInterfaceNvmeIntelRst, kVdxConnectionStorage, kVdxDriverIntelRst);
    bytes data(8, 0);
    vdx_nvme_cmd cmd = command(data, 0xC1, kVdxDirFromDevice, 1500);
    vdx_error error{};
    ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0);
    const fake::request& r = fake.w.requests.back();
    EXPECT_EQ(r.code, wl::kIoctlScsiMiniport);
    EXPECT_EQ(signature(r.in), "IntelNvm");
    ASSERT_EQ(r.in.size(), 172u);
    expect_fields(r.in, {{0, 4, 28}, {12, 4, 1}, {16, 4, 0xF0002808}, {24, 4, 172 - 28}, {28, 1, 1}, {29, 1, 4},
                         {30, 1, 5}, {31, 1, 6}, {32, 4, 0xC1}, {36, 4, 0x0A0B0C0D}, {72, 4, 0x10}, {76, 4, 0x11},
                         {92, 4, 0x15}, {96, 1, 0}, {116, 4, 164}, {120, 4, 8}});
    EXPECT_EQ(cmd.completion[0], 0xA3A2A1A0u);
    EXPECT_EQ(cmd.completion[3], 0xAFAEADACu);
    EXPECT_EQ(data[0], 0x5C);

    // Opcode E4h goes as a zeroed 4096-byte block to the device.
    cmd = command(data, 0xE4, kVdxDirFromDevice, 90000);
    std::fill(data.begin(), data.end(), 0xEE);
    ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0);
    const fake::request& e4 = fake.w.requests.back();
    ASSERT_EQ(e4.in.size(), 164u + 4096);
    expect_fields(e4.in, {{12, 4, 90}, {120, 4, 4096}, {164, 8, 0}});
    EXPECT_EQ(cmd.data, nullptr);
    EXPECT_EQ(cmd.length, 0u);
    EXPECT_EQ(data[0], 0xEE);

    ok = false;
    fake.w.error = 1117;
    cmd = command(data, 0xC1, kVdxDirFromDevice, 1500);
    EXPECT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
    EXPECT_EQ(error.subcode, 1117u);
    EXPECT_STREQ(error.message, "error executing scsi miniport rst DeviceIoControl");
}

// Firmware Image Download and Commit as miniport firmware requests (time-out
// cut to seconds), Set Features 04h as the temperature threshold request; a
// failing call of each inbox request is error 4 with the system's error.
TEST(WindowsNvmeBackends, InboxFirmwareTemperatureAndFailures) {
    fake::scope fake;
    bool ok = true;
    vdx_dev dev = open_device(
        fake.w, "\\\\.\\PhysicalDrive0",
        [&](std::uint32_t code, const bytes&, bytes& out, std::uint32_t*) {
            if (code == wl::kIoctlStorageProtocolCommand) wl::put32(out, 16, 1);  // ReturnStatus: success
            return ok;
        },
        kVdxInterfaceNvme);
    struct row {
        std::uint32_t opcode, cdw10, cdw11, length, timeout, code;
        std::size_t size;
        std::initializer_list<field> fields;
        const char* failure;
    };
    const row rows[] = {
        {0x11, 0, 0x100, 16, 1500, wl::kIoctlScsiMiniport, 96,
         {{0, 4, 28}, {12, 4, 1}, {16, 4, 0x1B0780}, {24, 4, 96 - 28}, {28, 4, 1}, {32, 4, 24}, {36, 4, 2},
          {40, 4, 1}, {44, 4, 56}, {48, 4, 96 - 56}, {56, 4, 1}, {60, 4, 24}, {64, 8, 0x400}, {72, 8, 16},
          {80, 1, 0x5A}},
         "error executing scsi miniport protocol DeviceIoControl"},
        {0x10, 0x0A, 0, 0, 90000, wl::kIoctlScsiMiniport, 68,
         {{12, 4, 90}, {24, 4, 40}, {36, 4, 3}, {40, 4, 1}, {48, 4, 12}, {56, 4, 1}, {60, 4, 12}, {64, 1, 2}},
         "error executing scsi miniport protocol DeviceIoControl"},
        // 70 C over-temperature threshold of sensor 1; -10 C under-temperature
        // threshold of sensor 2.
        {0x09, 0x04, 0x00010000 | 343, 0, 500, wl::kIoctlStorageSetTemperatureThreshold, 16,
         {{0, 4, 16}, {4, 4, 16}, {8, 2, 1}, {10, 2, 1}, {12, 2, 70}, {14, 1, 1}, {15, 1, 0}},
         "error executing storage temperature threshold DeviceIoControl"},
        {0x09, 0x04, 0x00120000 | 263, 0, 500, wl::kIoctlStorageSetTemperatureThreshold, 16,
         {{10, 2, 2}, {12, 2, 0xFFF6}, {14, 1, 0}},
         "error executing storage temperature threshold DeviceIoControl"},
        {0x06, 1, 0, 4096, 500, wl::kIoctlStorageQueryProperty, 48, {},
         "error executing storage query property DeviceIoControl"},
        {0xC1, 0, 0, 0, 500, wl::kIoctlStorageProtocolCommand, 208, {},
         "error executing storage protocol DeviceIoControl"},
    };
    for (const row& r : rows) {
        bytes data(r.length, 0x5A);
        vdx_nvme_cmd cmd = command(data, r.opcode, r.length ? kVdxDirToDevice : kVdxDirNone, r.timeout);
        cmd.cdw10 = r.cdw10;
        cmd.cdw11 = r.cdw11;
        vdx_error error{};
        ok = true;
        ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0) << r.failure;
        const fake::request& q = fake.w.requests.back();
        EXPECT_EQ(q.code, r.code) << r.opcode;
        EXPECT_EQ(q.in.size(), r.size) << r.opcode;
        expect_fields(q.in, r.fields);
        ok = false;
        fake.w.error = 1117;
        EXPECT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 1);
        EXPECT_EQ(std::tuple(error.code, error.subcode, std::string(error.message)),
                  std::tuple(kErrOsRequest, 1117u, std::string(r.failure)));
    }
}

// Security Receive, Flush and Format NVM leave the RST port for the inbox
// paths of the disk itself.
TEST(WindowsNvmeBackends, IntelRstReroutesToTheInboxPaths) {
    fake::scope fake;
    fake.w.devices["\\\\.\\Scsi2:"].answer = [](std::uint32_t, const bytes&, bytes&, std::uint32_t*) { return true; };
    vdx_dev dev = open_device(
        fake.w, "\\\\.\\PhysicalDrive1",
        [](std::uint32_t code, const bytes&, bytes& out, std::uint32_t*) {
            if (code == wl::kIoctlStorageProtocolCommand) wl::put32(out, 16, 1);
            return true;
        },
        kVdxInterfaceNvmeIntelRst);
    dev.connection_driver = kVdxDriverIntelRst;
    std::strcpy(dev.second_path, "\\\\.\\Scsi2:");
    vdx_error error{};
    ASSERT_EQ(vdx_windows_dev_open(&error, &dev), 0);
    struct row {
        std::uint32_t opcode, queue, code;
        std::uint8_t cdb0;  // first byte of the SCSI translation
    };
    for (const row& r : {row{0x82, 0, wl::kIoctlScsiPassThrough, 0xA2}, row{0x00, 1, wl::kIoctlScsiPassThrough, 0x35},
                         row{0x80, 0, wl::kIoctlStorageProtocolCommand, 0},
                         row{0x80, 1, wl::kIoctlScsiMiniport, 0}}) {
        bytes data(16, 0);
        vdx_nvme_cmd cmd = command(data, r.opcode, kVdxDirFromDevice, 500);
        cmd.queue = r.queue;
        ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0) << r.opcode;
        const fake::request& q = fake.w.requests.back();
        EXPECT_EQ(q.code, r.code) << r.opcode << "/" << r.queue;
        EXPECT_EQ(q.path, r.code == wl::kIoctlScsiMiniport ? "\\\\.\\Scsi2:" : "\\\\.\\PhysicalDrive1");
        if (r.cdb0) {
            EXPECT_EQ(q.in[36], r.cdb0);
        }
    }
}

// Firmware Commit and Image Download as Intel firmware requests; the driver's
// return code 20h (activation after a reset) passes only for the commit.
TEST(WindowsNvmeBackends, IntelRstFirmwareRequests) {
    fake::scope fake;
    std::uint32_t return_code = 0;
    vdx_dev dev = open_device(
        fake.w, "\\\\.\\Scsi2:",
        [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
            wl::put32(out, 20, return_code);
            return true;
        },
        kVdxInterfaceNvmeIntelRst, kVdxConnectionStorage, kVdxDriverIntelRst);
    bytes image(16, 0x5A);
    vdx_nvme_cmd download = command(image, 0x11, kVdxDirToDevice, 1500);
    download.cdw11 = 0x100;
    vdx_error error{};
    ASSERT_EQ(vdx_nvme_execute(&error, &dev, &download), 0);
    const fake::request& d = fake.w.requests.back();
    EXPECT_EQ(signature(d.in), "IntelFw ");
    ASSERT_EQ(d.in.size(), 88u + 16);
    expect_fields(d.in, {{12, 4, 1}, {16, 4, 0xF0000040}, {24, 4, 104 - 28}, {28, 1, 1}, {29, 1, 4}, {30, 1, 5},
                         {31, 1, 6}, {32, 4, 1}, {36, 4, 24}, {40, 4, 2}, {44, 4, 1}, {48, 4, 56}, {52, 4, 104 - 56},
                         {56, 4, 2}, {60, 4, 32}, {64, 8, 0x400}, {72, 8, 16}, {80, 1, 0xFF}, {88, 1, 0x5A}});
    bytes none;
    vdx_nvme_cmd commit = command(none, 0x10, kVdxDirNone, 30000);
    commit.cdw10 = 0x0A;  // slot 2, action 1
    ASSERT_EQ(vdx_nvme_execute(&error, &dev, &commit), 0);
    const fake::request& a = fake.w.requests.back();
    ASSERT_EQ(a.in.size(), 68u);
    expect_fields(a.in, {{12, 4, 30}, {40, 4, 3}, {52, 4, 12}, {56, 4, 1}, {60, 4, 12}, {64, 1, 2}});

    struct row {
        std::uint32_t return_code;
        bool activate;
        int result;
        const char* message;
    };
    for (const row& r : {row{0x20, true, 0, ""}, row{0x20, false, 1, "SRB_IO_CONTROL return code 32 on iRST firmware download"},
                         row{1, true, 1, "SRB_IO_CONTROL return code 1 on iRST firmware activate"}}) {
        return_code = r.return_code;
        vdx_error e{};
        EXPECT_EQ(vdx_nvme_execute(&e, &dev, r.activate ? &commit : &download), r.result) << r.message;
        if (r.result) {
            EXPECT_EQ(e.code, kErrOsRequest);
            EXPECT_EQ(e.subcode, r.return_code);
            EXPECT_STREQ(e.message, r.message);
        }
    }
    fake.w.devices["\\\\.\\Scsi2:"].answer = nullptr;
    EXPECT_EQ(vdx_nvme_execute(&error, &dev, &commit), 1);
    EXPECT_STREQ(error.message, "error executing firmware activate DeviceIoControl");
}

// The NVMe miniport pass-through of Intel RSTe and of the maker's driver.
TEST(WindowsNvmeBackends, MiniportPassThroughOfRsteAndTheMakersDriver) {
    fake::scope fake;
    std::uint32_t return_code = 0;
    bool ok = true;
    const auto answer = [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        wl::put32(out, 20, return_code);
        wl::put32(out, 52, 0xD0D0);       // dword 0 as the maker's driver answers it
        for (std::size_t i = 0; i < 4; ++i) wl::put32(out, 116 + 4 * i, 0xC0 + i);
        wl::put32(out, 140, 4);           // data length the RSTe driver returns
        std::fill(out.begin() + 152, out.end(), 0x77);
        return ok;
    };
    vdx_dev rste = open_device(fake.w, "\\\\.\\Scsi3:", answer, kVdxInterfaceNvmeIntelRste, kVdxConnectionIntelRste);
    vdx_windows_state_of(rste).rste_disk_id = 0x42;
    vdx_dev zm = open_device(fake.w, "\\\\?\\pci#zm", answer, kVdxInterfaceNvmeZmIuo);

    struct row {
        vdx_dev* dev;
        std::uint32_t direction;
        const char* signature;
        std::initializer_list<field> fields;
        std::uint32_t completion0, completion3;
        std::uint8_t data0, data4;  // what the command's buffer holds afterwards
    };
    // RSTe: time-out in seconds, the disk id in the return code, the data
    // length both ways, the driver's data length copied back.
    // Maker's driver: no time-out, the data length only towards the device.
    for (const row& r : {
             row{&rste, kVdxDirFromDevice, "NvmeRAID",
                 {{12, 4, 1}, {16, 4, 0xE0002000}, {20, 4, 0x42}, {24, 4, 160 - 28}, {52, 4, 0xC5}, {56, 4, 0x0A0B0C0D},
                  {92, 4, 0x10}, {112, 4, 0x15}, {132, 4, 2}, {136, 4, 1}, {140, 4, 8}, {148, 4, 160}, {152, 1, 0x01}},
                 0xC0, 0xC3, 0x77, 0x05},
             row{&zm, kVdxDirFromDevice, "NvmeMini",
                 {{12, 4, 0}, {16, 4, 0xE0002000}, {20, 4, 0}, {52, 4, 0xC5}, {132, 4, 2}, {136, 4, 1}, {140, 4, 0},
                  {148, 4, 160}, {152, 1, 0x00}},
                 0xD0D0, 0xC3, 0x77, 0x77},
             row{&zm, kVdxDirToDevice, "NvmeMini", {{132, 4, 1}, {140, 4, 8}, {152, 1, 0x01}}, 0xD0D0, 0xC3, 0x01, 0x05},
         }) {
        bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
        vdx_nvme_cmd cmd = command(data, 0xC5, r.direction, 1500);
        cmd.queue = 1;
        vdx_error error{};
        ASSERT_EQ(vdx_nvme_execute(&error, r.dev, &cmd), 0) << r.signature;
        const fake::request& q = fake.w.requests.back();
        EXPECT_EQ(q.code, wl::kIoctlScsiMiniport);
        EXPECT_EQ(signature(q.in), r.signature);
        ASSERT_EQ(q.in.size(), 160u);
        expect_fields(q.in, r.fields);
        EXPECT_EQ(cmd.completion[0], r.completion0) << r.signature;
        EXPECT_EQ(cmd.completion[3], r.completion3);
        EXPECT_EQ(data[0], r.data0) << r.signature << " " << r.direction;
        EXPECT_EQ(data[4], r.data4) << r.signature << " " << r.direction;
    }

    // Failures: the call (both), the driver's return code (maker's driver).
    struct failure {
        vdx_dev* dev;
        bool call_ok;
        std::uint32_t return_code, subcode;
        const char* message;
    };
    fake.w.error = 21;
    for (const failure& f : {failure{&rste, false, 0, 21, "error executing rste passthrough DeviceIoControl"},
                             failure{&zm, false, 0, 21, "error executing scsi miniport DeviceIoControl"},
                             failure{&zm, true, 0x1F, 0x1F, "NVMe passthrough return code 1fh"}}) {
        ok = f.call_ok;
        return_code = f.return_code;
        bytes data(8, 0);
        vdx_nvme_cmd cmd = command(data, 0xC5, kVdxDirFromDevice, 1500);
        vdx_error error{};
        EXPECT_EQ(vdx_nvme_execute(&error, f.dev, &cmd), 1);
        EXPECT_EQ(error.code, kErrOsRequest);
        EXPECT_EQ(error.subcode, f.subcode);
        EXPECT_STREQ(error.message, f.message);
    }
}

// A bridge disk's command is wrapped for the driver the bridge sits behind.
TEST(WindowsNvmeBackends, MarvellWrapsForTheDriverInFront) {
    struct row {
        std::uint32_t driver, direction, code, opcode;
        std::size_t command;  // offset of the NVMe command in the request
        const char* path;
    };
    for (const row& r : {row{kVdxDriverInboxNvme, kVdxDirFromDevice, wl::kIoctlStorageProtocolCommand, 0xC2, 80, "\\\\.\\PhysicalDrive6"},
                         row{kVdxDriverIntelRst, kVdxDirToDevice, wl::kIoctlScsiMiniport, 0xC3, 32, "\\\\.\\Scsi2:"},
                         row{kVdxDriverIntelRste, kVdxDirNone, wl::kIoctlScsiMiniport, 0xC3, 52, "\\\\.\\PhysicalDrive6"}}) {
        fake::scope fake;
        fake.w.devices["\\\\.\\Scsi2:"].answer = fake.w.devices["\\\\.\\PhysicalDrive6"].answer =
            [](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
                wl::put32(out, 16, 1);
                return true;
            };
        vdx_dev dev;
        std::strcpy(dev.device_path, "\\\\.\\PhysicalDrive6");
        std::strcpy(dev.second_path, "\\\\.\\Scsi2:");
        dev.interface = kVdxInterfaceMarvellNevox;
        dev.connection = kVdxConnectionStorage;
        dev.connection_driver = r.driver;
        dev.backend = &vdx_windows_backend();
        vdx_windows_state_of(dev).marvell_disk_id = 0x0107;
        vdx_error error{};
        ASSERT_EQ(vdx_dev_open(&error, &dev), 0);
        bytes data(8, 0);
        vdx_nvme_cmd cmd = command(data, 0x06, r.direction, 500);
        ASSERT_EQ(vdx_nvme_execute(&error, &dev, &cmd), 0) << r.driver;
        const fake::request& q = fake.w.requests.back();
        EXPECT_EQ(q.code, r.code);
        EXPECT_EQ(q.path, r.path);
        expect_fields(q.in, {{r.command, 4, r.opcode}, {r.command + 4, 4, 0x0107}, {r.command + 40, 4, 0x10},
                             {r.command + 56, 4, 0x06}, {r.command + 60, 4, 0x0A0B0C0D}});
    }
}

}  // namespace
}  // namespace enctl
