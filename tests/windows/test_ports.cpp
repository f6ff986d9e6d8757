// Drives behind CSMI and Intel RSTe storage ports and USB root hubs, all
// through the fake Windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
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

// A storage port that answers miniport requests by the SRB control code;
// `answer` fills the buffer (it holds the request) or fails the call.
using srb_answer = std::function<bool(std::uint32_t control_code, bytes& buffer)>;
fake::device miniport_port(srb_answer answer) {
    fake::device dev;
    dev.answer = [answer](std::uint32_t code, const bytes&, bytes& out, std::uint32_t* n) {
        if (code != wl::kIoctlScsiMiniport || out.size() < wl::kSrbSize) return false;
        *n = static_cast<std::uint32_t>(out.size());
        return answer(wl::get32(out, 16), out);
    };
    return dev;
}

// One line per miniport request: port, signature, time-out, control code,
// length/size, and the two dwords after the header.
std::string srb_requests(const fake::world& w) {
    std::string out;
    for (const fake::request& r : w.requests) {
        if (r.code != wl::kIoctlScsiMiniport) continue;
        char line[160];
        std::snprintf(line, sizeof line, "%s %s %u %X %u/%zu %u %u\n", r.path.c_str(),
                      std::string(reinterpret_cast<const char*>(r.in.data() + 4),
                                  strnlen(reinterpret_cast<const char*>(r.in.data() + 4), 8))
                          .c_str(),
                      wl::get32(r.in, 12), wl::get32(r.in, 16), wl::get32(r.in, 24), r.in.size(),
                      r.in.size() >= 32 ? wl::get32(r.in, 28) : 0, r.in.size() >= 36 ? wl::get32(r.in, 32) : 0);
        out += line;
    }
    return out;
}

constexpr std::uint8_t kSasDrive[8] = {0x50, 0x00, 0xC5, 0x00, 0x11, 0x22, 0x33, 0x01};
constexpr std::uint8_t kSataDrive[8] = {0x50, 0x03, 0x04, 0x80, 0x00, 0x00, 0x00, 0x02};
constexpr std::uint8_t kRaidOnlyDrive[8] = {0x50, 0x03, 0x04, 0x80, 0x00, 0x00, 0x00, 0x09};

// Port 0 does not speak CSMI. Port 1: phy 0 a SAS drive, phy 5 (port 1) a
// SATA drive, phy 6 an expander, phy 7 nothing; one RAID set of two drives,
// the SATA drive and one the phys do not show. Port 2 speaks CSMI but its phy
// request fails and it has no RAID sets. `stp` answers STP pass-through.
void csmi_ports(fake::world& w, srb_answer stp = nullptr) {
    w.devices["\\\\.\\Scsi0:"] = miniport_port([](std::uint32_t, bytes&) { return false; });
    w.devices["\\\\.\\Scsi1:"] = miniport_port([stp](std::uint32_t cc, bytes& b) {
        if (cc == wl::kCcCsmiSasGetPhyInfo) {
            wl::csmi_sas_phy_info_buffer info{};
            info.number_of_phys = 4;
            const std::uint8_t phy_ids[] = {0, 5, 6, 7}, port_ids[] = {0, 1, 2, 3},
                               types[] = {0x10, 0x10, 0x20, 0};
            for (int i = 0; i < 4; ++i) {
                info.phy[i].identify.phy_identifier = phy_ids[i];
                info.phy[i].port_identifier = port_ids[i];
                info.phy[i].attached.device_type = types[i];
                std::memcpy(info.phy[i].attached.sas_address, i == 0 ? kSasDrive : kSataDrive, 8);
            }
            std::memcpy(&info.header, b.data(), sizeof info.header);
            wl::store(b, 0, info);
        } else if (cc == wl::kCcCsmiSasGetRaidInfo) {
            wl::put32(b, 28, 1);  // sets
            wl::put32(b, 32, 4);  // drives per set
        } else if (cc == wl::kCcCsmiSasGetRaidConfig) {
            b[43] = 2;
            std::memcpy(b.data() + 64 + 88, kSataDrive, 8);
            std::memcpy(b.data() + 64 + 136 + 88, kRaidOnlyDrive, 8);
        } else if (cc == wl::kCcCsmiSasStpPassthru) {
            return stp && stp(cc, b);
        }
        return true;
    });
    w.devices["\\\\.\\Scsi2:"] = miniport_port([](std::uint32_t cc, bytes& b) {
        if (cc == wl::kCcCsmiSasGetPhyInfo) wl::put32(b, wl::kSrbReturnCode, 1);
        return true;
    });
}

TEST(WindowsCsmi, PhyAndRaidDrivesRequestsAndProbe) {
    fake::scope fake;
    // The SATA drives answer STP; the SAS drive's driver refuses it.
    csmi_ports(fake.w, [](std::uint32_t, bytes& b) {
        if (std::memcmp(b.data() + 32, kSasDrive, 8) == 0) wl::put32(b, wl::kSrbReturnCode, 1);
        b[78] = 0x50;   // status
        b[164] = 0x40;  // IDENTIFY data
        return true;
    });
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumCsmi);
    testing::expect_golden(fake::records(list) + srb_requests(fake.w), "windows/golden/csmi_ports.txt");

    // The port also holds a device at 0:0:0 that answers SCSI and ATA
    // pass-through and the NVMe property query; those requests name nothing
    // but the port, so they would reach that device, not the drive probed.
    fake::device& port = fake.w.devices["\\\\.\\Scsi1:"];
    port.answer = [miniport = port.answer](std::uint32_t code, const bytes& in, bytes& out, std::uint32_t* n) {
        if (code == wl::kIoctlScsiMiniport) return miniport(code, in, out, n);
        std::fill(out.begin() + 48, out.end(), 0x11);
        if (code == wl::kIoctlAtaPassThrough) out[46] = 0x50;  // status
        *n = static_cast<std::uint32_t>(out.size());
        return true;
    };
    fake.w.requests.clear();
    // IDENTIFY through STP decides: the SATA drives are ATA via CSMI, the SAS
    // drive is not; nothing but miniport requests reaches the port.
    const std::uint32_t expected[] = {kVdxInterfaceUnknown, kVdxInterfaceAta, kVdxInterfaceAta};
    for (std::uint32_t i = 0; i < list.count; ++i) {
        vdx_error error{};
        EXPECT_EQ(vdx_dev_probe(&error, &list[i]), expected[i] == kVdxInterfaceUnknown) << list[i].name;
        EXPECT_EQ(list[i].interface, expected[i]) << list[i].name;
    }
    // SCSI to a drive behind the port is refused without a request.
    vdx_scsi_cmd inquiry{};
    inquiry.cdb[0] = 0x12;
    inquiry.cdb_length = 6;
    vdx_error error{};
    EXPECT_EQ(vdx_scsi_execute(&error, &list[1], &inquiry), 1);
    EXPECT_EQ(std::tuple(error.code, error.subcode, std::string(error.message)),
              std::tuple(kErrNotSupported, kVdxInterfaceAta,
                         std::string("scsi execute not supported on device csmi1.1.5.5003048000000002")));
    for (const fake::request& r : fake.w.requests) EXPECT_EQ(r.code, wl::kIoctlScsiMiniport) << r.path;
    vdx_dev_release(&list);
}

// An RSTe port (3) with one volume of two members (disk ids 7 and 0), two
// pass-through disks (0 and 9) and a spare (11); port 4 fails every request.
TEST(WindowsRste, VolumeMembersPassThroughAndSpareDisks) {
    fake::scope fake;
    fake.w.devices["\\\\.\\Scsi3:"] = miniport_port([](std::uint32_t cc, bytes& b) {
        auto entries = [&](std::size_t at, std::vector<std::uint32_t> ids) {
            for (std::size_t i = 0; i < ids.size(); ++i) wl::put32(b, at + 108 * i, ids[i]);
        };
        switch (cc) {
        case wl::kRsteVolumeCount:
        case wl::kRsteSpareCount:
            wl::put32(b, 28, 1);
            break;
        case wl::kRstePassthroughCount:
            wl::put32(b, 28, 2);
            break;
        case wl::kRsteVolumeInfo:
            wl::put32(b, 128, wl::get32(b, 28) == 1 ? 2 : 0);
            break;
        case wl::kRsteVolumeConfig:
            entries(36, {7, 0});
            break;
        case wl::kRstePassthroughInfo:
            entries(32, {0, 9});
            break;
        case wl::kRsteSpareInfo:
            entries(32, {11});
            break;
        default:
            return false;
        }
        return true;
    });
    fake.w.devices["\\\\.\\Scsi4:"] = miniport_port([](std::uint32_t, bytes&) { return false; });
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumIntelRste);
    testing::expect_golden(fake::records(list) + srb_requests(fake.w), "windows/golden/rste_ports.txt");
    vdx_dev_release(&list);
}

// ---------------------------------------------------------------------------
// USB.

const char kRootHub[] = "\\\\?\\usb#root_hub30#4&1&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const char kChildHubName[] = "USB#VID_05E3&PID_0610#5&1&2#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const char kExternalHub[] = "\\\\?\\usb#vid_05e3&pid_0610#5&1&2#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

void put_utf16(bytes& b, std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) b[at + 2 * i] = static_cast<std::uint8_t>(text[i]);
}

struct usb_port {
    std::uint16_t vendor, product;
    std::uint8_t serial_index;  // 0: none
    bool hub;
};

// A hub of `type` whose ports hold `ports` (from port 1; past them nothing is
// connected). Serial strings: index 3 reads, any other fails.
fake::device usb_hub(std::uint32_t type, std::vector<usb_port> ports, std::uint16_t highest) {
    fake::device dev;
    dev.answer = [=](std::uint32_t code, const bytes& in, bytes& out, std::uint32_t* n) {
        *n = static_cast<std::uint32_t>(out.size());
        const std::uint32_t port = in.size() >= 4 ? wl::get32(in, 0) : 0;
        const usb_port* p = port >= 1 && port <= ports.size() ? &ports[port - 1] : nullptr;
        switch (code) {
        case wl::kIoctlUsbGetHubInformationEx:
            wl::put32(out, 0, type);
            wl::put16(out, 4, highest);
            return true;
        case wl::kIoctlUsbGetNodeConnectionInformation:
            if (p) {
                wl::put16(out, 12, p->vendor);
                wl::put16(out, 14, p->product);
                out[20] = p->serial_index;
                out[24] = p->hub;
                wl::put32(out, 31, 1);  // DeviceConnected
            }
            return true;
        case wl::kIoctlUsbGetDescriptorFromNodeConnection: {
            if (in[6] != 3) return false;
            const std::string serial = "4C530001230917103235";
            out[12] = static_cast<std::uint8_t>(2 + 2 * serial.size());
            out[13] = 3;
            put_utf16(out, 14, serial);
            *n = 12 + out[12];
            return true;
        }
        case wl::kIoctlUsbGetNodeConnectionName: {
            const std::string name = kChildHubName;
            wl::put32(out, 4, static_cast<std::uint32_t>(8 + 2 * (name.size() + 1)));
            if (out.size() >= 8 + 2 * name.size()) put_utf16(out, 8, name);
            return true;
        }
        }
        return false;
    };
    return dev;
}

// A root hub on a controller behind a PCI bridge on bus 2, with a device
// that has a serial number, an external hub (a device without serial and one
// whose serial cannot be read below it), then 38 more devices; the external
// hub's own interface is listed too and is not a root hub.
TEST(WindowsUsb, RootHubKeepsFirst32DevicesDepthFirst) {
    fake::scope fake;
    fake.w.nodes = {
        {"PCI\\VEN_8086&DEV_1901\\3&1&08", "", "", "System", "", "", 2},
        {"PCI\\VEN_8086&DEV_A36D\\3&1&A0", "PCI\\VEN_8086&DEV_1901\\3&1&08", "", "USB", "", "", 0xFFFFFFFFu},
        {"USB\\ROOT_HUB30\\4&1&0", "PCI\\VEN_8086&DEV_A36D\\3&1&A0", "", "USB", "", "", 0xFFFFFFFFu},
        {"USB\\VID_05E3&PID_0610\\5&1&2", "USB\\ROOT_HUB30\\4&1&0", "", "USB", "", "", 0xFFFFFFFFu},
    };
    fake.w.interfaces[fake::guid_text(kGuidDevinterfaceUsbHub)] = {
        {kRootHub, "USB\\ROOT_HUB30\\4&1&0"}, {kExternalHub, "USB\\VID_05E3&PID_0610\\5&1&2"}};
    std::vector<usb_port> root = {{0x0781, 0x5581, 3, false}, {0x05E3, 0x0610, 0, true}};
    for (std::uint16_t p = 3; p <= 40; ++p) root.push_back({0x1234, p, 0, false});
    fake.w.devices[kRootHub] = usb_hub(1, root, 40);
    fake.w.devices[std::string("\\\\.\\") + kChildHubName] =
        usb_hub(2, {{0x0BDA, 0x8153, 0, false}, {0x0BDA, 0x8154, 2, false}}, 4);
    fake.w.devices[kExternalHub] = usb_hub(2, {}, 4);

    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumUsbRootHubs);
    ASSERT_EQ(list.count, 1u);
    EXPECT_TRUE(vdx_dev_is_open(list[0])) << "open without a handle of its own";
    // The hub's record, then the first four devices and the last one kept.
    const vdx_windows_state& s = *vdx_windows_state_if(list[0]);
    std::string text = fake::records(list) + std::to_string(s.usb_device_count) + " devices\n";
    for (std::uint32_t i : {0u, 1u, 2u, 3u, 31u}) {
        char line[64];
        std::snprintf(line, sizeof line, "%04x:%04x %s\n", s.usb_devices[i].vendor_id, s.usb_devices[i].product_id,
                      std::string(text_of(s.usb_devices[i].serial)).c_str());
        text += line;
    }
    testing::expect_golden(text, "windows/golden/usb_hub.txt");

    // The requests for the first port, the external hub's name and the
    // serial number that is read, byte for byte where it matters.
    const auto find = [&](std::uint32_t code, std::size_t nth = 0) -> const fake::request& {
        for (const fake::request& r : fake.w.requests)
            if (r.code == code && r.path == kRootHub && nth-- == 0) return r;
        static const fake::request none{};
        return none;
    };
    EXPECT_EQ(find(0x220454).in.size(), 77u);
    const fake::request& connection = find(0x22040C, 1);
    EXPECT_EQ(connection.in.size(), 1024u);
    EXPECT_EQ(wl::get32(connection.in, 0), 2u);
    const fake::request& serial = find(0x220410);
    EXPECT_EQ(serial.in.size(), 1024u);
    EXPECT_EQ(bytes(serial.in.begin(), serial.in.begin() + 12), (bytes{1, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0xF4, 0x03}));
    EXPECT_EQ(find(0x220414, 0).in.size(), 10u);
    EXPECT_EQ(find(0x220414, 1).in.size(), 8 + 2 * (sizeof kChildHubName));
    EXPECT_EQ(wl::get32(find(0x220414, 1).in, 0), 2u);
    vdx_dev_release(&list);
}

}  // namespace
}  // namespace enctl
