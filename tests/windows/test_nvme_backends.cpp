// A host with an NVMe drive behind each NVMe backend (the inbox driver, Intel
// RST and RSTe, the maker's driver, the Marvell NevoX bridge): each found,
// probed and reached.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "basekit/fixed_text.h"
#include "tests/support/golden.h"
#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

namespace wl = win_layout;
using bytes = std::vector<std::uint8_t>;

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
    const fake::drive drives[] = {{.number = 0, .port = 1, .target = 1}, {.number = 1, .port = 2, .target = 1},
                                  {.number = 2, .port = 3, .target = 1, .bridge = true}};
    const char* paths[] = {"\\\\?\\nvme#0", "\\\\?\\nvme#1", "\\\\?\\marvell#2"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        char physical[32], global[40];
        std::snprintf(physical, sizeof physical, "\\\\.\\PhysicalDrive%u", i);
        std::snprintf(global, sizeof global, "\\\\.\\GLOBALROOT\\Device\\004%u", i);
        w.devices[paths[i]] = w.devices[physical] = w.devices[global] = fake::storage_device(drives[i]);
    }
    w.devices["\\\\.\\Scsi2:"] = fake::storage_device({.inbox = false, .miniport = "IntelNvm"});
    w.devices["\\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60}"] = fake::storage_device({.inbox = false, .miniport = "NvmeMini"});
    // The Intel RSTe driver on port 5: one pass-through disk (id 4), no
    // volumes, no spares; its pass-through answers only for that disk id.
    w.devices["\\\\.\\Scsi5:"].answer = [](std::uint32_t code, const bytes& in, bytes& out, std::uint32_t* n) {
        if (code != wl::kIoctlScsiMiniport || fake::signature(in) != "NvmeRAID") return false;
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

// Identify Controller into `data`.
vdx_nvme_cmd identify(bytes& data) {
    data.assign(4096, 0);
    return {.opcode = 0x06, .nsid = 1, .cdw10 = 1, .cdw11 = 0, .cdw12 = 0, .cdw13 = 0, .cdw14 = 0, .cdw15 = 0,
            .completion = {}, .data = data.data(), .length = 4096, .direction = kVdxDirFromDevice, .timeout = 1500,
            .queue = 0};
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
                      r.code == wl::kIoctlScsiMiniport ? fake::signature(r.in).c_str() : "-",
                      r.code == wl::kIoctlStorageProtocolCommand ? wl::get32(r.in, 84) : 0u);
        seen += line;
        vdx_dev_close(&error, &dev);
    }
    // The bridge's disks go as the vendor command C2h to the bridge, addressed
    // by their id; the Identify travels in dword 14.
    testing::expect_golden(seen, "windows/golden/nvme_host.txt");
    vdx_dev_release(&list);
}

}  // namespace
}  // namespace enctl
