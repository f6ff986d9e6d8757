// Every request kind of the Windows backends, byte for byte: each row opens a
// device behind one driver, runs one command against a device that answers
// with a known pattern (out[i] = i, with the row's fields put over it), and
// writes the requests sent, the result read back, the error record of a
// failing DeviceIoControl and, where the driver has one, of a refused answer
// into windows/golden/requests.txt. A command of several requests fails at
// each of them in turn.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/windows/fake_win32.h"
#include "vdx/vdx.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {
namespace {

namespace wl = win_layout;
using bytes = std::vector<std::uint8_t>;

// One field of an answer: offset, width in bytes (1, 2 or 4), value.
struct field {
    std::size_t at;
    int width;
    std::uint32_t value;
};

// The pattern with `fields` over it; from the `from`th request of a command
// on (counted from 1), `later` goes over it too, or, when `fail`, the call
// fails.
fake::answer_fn pattern(std::vector<field> fields, std::size_t from = 1, std::vector<field> later = {},
                        bool fail = false) {
    return [=](std::uint32_t, const bytes&, bytes& out, std::uint32_t* n) {
        const bool late = fake::the_world().requests.size() >= from;
        if (late && fail) return false;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i);
        for (const auto* set : {&fields, late ? &later : nullptr})
            for (const field& f : set ? *set : std::vector<field>{})
                for (int i = 0; i < f.width && f.at + i < out.size(); ++i)
                    out[f.at + i] = static_cast<std::uint8_t>(f.value >> (8 * i));
        *n = static_cast<std::uint32_t>(out.size());
        return true;
    };
}

std::string hex(const std::uint8_t* b, std::size_t n) {
    std::string out;
    char h[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(h, sizeof h, i ? " %02x" : "%02x", b[i]);
        out += h;
    }
    return out;
}

// Sixteen bytes a line; a run of lines equal to the one before is one "*".
std::string dump(const bytes& b) {
    std::string out;
    for (std::size_t at = 0; at < b.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, b.size() - at);
        if (at && at + n < b.size() && std::memcmp(&b[at], &b[at - 16], 16) == 0) {
            if (!out.ends_with("*\n")) out += "  *\n";
            continue;
        }
        char offset[16];
        std::snprintf(offset, sizeof offset, "  %04zx ", at);
        out += offset + hex(&b[at], n) + "\n";
    }
    return out;
}

// The source file from the tree's top ("vdx/vdx.cpp"), however the build
// named it (relative to its folder, or absolute where the tree was cloned).
std::string source_name(const char* file) {
    const std::string_view path = file ? file : "";
    const std::size_t at = path.rfind("/vdx/");
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string error_text(int rc, const vdx_error& e) {
    char line[400];
    std::snprintf(line, sizeof line, "rc=%d error %u/%u %s:%u %s: %s", rc, e.code, e.subcode,
                  source_name(e.file).c_str(), e.line, e.function, e.message);
    return line;
}

// Runs the command on the device; the result as a line.
using job = std::function<std::string(vdx_dev&)>;

struct buffer {
    bytes data;
    explicit buffer(std::uint32_t length) : data(length, 0xEE) {}
    std::uint8_t* ptr() { return data.empty() ? nullptr : data.data(); }
    std::string head() const { return hex(data.data(), std::min<std::size_t>(8, data.size())); }
};

job scsi(bytes cdb, std::uint32_t direction, std::uint32_t length, std::uint32_t timeout) {
    return [=](vdx_dev& dev) {
        buffer b(length);
        vdx_scsi_cmd cmd{.cdb = {}, .cdb_length = static_cast<std::uint32_t>(cdb.size()), .data = b.ptr(),
                         .transfer_length = length, .bytes_transferred = 0, .scsi_status = 0, .sense = {},
                         .sense_length = 32, .timeout = timeout, .direction = direction};
        std::memcpy(cmd.cdb, cdb.data(), cdb.size());
        vdx_error e{};
        const int rc = vdx_scsi_execute(&e, &dev, &cmd);
        if (rc) return error_text(rc, e);
        char line[200];
        std::snprintf(line, sizeof line, "rc=0 status=%02x sense=%u:%s transferred=%u data=%s", cmd.scsi_status,
                      cmd.sense_length, hex(cmd.sense, 4).c_str(), cmd.bytes_transferred, b.head().c_str());
        return std::string(line);
    };
}

struct ata_regs {
    std::uint8_t protocol, extend, command;
    std::uint16_t features, count;
    std::uint64_t lba;
    std::uint8_t device;
};

job ata(ata_regs r, std::uint32_t direction, std::uint32_t length, std::uint32_t timeout) {
    return [=](vdx_dev& dev) {
        buffer b(length);
        vdx_ata_cmd cmd{.protocol = r.protocol, .extend = r.extend, .t_length = 0, .transfer_unit = 0,
                        .features = r.features, .count = r.count, .lba = r.lba, .device = r.device,
                        .command = r.command, .status = 0xAB, .error = 0, .data = b.ptr(), .length = length,
                        .timeout = timeout, .direction = direction, .check_condition = 0};
        vdx_error e{};
        const int rc = vdx_ata_execute(&e, &dev, &cmd);
        if (rc) return error_text(rc, e);
        char line[200];
        std::snprintf(line, sizeof line, "rc=0 status=%02x error=%02x count=%04x lba=%012llx device=%02x data=%s",
                      cmd.status, cmd.error, cmd.count, static_cast<unsigned long long>(cmd.lba), cmd.device,
                      b.head().c_str());
        return std::string(line);
    };
}

struct nvme_cmd {
    std::uint32_t opcode, direction, length, timeout;
    std::uint32_t cdw10 = 0x10, cdw11 = 0x11, queue = 0;
};

job nvme(nvme_cmd c) {
    return [=](vdx_dev& dev) {
        buffer b(c.length);
        vdx_nvme_cmd cmd{.opcode = c.opcode, .nsid = 0x0A0B0C0D, .cdw10 = c.cdw10, .cdw11 = c.cdw11, .cdw12 = 0x12,
                         .cdw13 = 0x13, .cdw14 = 0x14, .cdw15 = 0x15, .completion = {}, .data = b.ptr(),
                         .length = c.length, .direction = c.direction, .timeout = c.timeout, .queue = c.queue};
        vdx_error e{};
        const int rc = vdx_nvme_execute(&e, &dev, &cmd);
        if (rc) return error_text(rc, e);
        char line[200];
        std::snprintf(line, sizeof line, "rc=0 completion=%08x %08x %08x %08x data=%s%s", cmd.completion[0],
                      cmd.completion[1], cmd.completion[2], cmd.completion[3], b.head().c_str(),
                      cmd.data ? "" : " (the command's buffer not used)");
        return std::string(line);
    };
}

constexpr std::uint32_t kIn = kVdxDirFromDevice, kOut = kVdxDirToDevice, kNone = kVdxDirNone;
constexpr char kDisk[] = "\\\\.\\PhysicalDrive1", kPort[] = "\\\\.\\Scsi2:";

// Where a command goes: the record's paths, interface, connection and driver.
struct place {
    const char* path;
    const char* second_path;
    std::uint32_t interface, connection, driver;
    void (*setup)(vdx_dev&) = nullptr;
    win32_release release = win32_release::windows_10;
};

void csmi_drive(vdx_dev& dev) {
    vdx_windows_state& s = vdx_windows_state_of(dev);
    s.csmi_phy_id = 5;
    s.csmi_port_id = 1;
    const std::uint8_t address[8] = {0x50, 0x03, 0x04, 0x80, 0x00, 0x00, 0x00, 0x02};
    std::memcpy(s.csmi_sas_address, address, 8);
}
void rste_disk(vdx_dev& dev) { vdx_windows_state_of(dev).rste_disk_id = 0x42; }
void bridge_disk(vdx_dev& dev) { vdx_windows_state_of(dev).marvell_disk_id = 0x0107; }

constexpr std::uint32_t kStorage = kVdxConnectionStorage;
const place kNoInterface{kDisk, "", kVdxInterfaceUnknown, kStorage, 0}, kScsi{kDisk, "", kVdxInterfaceScsi, kStorage, 0},
    kInboxNvme{kDisk, "", kVdxInterfaceNvme, kStorage, kVdxDriverInboxNvme},
    kInboxNvme81{kDisk, "", kVdxInterfaceNvme, kStorage, kVdxDriverInboxNvme, nullptr, win32_release::windows_8_1},
    kAta{kDisk, "", kVdxInterfaceAta, kStorage, 0}, kCsmi{kPort, "", kVdxInterfaceAta, kVdxConnectionCsmi, 0, csmi_drive},
    kRstAta{kDisk, kPort, kVdxInterfaceAta, kStorage, kVdxDriverIntelRst},
    kRstAtaOlder{kDisk, kPort, kVdxInterfaceAta, kStorage, kVdxDriverIntelRst, nullptr, win32_release::older},
    kAhciAta{kDisk, "", kVdxInterfaceAta, kStorage, kVdxDriverInboxAhci},
    kAhciAta81{kDisk, "", kVdxInterfaceAta, kStorage, kVdxDriverInboxAhci, nullptr, win32_release::windows_8_1},
    kAhciAtaNewer{kDisk, "", kVdxInterfaceAta, kStorage, kVdxDriverInboxAhci, nullptr, win32_release::newer},
    kNvmeDriverAta{kDisk, "", kVdxInterfaceAta, kStorage, kVdxDriverInboxNvme},
    kRst{kDisk, kPort, kVdxInterfaceNvmeIntelRst, kStorage, kVdxDriverIntelRst},
    kRste{kPort, "", kVdxInterfaceNvmeIntelRste, kVdxConnectionIntelRste, 0, rste_disk},
    kMaker{kPort, "", kVdxInterfaceNvmeZmIuo, kStorage, 0},
    kBridgeInbox{kDisk, kPort, kVdxInterfaceMarvellNevox, kStorage, kVdxDriverInboxNvme, bridge_disk},
    kBridgeRst{kDisk, kPort, kVdxInterfaceMarvellNevox, kStorage, kVdxDriverIntelRst, bridge_disk},
    kBridgeRste{kDisk, kPort, kVdxInterfaceMarvellNevox, kStorage, kVdxDriverIntelRste, bridge_disk};

struct row {
    const char* name;
    place at;
    job run;
    std::vector<field> answer;   // over the pattern
    std::vector<field> refused;  // an answer the backend refuses; empty: none
    std::size_t refused_from = 1;  // the request that is refused first
};

const field kStatusOk{16, 4, 1};  // STORAGE_PROTOCOL_COMMAND ReturnStatus: success
const field kSrbOk{20, 4, 0};     // SRB_IO_CONTROL ReturnCode: success
const std::vector<field> kIntelSlot2{kSrbOk, {65, 1, 2}, {66, 1, 2}}, kStorageSlot3{{10, 1, 3}};
const bytes kRead10 = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0};
const ata_regs kReadDmaExt{6, 1, 0x25, 0x0102, 0x0304, 0x0A0B0C0D0E0Full, 0x40};
// DOWNLOAD MICROCODE of a 16-byte segment at buffer offset 259 blocks (LBA
// bits 8-23; the bits above are not part of it): mode 0Eh saves, 0Fh
// activates, 03h is plain pass-through.
job microcode(std::uint8_t command, std::uint8_t mode) { return ata({0, 0, command, mode, 1, 0x0F010300, 0}, kOut, 16, 1500); }
job write_buffer(std::uint8_t mode) { return scsi({0x3B, mode, 0, 1, 2, 3, 0, 0, 16, 0}, kOut, 16, 1500); }

const row kCsmiIdentify = {"ata identify through csmi stp", kCsmi,
                           ata({4, 1, 0x24, 0x0102, 0x0304, 0x0A0B0C0D0E0Full, 0x40}, kIn, 512, 1500), {kSrbOk},
                           {{20, 4, 3}}};

const row kRows[] = {
    // SCSI pass-through; WRITE BUFFER to the inbox NVMe driver goes as
    // firmware requests before Windows 10.
    {"scsi read(10) on a record of no interface", kNoInterface, scsi(kRead10, kIn, 512, 30000), {}, {}},
    {"scsi read(10)", kScsi, scsi(kRead10, kIn, 512, 30000), {{7, 1, 18}}, {}},
    {"scsi without data, 500 ms", kScsi, scsi({0, 0, 0, 0, 0, 0}, kNone, 0, 500), {}, {}},
    {"write buffer mode 0Eh, inbox nvme, windows 8.1", kInboxNvme81, write_buffer(0x0E), {}, {}},
    {"write buffer mode 0Fh, inbox nvme, windows 8.1", kInboxNvme81, write_buffer(0x0F), {}, {}},
    {"write buffer mode 0Eh, inbox nvme, windows 10", kInboxNvme, write_buffer(0x0E), {}, {}},
    // ATA pass-through and the CSMI STP pass-through.
    {"ata read dma ext", kAta, ata(kReadDmaExt, kIn, 512, 1500), {}, {}},
    kCsmiIdentify,
    // DOWNLOAD MICROCODE: Intel RST firmware requests, the storage stack's,
    // or ATA pass-through, by driver, release and mode.
    {"ata microcode save, intel rst", kRstAta, microcode(0x92, 0x0E), kIntelSlot2, {{20, 4, 0x20}}, 2},
    {"ata microcode activate, intel rst", kRstAta, microcode(0x92, 0x0F), kIntelSlot2, {{20, 4, 5}}},
    {"ata microcode (93h) activate, intel rst, older windows", kRstAtaOlder, microcode(0x93, 0x0F), kIntelSlot2,
     {{65, 1, 0}}},
    {"ata microcode mode 3, intel rst", kRstAta, microcode(0x92, 0x03), kIntelSlot2, {}},
    {"ata microcode save, inbox ahci", kAhciAta, microcode(0x92, 0x0E), kStorageSlot3, {}},
    {"ata microcode (93h) save, inbox ahci", kAhciAta, microcode(0x93, 0x0E), kStorageSlot3, {}},
    {"ata microcode activate, inbox ahci", kAhciAta, microcode(0x92, 0x0F), kStorageSlot3, {}},
    {"ata microcode save, inbox ahci, windows 8.1", kAhciAta81, microcode(0x92, 0x0E), kStorageSlot3, {}},
    {"ata microcode save, inbox ahci, newer windows", kAhciAtaNewer, microcode(0x92, 0x0E), kStorageSlot3, {}},
    {"ata microcode save, inbox nvme driver", kNvmeDriverAta, microcode(0x92, 0x0E), kStorageSlot3, {}},
    // The inbox NVMe driver.
    {"nvme identify namespace, property query", kInboxNvme, nvme({0x06, kIn, 4096, 500, 0}), {}, {}},
    {"nvme identify controller, property query", kInboxNvme, nvme({0x06, kIn, 4096, 500, 1}), {}, {}},
    {"nvme get log page, property query", kInboxNvme, nvme({0x02, kIn, 64, 500, 0x00FF0002, 0x1111}), {}, {}},
    {"nvme get features, property query", kInboxNvme, nvme({0x0A, kIn, 4, 500, 0x07, 0x1111}), {}, {}},
    {"nvme vendor command, protocol command", kInboxNvme, nvme({0xC2, kIn, 32, 90000}), {kStatusOk}, {{16, 4, 4}}},
    {"nvme firmware image download, inbox", kInboxNvme, nvme({0x11, kOut, 16, 1500, 0, 0x100}), {}, {}},
    {"nvme firmware commit slot 2, inbox", kInboxNvme, nvme({0x10, kNone, 0, 90000, 0x0A, 0}), {}, {}},
    // 70 C over-temperature threshold of sensor 1; -10 C under-temperature
    // threshold of sensor 2.
    {"nvme set features 04h, over 70 C sensor 1", kInboxNvme, nvme({0x09, kNone, 0, 500, 0x04, 0x00010000 | 343}), {}, {}},
    {"nvme set features 04h, under -10 C sensor 2", kInboxNvme, nvme({0x09, kNone, 0, 500, 0x04, 0x00120000 | 263}), {}, {}},
    // Intel RST: its miniport pass-through and firmware requests (return code
    // 20h, activation after a reset, passes for the commit only); Security
    // Receive, Flush and Format NVM go to the disk's inbox paths.
    {"nvme vendor command, intel rst", kRst, nvme({0xC1, kIn, 8, 1500}), {}, {}},
    {"nvme E4h, intel rst", kRst, nvme({0xE4, kIn, 8, 90000}), {}, {}},
    {"nvme firmware image download, intel rst", kRst, nvme({0x11, kOut, 16, 1500, 0, 0x100}), {kSrbOk}, {{20, 4, 0x20}}},
    {"nvme firmware commit slot 2, intel rst", kRst, nvme({0x10, kNone, 0, 30000, 0x0A, 0}), {{20, 4, 0x20}}, {{20, 4, 1}}},
    {"nvme security receive, intel rst", kRst, nvme({0x82, kIn, 16, 500}), {}, {}},
    {"nvme flush (i/o), intel rst", kRst, nvme({0x00, kIn, 16, 500, 0x10, 0x11, 1}), {}, {}},
    {"nvme format nvm, intel rst", kRst, nvme({0x80, kIn, 16, 500}), {kStatusOk}, {}},
    {"nvme opcode 80h (i/o), intel rst", kRst, nvme({0x80, kIn, 16, 500, 0x10, 0x11, 1}), {}, {}},
    // The NVMe miniport pass-through of Intel RSTe and of the maker's driver.
    {"nvme vendor command (i/o), intel rste disk 42h", kRste, nvme({0xC5, kIn, 8, 1500, 0x10, 0x11, 1}),
     {kSrbOk, {140, 4, 4}}, {}},
    {"nvme vendor command (i/o), maker's driver", kMaker, nvme({0xC5, kIn, 8, 1500, 0x10, 0x11, 1}), {kSrbOk},
     {{20, 4, 0x1F}}},
    {"nvme vendor command to the device, maker's driver", kMaker, nvme({0xC5, kOut, 8, 1500, 0x10, 0x11, 1}), {kSrbOk},
     {}},
    // A bridge disk (id 0107h): its command wrapped for the driver in front.
    {"nvme identify, marvell bridge behind inbox nvme", kBridgeInbox, nvme({0x06, kIn, 8, 500}), {kStatusOk}, {}},
    {"nvme identify, marvell bridge behind intel rst", kBridgeRst, nvme({0x06, kOut, 8, 500}), {kStatusOk}, {}},
    {"nvme identify, marvell bridge behind intel rste", kBridgeRste, nvme({0x06, kNone, 8, 500}), {kStatusOk}, {}},
};

std::string requests(fake::world& w) {
    std::string out;
    for (const fake::request& r : w.requests) {
        char line[160];
        std::snprintf(line, sizeof line, "> %s %06X in %zu out %u\n", r.path.c_str(), r.code, r.in.size(), r.out_size);
        out += line + dump(r.in);
    }
    w.requests.clear();
    return out;
}

// The row's device, open, answered with the pattern and the row's fields.
vdx_dev open(fake::world& w, const row& r) {
    const place& at = r.at;
    w.release = at.release;
    win32_forget_release();
    w.devices[at.path].answer = w.devices[at.second_path].answer = pattern(r.answer);
    vdx_dev dev;
    std::strcpy(dev.name, "dev1");
    std::strcpy(dev.device_path, at.path);
    std::strcpy(dev.second_path, at.second_path);
    dev.interface = at.interface;
    dev.connection = at.connection;
    dev.connection_driver = at.driver;
    dev.scsi_address = {8, 2, 4, 5, 6};
    dev.backend = &vdx_windows_backend();
    if (at.setup) at.setup(dev);
    vdx_error error{};
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0) << r.name;
    return dev;
}

TEST(WindowsRequests, EachKindByteForByteWithItsFailures) {
    std::string transcript;
    for (const row& r : kRows) {
        fake::scope fake;
        vdx_dev dev = open(fake.w, r);
        transcript += std::string("## ") + r.name + "\n";
        transcript += r.run(dev) + "\n";
        // Each request of the command failing in turn, then the refusal.
        const std::size_t sent = std::max<std::size_t>(1, fake.w.requests.size());
        transcript += requests(fake.w);
        fake.w.error = 1117;
        for (std::size_t k = 1; k <= sent; ++k) {
            fake.w.devices[r.at.path].answer = fake.w.devices[r.at.second_path].answer = pattern(r.answer, k, {}, true);
            fake.w.requests.clear();
            transcript += "failing call " + std::to_string(k) + ": " + r.run(dev) + "\n";
        }
        if (!r.refused.empty()) {
            fake.w.devices[r.at.path].answer = fake.w.devices[r.at.second_path].answer =
                pattern(r.answer, r.refused_from, r.refused);
            fake.w.requests.clear();
            transcript += "refused: " + r.run(dev) + "\n";
        }
        fake.w.requests.clear();
        vdx_error error{};
        vdx_dev_close(&error, &dev);
    }
    testing::expect_golden(transcript, "windows/golden/requests.txt");
}

// The STP flags by protocol; a 28-bit command leaves the extended FIS bytes 0.
TEST(WindowsRequests, CsmiStpFlagsByProtocol) {
    fake::scope fake;
    vdx_dev dev = open(fake.w, kCsmiIdentify);
    struct flags {
        std::uint8_t protocol;
        std::uint32_t value;
    };
    for (const flags& f : {flags{3, 0x04}, flags{5, 0x12}, flags{6, 0x20}, flags{8, 0x100}, flags{9, 0x200},
                           flags{12, 0x80}, flags{0, 0}}) {
        ata({f.protocol, 0, 0x24, 0x0102, 0x0304, 0x0A0B0C0D0E0Full, 0x40}, kNone, 0, 1500)(dev);
        const bytes& in = fake.w.requests.back().in;
        EXPECT_EQ(wl::get32(in, 64), f.value) << int{f.protocol};
        EXPECT_EQ(bytes(in.begin() + 52, in.begin() + 56), bytes(4, 0));
        EXPECT_EQ(in[57], 0);
    }
}

}  // namespace
}  // namespace enctl
