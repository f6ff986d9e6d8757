// ATA PASS-THROUGH(16) and the ATA registers returned in sense data.
#include "vdx/vdx_sat.h"

#include <cstring>
#include <span>

#include "basekit/trace.h"
#include "vdx/vdx_sense.h"

namespace enctl {

namespace {

// CDB byte 2 bits.
constexpr std::uint8_t kCkCond = 0x20;
constexpr std::uint8_t kTType = 0x10;
constexpr std::uint8_t kTDir = 0x08;
constexpr std::uint8_t kBytBlok = 0x04;

// Sense keys and additional sense codes that say the ATA registers are returned.
struct registers_returned {
    std::uint8_t key, asc, ascq;
};
constexpr registers_returned kRegistersReturned[] = {
    {0x1, 0x00, 0x1D},  // ATA PASS THROUGH INFORMATION AVAILABLE
    {0x5, 0x21, 0x04},
};

constexpr std::uint8_t kAtaStatusReturnDescriptor = 0x09;
constexpr std::uint8_t kAtaStatusReturnLength = 0x0C;

}  // namespace

void vdx_scsi_build_ata_pass_through(vdx_scsi_cmd* scsi, const vdx_ata_cmd& ata) {
    if (!scsi) return;
    std::memset(scsi, 0, sizeof *scsi);
    std::uint8_t* cdb = scsi->cdb;
    scsi->cdb_length = 16;
    cdb[0] = kSatPassThrough16;
    cdb[1] = static_cast<std::uint8_t>(((ata.protocol & 0x0F) << 1) | (ata.extend & 0x01));
    std::uint8_t flags = ata.t_length & 0x03;
    if (ata.check_condition) flags |= kCkCond;
    if (ata.direction == kVdxDirFromDevice) flags |= kTDir;
    if (ata.transfer_unit == 1 || ata.transfer_unit == 2) {
        flags |= kBytBlok;
        flags &= static_cast<std::uint8_t>(~kTType);
    } else if (ata.transfer_unit == 3) {
        flags &= static_cast<std::uint8_t>(~kBytBlok);
    }
    cdb[2] = flags;
    cdb[3] = static_cast<std::uint8_t>(ata.features >> 8);
    cdb[4] = static_cast<std::uint8_t>(ata.features);
    cdb[5] = static_cast<std::uint8_t>(ata.count >> 8);
    cdb[6] = static_cast<std::uint8_t>(ata.count);
    cdb[7] = static_cast<std::uint8_t>(ata.lba >> 24);
    cdb[8] = static_cast<std::uint8_t>(ata.lba);
    cdb[9] = static_cast<std::uint8_t>(ata.lba >> 32);
    cdb[10] = static_cast<std::uint8_t>(ata.lba >> 8);
    cdb[11] = static_cast<std::uint8_t>(ata.lba >> 40);
    cdb[12] = static_cast<std::uint8_t>(ata.lba >> 16);
    cdb[13] = ata.device;
    cdb[14] = ata.command;
    cdb[15] = 0;
    scsi->direction = ata.direction;
    scsi->data = ata.data;
    scsi->transfer_length = ata.length;
    scsi->timeout = ata.timeout;
    scsi->sense_length = sizeof scsi->sense;
}

bool vdx_scsi_is_ata_pass_through_ck_cond(const vdx_scsi_cmd& scsi) {
    return (scsi.cdb[0] == kSatPassThrough12 || scsi.cdb[0] == kSatPassThrough16) &&
           (scsi.cdb[2] & kCkCond) != 0;
}

void vdx_scsi_fill_ata_result_from_sat(const vdx_scsi_cmd& scsi, vdx_ata_cmd* ata) {
    if (!ata) return;
    TRACE_AT(kTraceRaw, "scsi status %02x\n", scsi.scsi_status);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("scsi sense buffer", std::span(scsi.sense));

    const std::span<const std::uint8_t> returned_sense = vdx_scsi_sense_bytes(scsi);
    if (returned_sense.size() < 8) {
        if (scsi.scsi_status != 0) {
            ata->status = 0xFF;
            ata->error = scsi.scsi_status;
        }
        TRACE_AT(kTraceDevice, "sat - not enough sense to parse\n");
        return;
    }

    const vdx_sense sense = vdx_sense_decode(returned_sense);
    TRACE_AT(kTraceDevice, "sense_key %x\n", sense.key);
    TRACE_AT(kTraceDevice, "asc %02x\n", sense.asc);
    TRACE_AT(kTraceDevice, "ascq %02x\n", sense.ascq);

    if (scsi.scsi_status == 0 && sense.key == 0) {
        TRACE_AT(kTraceDevice, "sat - scsi status good\n");
        return;
    }

    ata->status = 0xFF;
    ata->error = scsi.scsi_status;
    ata->count = sense.key;
    ata->lba = (static_cast<std::uint64_t>(sense.asc) << 8) | sense.ascq;

    bool returned = false;
    for (const auto& row : kRegistersReturned)
        if (row.key == sense.key && row.asc == sense.asc && row.ascq == sense.ascq) returned = true;

    if (returned && sense.format == vdx_sense_format::fixed) {
        auto s = [&](std::size_t at) { return sense.byte(at); };
        if (s(0) & 0x80) {
            ata->count = s(3);
            ata->device = s(4);
            ata->status = s(5);
            ata->error = s(6);
            ata->lba = (static_cast<std::uint64_t>(s(9)) << 16) | (static_cast<std::uint64_t>(s(10)) << 8) | s(11);
        } else {
            ata->error = s(8);
            ata->status = s(9);
            ata->device = s(10);
            ata->count = s(11);
            ata->lba = (static_cast<std::uint64_t>(s(14)) << 24) | (static_cast<std::uint64_t>(s(13)) << 16) | s(12);
        }
    } else if (returned && sense.format == vdx_sense_format::descriptor) {
        // Only an ATA Status Return descriptor returned whole at byte 8 counts.
        const std::span<const std::uint8_t> d = vdx_sense_descriptor_at(sense, 8);
        if (d.size() == 2u + kAtaStatusReturnLength && d[0] == kAtaStatusReturnDescriptor) {
            ata->error = d[3];
            ata->count = static_cast<std::uint16_t>((d[4] << 8) | d[5]);
            ata->lba = (static_cast<std::uint64_t>(d[10]) << 40) | (static_cast<std::uint64_t>(d[8]) << 32) |
                       (static_cast<std::uint64_t>(d[6]) << 24) | (static_cast<std::uint64_t>(d[11]) << 16) |
                       (static_cast<std::uint64_t>(d[9]) << 8) | d[7];
            ata->device = d[12];
            ata->status = d[13];
        }
    }

    TRACE_AT(kTraceRaw, "vdx_ata_cmd return data:\n");
    TRACE_AT(kTraceRaw, "status: 0x%02x\n", ata->status);
    TRACE_AT(kTraceRaw, "error: %02x\n", ata->error);
    TRACE_AT(kTraceRaw, "count: 0x%04x\n", ata->count);
    TRACE_AT(kTraceRaw, "lba: 0x%llx\n", static_cast<unsigned long long>(ata->lba));
}

}  // namespace enctl
