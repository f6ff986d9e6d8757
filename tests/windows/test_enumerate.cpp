// Windows enumeration through the seam: enclosure processors, disks and
// controllers, the probe of a record, opening one, and the driver kind of a
// controller description.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "basekit/fixed_text.h"
#include "tests/support/golden.h"
#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

using bytes = std::vector<std::uint8_t>;

// Three enclosure processors, one without a SCSI address (removed again),
// and an interface whose device does not open.
void enclosure_processors(fake::world& w) {
    w.interfaces[fake::guid_text(kGuidDevinterfaceSes)] = {
        {"\\\\?\\ses#a", "SES\\A"}, {"\\\\?\\ses#b", "SES\\B"}, {"\\\\?\\ses#c", "SES\\C"}, {"\\\\?\\ses#gone", "SES\\D"}};
    w.devices["\\\\?\\ses#a"] = fake::storage_device({.port = 1, .path = 4, .target = 64});
    w.devices["\\\\?\\ses#b"] = fake::storage_device({.address = false});
    w.devices["\\\\?\\ses#c"] = fake::storage_device({.port = 2, .target = 5});
}

// A host with a SATA disk under an AHCI controller behind a system bridge on
// bus 2, a SAS disk under an HBA behind the maker's own switch (never taken as
// the bus) on bus 7, an NVMe drive under the ACPI root (bus 0), and an NVMe
// controller of the maker's driver with no disk of its own; in the IDE/ATA
// class an NVMe controller without a disk, and a storage port of a controller
// that is not on PCI.
void small_tree(fake::world& w) {
    const std::string hdc = fake::guid_text(kGuidDevclassHdc), scsi = fake::guid_text(kGuidDevclassScsiAdapter),
                      disk = fake::guid_text(kGuidDevclassDiskDrive);
    w.nodes = {
        {"PCI\\VEN_8086&DEV_1901\\3&1&08", "", "", "System", "", "", 2},
        {"PCI\\VEN_8086&DEV_A102\\3&1&B8", "PCI\\VEN_8086&DEV_1901\\3&1&08", hdc, "HDC",
         "Standard SATA AHCI Controller", "", 0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_ATA\\4&1&0", "PCI\\VEN_8086&DEV_A102\\3&1&B8", disk, "DiskDrive", "", "\\Device\\0031", 0xFFFFFFFFu},
        {"PCI\\VEN_8086&DEV_2030\\3&1&10", "", "", "System", "", "", 7},
        {"PCI\\VEN_1000&DEV_C010\\4&2&0", "PCI\\VEN_8086&DEV_2030\\3&1&10", "", "System", "", "", 9},
        {"PCI\\VEN_1000&DEV_0097\\5&3&0", "PCI\\VEN_1000&DEV_C010\\4&2&0", scsi, "SCSIAdapter",
         "Vendor SAS3 HBA", "", 0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_SEAGATE\\6&4&0", "PCI\\VEN_1000&DEV_0097\\5&3&0", disk, "DiskDrive", "", "\\Device\\0032", 0xFFFFFFFFu},
        {"ACPI\\PNP0A08\\0", "", "", "System", "", "", 0xFFFFFFFFu},
        {"PCI\\VEN_144D&DEV_A808\\4&3&0", "ACPI\\PNP0A08\\0", scsi, "SCSIAdapter",
         "Standard NVM Express Controller", "", 0xFFFFFFFFu},
        {"SCSI\\DISK&VEN_NVME\\5&4&0", "PCI\\VEN_144D&DEV_A808\\4&3&0", disk, "DiskDrive", "", "\\Device\\0033", 0xFFFFFFFFu},
        {"PCI\\VEN_1C5F&DEV_0555\\4&5&0", "ACPI\\PNP0A08\\0", scsi, "SCSIAdapter", "ZM Veloxaris SN100", "", 0xFFFFFFFFu},
        {"PCI\\VEN_1022&DEV_7901\\4&6&0", "ACPI\\PNP0A08\\0", hdc, "HDC", "Standard NVM Express Controller", "",
         0xFFFFFFFFu},
        {"ROOT\\VMBUS\\0000", "", hdc, "HDC", "Standard NVM Express Controller", "", 0xFFFFFFFFu},
    };
    w.interfaces[fake::guid_text(kGuidDevinterfaceDisk)] = {{"\\\\?\\scsi#disk&ven_ata#1", "SCSI\\DISK&VEN_ATA\\4&1&0"},
                                                            {"\\\\?\\scsi#disk&ven_seagate#2", "SCSI\\DISK&VEN_SEAGATE\\6&4&0"},
                                                            {"\\\\?\\scsi#disk&ven_nvme#3", "SCSI\\DISK&VEN_NVME\\5&4&0"}};
    w.interfaces[fake::guid_text(kGuidDevinterfaceStoragePort)] = {
        {"\\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60}", "PCI\\VEN_1C5F&DEV_0555\\4&5&0"},
        {"\\\\?\\pci#ven_1022&dev_7901#4&6&0#{2accfe60}", "PCI\\VEN_1022&DEV_7901\\4&6&0"},
        {"\\\\?\\root#vmbus#0000#{2accfe60}", "ROOT\\VMBUS\\0000"}};
    w.devices["\\\\?\\scsi#disk&ven_ata#1"] = w.devices["\\\\.\\PhysicalDrive3"] =
        w.devices["\\\\.\\GLOBALROOT\\Device\\0031"] = fake::storage_device({.number = 3, .port = 1});
    w.devices["\\\\?\\scsi#disk&ven_seagate#2"] = w.devices["\\\\.\\PhysicalDrive5"] =
        w.devices["\\\\.\\GLOBALROOT\\Device\\0032"] = fake::storage_device({.number = 5, .port = 2});
    w.devices["\\\\?\\scsi#disk&ven_nvme#3"] = w.devices["\\\\.\\PhysicalDrive0"] =
        w.devices["\\\\.\\GLOBALROOT\\Device\\0033"] = fake::storage_device({.number = 0, .port = 3});
    for (const char* port : {"\\\\?\\pci#ven_1c5f&dev_0555#4&5&0#{2accfe60}",
                             "\\\\?\\pci#ven_1022&dev_7901#4&6&0#{2accfe60}", "\\\\?\\root#vmbus#0000#{2accfe60}"})
        w.devices[port] = fake::storage_device({.number = 9, .port = 4});
}

// Enclosure processors named by their SCSI address; disks with their driver
// kind and PCI bus; controllers naming their drives, each class numbering
// its bare NVMe controllers from nvme0 (only PCI ones count).
TEST(WindowsEnumerate, RecordsOfEachKind) {
    struct section {
        const char* name;
        void (*host)(fake::world&);
        std::uint32_t flags;
    };
    std::string transcript;
    for (const section& s : {section{"enclosure processors", enclosure_processors, kVdxEnumSes},
                             section{"disks", small_tree, kVdxEnumDisks},
                             section{"controllers", small_tree, kVdxEnumIdeControllers | kVdxEnumScsiControllers}}) {
        fake::scope fake;
        s.host(fake.w);
        vdx_dev_list list;
        vdx_dev_enumerate_flags(&list, s.flags);
        transcript += std::string("## ") + s.name + "\n" + fake::records(list);
        // The port of the SCSI address is the bus number discovery asks for.
        if (s.flags & kVdxEnumScsiControllers) {
            EXPECT_EQ(vdx_dev_bus_number(list[2]), 2);
        }
        vdx_dev_release(&list);
    }
    testing::expect_golden(transcript, "windows/golden/enumerate.txt");
}

// Which requests a probe sends, in order, and which interface it settles on,
// for devices that answer NVMe, ATA, SCSI-ATA translation or plain SCSI.
TEST(WindowsEnumerate, ProbeOrderOnWindowsRecords) {
    namespace wl = win_layout;
    struct row {
        std::vector<std::uint32_t> answered;  // control codes that succeed
        bool sat;                             // pass-through answers ATA PASS-THROUGH
        std::uint32_t interface;
        std::size_t requests;
    };
    for (const row& r : {row{{wl::kIoctlStorageQueryProperty}, false, kVdxInterfaceNvme, 3},
                         row{{wl::kIoctlAtaPassThrough}, false, kVdxInterfaceAta, 4},
                         row{{wl::kIoctlScsiPassThrough}, true, kVdxInterfaceScsiSatAta, 5},
                         row{{wl::kIoctlScsiPassThrough}, false, kVdxInterfaceScsi, 6},
                         row{{}, false, kVdxInterfaceUnknown, 6}}) {
        fake::scope fake;
        fake.w.devices["\\\\.\\PhysicalDrive1"].answer = [&](std::uint32_t code, const bytes& in, bytes& out,
                                                                    std::uint32_t* n) {
            if (std::find(r.answered.begin(), r.answered.end(), code) == r.answered.end()) return false;
            if (code == wl::kIoctlScsiPassThrough) {
                const bool ata = in[36] == 0x85 || in[36] == 0xA1;
                out[2] = ata && !r.sat ? 2 : 0;  // ScsiStatus
            } else {
                std::fill(out.begin() + 8, out.end(), 0x51);
            }
            *n = static_cast<std::uint32_t>(out.size());
            return true;
        };
        vdx_dev dev;
        std::strcpy(dev.device_path, "\\\\.\\PhysicalDrive1");
        std::strcpy(dev.name, "disk1");
        dev.connection = kVdxConnectionStorage;
        dev.backend = &vdx_windows_backend();
        vdx_error error{};
        EXPECT_EQ(vdx_dev_probe(&error, &dev), r.interface == kVdxInterfaceUnknown ? 1 : 0);
        EXPECT_EQ(dev.interface, r.interface);
        std::vector<std::uint32_t> codes;
        for (const auto& q : fake.w.requests) codes.push_back(q.code);
        // Intel RST reads the SCSI address first (and, without it, asks no
        // more); the maker's driver answers its own miniport pass-through.
        const std::vector<std::uint32_t> order = {wl::kIoctlScsiGetAddress,     wl::kIoctlScsiMiniport,
                                                  wl::kIoctlStorageQueryProperty, wl::kIoctlAtaPassThrough,
                                                  wl::kIoctlScsiPassThrough,     wl::kIoctlScsiPassThrough};
        EXPECT_EQ(codes, std::vector<std::uint32_t>(order.begin(), order.begin() + r.requests));
        vdx_dev_close(&error, &dev);
    }
}

TEST(WindowsAta, ProbeRefusesEmptyAndNoGoodAnswers) {
    fake::scope fake;
    std::uint8_t status = 0x50, err = 0;
    bool empty = false;
    fake.w.devices["\\\\.\\PhysicalDrive4"].answer = [&](std::uint32_t, const bytes&, bytes& out, std::uint32_t*) {
        out[46] = status;  // CurrentTaskFile[6]
        out[40] = err;
        if (!empty) out[48] = 1;
        return true;
    };
    vdx_dev dev;
    std::strcpy(dev.device_path, "\\\\.\\PhysicalDrive4");
    dev.backend = &vdx_windows_backend();
    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &dev), 0);
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

TEST(WindowsEnumerate, DriverKindOfDescription) {
    struct row {
        const char* description;
        std::uint32_t kind;
    };
    for (const row& r : {row{"Standard SATA AHCI Controller", 1}, row{"AMD-RAID Controller [storport]", 1},
                         row{"Standard NVM Express Controller", 2}, row{"USB Mass Storage Device", 3},
                         row{"USB Attached SCSI (UAS) Mass Storage Device", 4},
                         row{"Intel Chipset SATA RAID Controller", 5}, row{"Vendor Intel RST VMD Controller 9A0B", 5},
                         row{"Intel(R) C600+/C220+ series chipset SATA RAID Controller", 6},
                         row{"Adaptec RAID SmartHBA", 7}, row{"adaptec raid smarthba", 1},
                         row{"INTERNAL USE ONLY - x", 8}, row{"ZM Veloxaris SN100", 8},
                         row{"standard nvm express controller", 1}, row{"", 1}})
        EXPECT_EQ(vdx_windows_driver_kind(r.description), r.kind) << r.description;
}

}  // namespace
}  // namespace enctl
