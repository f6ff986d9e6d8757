// Windows enumeration through the seam: enclosure processors and the driver
// kind of a controller description.
#include <gtest/gtest.h>

#include <cstring>

#include "basekit/fixed_text.h"
#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

using bytes = std::vector<std::uint8_t>;

// An enclosure processor answering the descriptor query and, when given, the
// SCSI address query.
fake::device ses_device(bool has_address, std::uint8_t port, std::uint8_t path, std::uint8_t target) {
    fake::device dev;
    dev.answer = [=](std::uint32_t code, const bytes&, bytes& out, std::uint32_t* n) {
        if (code == win_layout::kIoctlStorageQueryProperty) {
            out[0] = 1;
            out[4] = 40;
            *n = 40;
            return true;
        }
        if (code == win_layout::kIoctlScsiGetAddress && has_address) {
            out[0] = 8;
            out[4] = port, out[5] = path, out[6] = target, out[7] = 0;
            *n = 8;
            return true;
        }
        return false;
    };
    return dev;
}

TEST(WindowsEnumerate, EnclosureProcessorsNamedByScsiAddress) {
    fake::scope fake;
    fake.w.interfaces[fake::guid_text(kGuidDevinterfaceSes)] = {
        {"\\\\?\\ses#a", "SES\\A"}, {"\\\\?\\ses#b", "SES\\B"}, {"\\\\?\\ses#c", "SES\\C"}, {"\\\\?\\ses#gone", "SES\\D"}};
    fake.w.devices["\\\\?\\ses#a"] = ses_device(true, 1, 4, 64);
    fake.w.devices["\\\\?\\ses#b"] = ses_device(false, 0, 0, 0);  // no SCSI address: removed again
    fake.w.devices["\\\\?\\ses#c"] = ses_device(true, 2, 0, 5);
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumSes);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(text_of(list[0].name), "SCSI1:4,64,0");
    EXPECT_EQ(text_of(list[1].name), "SCSI2:0,5,0");
    for (const vdx_dev& dev : list.view()) {
        EXPECT_EQ(dev.interface, kVdxInterfaceScsi);
        EXPECT_EQ(dev.connection, kVdxConnectionEnclosure);
        EXPECT_NE(dev.os_handle, kVdxInvalidHandle);
        ASSERT_NE(vdx_windows_state_if(dev), nullptr);
        EXPECT_EQ(vdx_windows_state_if(dev)->storage_descriptor[4], 40);
    }
    EXPECT_EQ(text_of(list[0].device_path), "\\\\?\\ses#a");
    vdx_dev_release(&list);
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
