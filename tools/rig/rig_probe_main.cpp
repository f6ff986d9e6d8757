// enctl-rig-probe: sends the largest transfers enctl makes through the
// platform backend to every enclosure and disk the system shows, and prints
// one line per command: the backend's result, SCSI status, sense key and
// additional sense code, bytes transferred and a checksum of them. Run once
// through the lab's shim and once through the real kernel, the two outputs
// must be the same.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_send.h"
#include "vdx/vdx.h"

namespace {

using namespace enctl;

constexpr std::size_t kLargestPageRead = 65535;  // reply page ECh
constexpr std::size_t kSegment = 4096;           // firmware segments and E6h pieces

std::uint32_t checksum(const std::uint8_t* data, std::size_t n) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

// Sends a built command and prints what came back.
void run(vdx_dev& dev, const char* what, vdx_scsi_cmd& cmd) {
    vdx_error error{};
    const int result = vdx_scsi_execute(&error, &dev, &cmd);
    const std::uint32_t got = cmd.direction == kVdxDirFromDevice ? cmd.bytes_transferred : 0;
    unsigned key = 0, asc = 0, ascq = 0;
    if (cmd.scsi_status == 0x02 && cmd.sense_length >= 14) {
        const bool descriptor = (cmd.sense[0] & 0x7F) >= 0x72;
        key = (descriptor ? cmd.sense[1] : cmd.sense[2]) & 0x0F;
        asc = descriptor ? cmd.sense[2] : cmd.sense[12];
        ascq = descriptor ? cmd.sense[3] : cmd.sense[13];
    }
    std::printf("%s %s: result %d status %02Xh sense %X/%02X/%02X", dev.name, what, result, cmd.scsi_status, key,
                asc, ascq);
    // Data counts only mean something for a command that completed.
    if (result == 0 && cmd.scsi_status == 0x00 && cmd.data)
        std::printf(" transferred %u checksum %08X", got, checksum(cmd.data, got));
    std::printf("\n");
}

void probe_enclosure(vdx_dev& dev) {
    std::vector<std::uint8_t> page(kLargestPageRead);
    vdx_scsi_cmd cmd;
    for (const std::uint8_t code : {0x01, 0x02, 0x07, 0x0A, 0xEC}) {
        char what[64];
        std::snprintf(what, sizeof what, "receive diagnostic %02Xh (%zu)", code, page.size());
        std::fill(page.begin(), page.end(), 0);
        cmdxscsi_build_receive_diagnostic(&cmd, true, code, page);
        run(dev, what, cmd);
    }
    // One firmware segment of the largest size, in a download microcode page.
    std::vector<std::uint8_t> segment(kSegment);
    for (std::size_t i = 0; i < segment.size(); ++i) segment[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::vector<std::uint8_t> control =
        ses_build_download_microcode_page(0, 0x0E, 0, static_cast<std::uint32_t>(kSegment + 1), segment);
    cmdxscsi_build_send_diagnostic(&cmd, send_diagnostic_bits{}, control);
    run(dev, "send diagnostic 0Eh (4096-byte segment)", cmd);
    // A piece of an expander log. The enhanced (bundle) form is not compared:
    // LIO hands a handler only 10 bytes of a vendor CDB, and the lab checks
    // the bundle fields in bytes 10-11, so through the kernel it answers
    // INVALID FIELD IN CDB where the shim's full CDB gets the bundle's own
    // answer (tools/rig/README.md, limits).
    std::vector<std::uint8_t> piece(kSegment);
    cmdxscsi_build_vendor_e6_read(&cmd, 0, 0, 1, 0, piece);
    run(dev, "vendor E6h read (4096)", cmd);
}

void probe_disk(vdx_dev& dev) {
    std::vector<std::uint8_t> buffer(kSegment);
    vdx_scsi_cmd cmd;
    cmdxscsi_build_inquiry(&cmd, true, 0x83, buffer);
    run(dev, "inquiry 83h (4096)", cmd);
    cmdxscsi_build_read_capacity16(&cmd, std::span(buffer).first(32));
    run(dev, "read capacity 16 (32)", cmd);
    if (dev.interface != kVdxInterfaceScsiSatAta) return;
    // IDENTIFY DEVICE through ATA PASS-THROUGH.
    std::vector<std::uint8_t> identify(512);
    vdx_ata_cmd ata{};
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.data = identify.data();
    ata.length = static_cast<std::uint32_t>(identify.size());
    ata.timeout = kVdxAtaTimeoutMs;
    ata.direction = kVdxDirFromDevice;
    vdx_error error{};
    const int result = vdx_ata_execute(&error, &dev, &ata);
    std::printf("%s ata identify device (512): result %d status %02Xh checksum %08X\n", dev.name, result, ata.status,
                checksum(identify.data(), identify.size()));
}

}  // namespace

int main() {
    int devices = 0;
    for (const std::uint32_t flag : {kVdxEnumSes, kVdxEnumDisks}) {
        vdx_dev_list list;
        vdx_dev_enumerate_flags(&list, flag);
        for (vdx_dev& dev : list.view()) {
            vdx_error error{};
            if (vdx_dev_probe(&error, &dev) != 0) {
                std::printf("%s: cannot be opened (%u)\n", dev.name, error.subcode);
                continue;
            }
            ++devices;
            if (flag == kVdxEnumSes)
                probe_enclosure(dev);
            else
                probe_disk(dev);
            vdx_dev_close(&error, &dev);
        }
        vdx_dev_release(&list);
    }
    if (devices == 0) {
        std::fputs("enctl-rig-probe: no devices found\n", stderr);
        return 1;
    }
    return 0;
}
