#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/discovery/discovery.h"
#include "app/discovery/ses_fill.h"
#include "app/discovery/target_list.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {
namespace {

vdx_dev* add_device(target_list& targets, const char* name) {
    vdx_dev device;
    set_text(device.name, name);
    return target_list_append(targets, device);
}

void attach(vdx_dev& device, std::uint64_t tag, const char* serial, int bus, const char* os_name,
            const char* sas = "", const char* capacity = "", const char* port = "") {
    auto record = std::make_unique<enclosure_target>();
    set_text(record->serial, serial);
    set_text(record->target_port, port);
    set_text(record->os_name, os_name);
    set_text(record->sas_address, sas);
    set_text(record->capacity, capacity);
    record->bus = bus;
    vdx_dev_data_attach(&device, tag, std::move(record));
}

TEST(TargetList, HoldsAtMost8192Devices) {
    target_list targets;
    for (std::uint32_t i = 0; i < kTargetListSize; ++i) ASSERT_NE(add_device(targets, "disk"), nullptr) << i;
    EXPECT_EQ(add_device(targets, "disk8192"), nullptr);
    EXPECT_EQ(targets.count, kTargetListSize);
    target_list_release(targets);
    EXPECT_EQ(targets.count, 0u);
}

TEST(TargetList, AttachedRecordIsTheFirstNodeWithItsTag) {
    target_list targets;
    vdx_dev* enclosure = add_device(targets, "SCSI1:0,0,0");
    attach(*enclosure, kEnclosureTargetTag, "ENC", 1, "SCSI1:0,0,0");
    vdx_dev* disk = add_device(targets, "disk0");
    attach(*disk, kEndDeviceTag, "DISK", 1, "/dev/sda");
    vdx_dev* bare = add_device(targets, "disk1");
    ASSERT_NE(enclosure_of(*enclosure), nullptr);
    EXPECT_EQ(text_of(enclosure_of(*enclosure)->serial), "ENC");
    EXPECT_EQ(enclosure_of(*disk), nullptr);
    EXPECT_NE(attached_record(*disk, kEndDeviceTag), nullptr);
    EXPECT_EQ(enclosure_of(*bare), nullptr);
    // Found by its tag wherever it sits in the chain.
    attach(*bare, kEndDeviceTag, "SECOND", 1, "/dev/sdb");
    attach(*bare, kEnclosureTargetTag, "THIRD", 1, "SCSI1:0,1,0");
    ASSERT_NE(enclosure_of(*bare), nullptr);
    EXPECT_EQ(text_of(enclosure_of(*bare)->serial), "THIRD");
    target_list_release(targets);
}

TEST(EndDeviceOsName, DevicePathOnLinuxElsePhysicalDrive) {
    vdx_dev device;
    device.physical_drive_number = 4;
    char os_name[1024];
    for (const auto& [path, name] : {std::pair{"/dev/sdc", "/dev/sdc"}, {"/dev/nvme1", "/dev/nvme1"},
                                     {"\\\\.\\PhysicalDrive4", "PD4"}}) {
        set_text(device.device_path, path);
        end_device_os_name(device, os_name);
        EXPECT_STREQ(os_name, name);
    }
}

class FindOsHandleName : public ::testing::Test {
protected:
    void SetUp() override {
        vdx_dev* enclosure = add_device(targets_, "SCSI1:0,0,0");
        attach(*enclosure, kEnclosureTargetTag, "ENCLSERIAL", 1, "SCSI1:0,0,0");
        // An enclosure processor that was not recognised carries an end-device record.
        vdx_dev* other = add_device(targets_, "SCSI1:0,9,0");
        other->connection = kVdxConnectionEnclosure;
        attach(*other, kEndDeviceTag, "SESPROC01", 1, "SCSI1:0,9,0");
        // The same drive serial on another bus comes first in the table.
        attach(*add_device(targets_, "disk0"), kEndDeviceTag, "ZA1ABC12345", 2, "/dev/sda", "5000C500000000A0", "4000");
        attach(*add_device(targets_, "disk1"), kEndDeviceTag, "ZA1ABC12345", 1, "/dev/sdb", "5000C500000000B0", "12000");
        attach(*add_device(targets_, "disk2"), kEndDeviceTag, "", 1, "/dev/sdc");
        // "XYZ77" is contained in three serials, "XYZ777" in two and equal to one.
        attach(*add_device(targets_, "disk3"), kEndDeviceTag, "WDXYZ777A", 1, "/dev/sdd", "N3", "", "P3");
        attach(*add_device(targets_, "disk4"), kEndDeviceTag, "XYZ777", 1, "/dev/sde", "N4", "", "P4");
        attach(*add_device(targets_, "disk5"), kEndDeviceTag, "XYZ777B", 1, "/dev/sdf", "N5", "", "P5");
        // One drive seen through its two ports (same logical unit name).
        attach(*add_device(targets_, "disk6"), kEndDeviceTag, "MP0001", 1, "/dev/sdg", "N6", "", "P6A");
        attach(*add_device(targets_, "disk7"), kEndDeviceTag, "MP0001", 1, "/dev/sdh", "N6", "", "P6B");
    }
    void TearDown() override { target_list_release(targets_); }
    target_list targets_;
};

// A slot pairs only with a disk on the enclosure's bus whose serial contains
// the slot's: never with an enclosure processor; an exact serial wins; several
// candidates are settled by the slot's page 0Ah port addresses, else left
// unpaired (NAA identifier 16 blanks) unless they are paths to one drive. The
// lookup by exact serial (normal runs) and the walk that lists every
// comparison (debug runs) pair alike.
TEST_F(FindOsHandleName, PairsOnlyWithTheOneDiskTheSlotNames) {
    const char* const blanks = "                ";
    const disk_pairing disks(targets_);
    const int verbosity = g_console_verbosity;
    for (const int level : {kVerbosityNormal, kVerbosityDebug}) {
        g_console_verbosity = level;
        // The debug listing goes to a file, not into the test's output.
        if (level == kVerbosityDebug) console_capture_begin(::testing::TempDir() + "pairing_debug.txt");
        for (const auto& [bus, serial, port, handle, naa] :
             {std::tuple{1, "ABC12345", "", "/dev/sdb", "5000C500000000B0"}, {3, "ABC12345", "", "", blanks},
              {1, "XZA1ABC12345", "", "", blanks}, {1, "ENCL", "", "", blanks}, {1, "SESPROC", "", "", blanks},
              {1, "XYZ777", "", "/dev/sde", "N4"}, {1, "XYZ77", "P5", "/dev/sdf", "N5"}, {1, "XYZ77", "", "", blanks},
              {1, "XYZ77", "P9", "", blanks}, {1, "MP0001", "", "/dev/sdg", "N6"},
              {1, "MP0001", "P6B", "/dev/sdh", "N6"}}) {
            slot_record slot{};
            set_text(slot.serial, serial);
            set_text(slot.port_sas_address[1], port);
            EXPECT_EQ(find_os_handle_name(bus, slot, disks), handle[0] ? 0 : 1) << level << bus << serial << port;
            EXPECT_EQ(text_of(slot.os_handle_name), handle) << level << serial << port;
            EXPECT_EQ(text_of(slot.naa_identifier), naa) << level << serial << port;
        }
        console_capture_end();
    }
    g_console_verbosity = verbosity;
}

}  // namespace
}  // namespace enctl
