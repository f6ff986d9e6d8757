#include "sim/disk.h"

#include <algorithm>

#include "sim/disk_logs.h"

namespace enctl::sim {

namespace {

bytes vpd_header(std::uint8_t page, std::uint8_t type = 0x00) {
    bytes d(4, 0);
    d[0] = type;
    d[1] = page;
    return d;
}

scsi_result vpd_done(bytes d, const scsi_command& cmd) {
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    return good_data(std::move(d), allocation_length(cmd), cmd);
}

void append_naa(bytes& d, std::uint8_t b0, std::uint8_t b1, std::uint64_t naa) {
    bytes desc = {b0, b1, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0};
    put_be64(&desc[4], naa);
    d.insert(d.end(), desc.begin(), desc.end());
}

// ATA strings: two characters per word, the first in the high byte.
void put_ata_string(std::uint8_t* p, std::size_t n, std::string_view text) {
    const auto ch = [&](std::size_t k) { return static_cast<std::uint8_t>(k < text.size() ? text[k] : ' '); };
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        p[i] = ch(i + 1);
        p[i + 1] = ch(i);
    }
}

void put_word(bytes& d, std::size_t word, std::uint16_t v) {
    d[2 * word] = static_cast<std::uint8_t>(v);
    d[2 * word + 1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

scsi_result sas_disk::scsi(const scsi_command& cmd) {
    if (cmd.cdb.empty()) return invalid_opcode();
    switch (cmd.cdb[0]) {
    case 0x00: return {};
    case 0x03: return good_data(fixed_sense(0, 0, 0), allocation_length(cmd), cmd);
    case 0x12: return inquiry(cmd);
    case 0x4D: return sas_log_sense(spec_, cmd);
    case 0x37:
    case 0xB7: return read_defect_data(cmd);
    case 0x1A:
    case 0x5A: return disk_mode_sense(cmd);
    case 0x9E:
        if (cmd.cdb.size() >= 16 && (cmd.cdb[1] & 0x1F) == 0x10) return read_capacity16(cmd);
        return invalid_field_in_cdb();
    case 0xA0: {
        bytes d(16, 0);
        d[3] = 8;
        return good_data(std::move(d), allocation_length(cmd), cmd);
    }
    default: return invalid_opcode();
    }
}

scsi_result sas_disk::inquiry(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    if (c.size() < 6) return invalid_field_in_cdb();
    if ((c[1] & 0x01) == 0) {
        if (c[2] != 0) return invalid_field_in_cdb();
        bytes d(96, 0);
        d[2] = 0x06;
        d[3] = 0x12;
        d[4] = static_cast<std::uint8_t>(d.size() - 5);
        d[6] = 0x10;  // MultiP: two ports
        d[7] = 0x02;
        put_padded(&d[8], 8, spec_.vendor);
        put_padded(&d[16], 16, spec_.model);
        put_padded(&d[32], 4, spec_.revision);
        return good_data(std::move(d), allocation_length(cmd), cmd);
    }
    bytes d = vpd_header(c[2]);
    switch (c[2]) {
    case 0x00: d.insert(d.end(), {0x00, 0x80, 0x83}); break;
    case 0x80: d.insert(d.end(), spec_.serial.begin(), spec_.serial.end()); break;
    case 0x83: {
        append_naa(d, 0x01, 0x03, spec_.naa);              // logical unit name
        append_naa(d, 0x61, 0x93, port_address(0));        // target port, SAS
        const bytes rel = {0x61, 0x94, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01};
        d.insert(d.end(), rel.begin(), rel.end());
        append_naa(d, 0x61, 0xA3, spec_.naa + 3);          // target device name
        break;
    }
    default: return invalid_field_in_cdb();
    }
    return vpd_done(std::move(d), cmd);
}

scsi_result sas_disk::read_capacity16(const scsi_command& cmd) const {
    bytes d(32, 0);
    put_be64(&d[0], spec_.blocks ? spec_.blocks - 1 : 0);
    put_be32(&d[8], spec_.block_size);
    return good_data(std::move(d), allocation_length(cmd), cmd);
}

// SATA behind SCSI/ATA translation: the translating layer answers INQUIRY with
// vendor "ATA", VPD 89h, and a VPD 83h built the way Linux builds it.
scsi_result sata_disk::inquiry(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    if (c.size() < 6) return invalid_field_in_cdb();
    if ((c[1] & 0x01) == 0) {
        if (c[2] != 0) return invalid_field_in_cdb();
        bytes d(96, 0);
        d[2] = 0x06;
        d[3] = 0x12;
        d[4] = static_cast<std::uint8_t>(d.size() - 5);
        d[7] = 0x02;
        put_padded(&d[8], 8, "ATA");
        put_padded(&d[16], 16, spec_.model);
        std::string rev = spec_.revision;
        if (rev.size() > 4) rev = rev.substr(rev.size() - 4);
        put_padded(&d[32], 4, rev);
        return good_data(std::move(d), allocation_length(cmd), cmd);
    }
    bytes d = vpd_header(c[2]);
    switch (c[2]) {
    case 0x00: d.insert(d.end(), {0x00, 0x80, 0x83, 0x89}); break;
    case 0x80: d.insert(d.end(), spec_.serial.begin(), spec_.serial.end()); break;
    case 0x83: {
        // vendor specific (the serial), T10 vendor id, then the NAA name
        bytes vs = {0x02, 0x00, 0x00, static_cast<std::uint8_t>(spec_.serial.size())};
        vs.insert(vs.end(), spec_.serial.begin(), spec_.serial.end());
        d.insert(d.end(), vs.begin(), vs.end());
        std::string t10 = padded("ATA", 8) + padded(spec_.model, 40) + padded(spec_.serial, 20);
        bytes tv = {0x02, 0x01, 0x00, static_cast<std::uint8_t>(t10.size())};
        tv.insert(tv.end(), t10.begin(), t10.end());
        d.insert(d.end(), tv.begin(), tv.end());
        append_naa(d, 0x01, 0x03, spec_.naa);
        break;
    }
    case 0x89: {
        bytes body(0x238, 0);  // page length 238h: IDENTIFY data at bytes 60-571
        put_padded(&body[4], 8, "linux");
        put_padded(&body[12], 16, "libata");
        put_padded(&body[28], 4, "3.00");
        body[56 - 4] = 0xEC;  // command code of the IDENTIFY data that follows
        const bytes id = identify_data();
        std::copy(id.begin(), id.end(), body.begin() + (60 - 4));
        d.insert(d.end(), body.begin(), body.end());
        break;
    }
    default: return invalid_field_in_cdb();
    }
    return vpd_done(std::move(d), cmd);
}

scsi_result sata_disk::scsi(const scsi_command& cmd) {
    if (!cmd.cdb.empty() && (cmd.cdb[0] == 0x85 || cmd.cdb[0] == 0xA1)) return ata_pass_through(cmd);
    // The translating layer has no LOG SENSE.
    if (!cmd.cdb.empty() && cmd.cdb[0] == 0x4D) return invalid_opcode();
    return sas_disk::scsi(cmd);
}

bytes sata_disk::identify_data() const {
    bytes d(512, 0);
    put_word(d, 0, 0x0040);  // fixed device
    put_ata_string(&d[20], 20, spec_.serial);
    put_ata_string(&d[46], 8, spec_.revision);
    put_ata_string(&d[54], 40, spec_.model);
    put_word(d, 49, 0x0300);  // LBA, DMA
    const std::uint64_t blocks = spec_.blocks;
    const std::uint32_t lba28 = blocks > 0x0FFFFFFF ? 0x0FFFFFFF : static_cast<std::uint32_t>(blocks);
    put_word(d, 60, static_cast<std::uint16_t>(lba28));
    put_word(d, 61, static_cast<std::uint16_t>(lba28 >> 16));
    put_word(d, 80, 0x0FF0);  // ATA8-ACS and later
    put_word(d, 82, 0x0061);  // SMART, write cache, look-ahead supported
    put_word(d, 83, 0x4400);  // 48-bit address feature set
    put_word(d, 84, 0x4003);  // SMART error logging and self-test supported
    put_word(d, 85, 0x0061);  // ... and enabled
    put_word(d, 86, 0x0400);
    put_word(d, 87, 0x4003);
    for (int i = 0; i < 4; ++i) put_word(d, 100 + i, static_cast<std::uint16_t>(blocks >> (16 * i)));
    put_word(d, 106, 0x4000);
    for (int i = 0; i < 4; ++i) put_word(d, 108 + i, static_cast<std::uint16_t>(spec_.naa >> (48 - 16 * i)));
    put_word(d, 217, 7200);  // nominal media rotation rate
    // Integrity word: signature A5h, checksum making the byte sum zero.
    d[510] = 0xA5;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 511; ++i) sum = static_cast<std::uint8_t>(sum + d[i]);
    d[511] = static_cast<std::uint8_t>(0x100 - sum);
    return d;
}

scsi_result sata_disk::ata_pass_through(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    const bool sixteen = c[0] == 0x85;
    if (c.size() < (sixteen ? 16u : 12u)) return invalid_field_in_cdb();
    const std::uint8_t protocol = (c[1] >> 1) & 0x0F;
    const bool ck_cond = (c[2] & 0x20) != 0;
    const bool t_dir_in = (c[2] & 0x08) != 0;
    const std::uint8_t command = sixteen ? c[14] : c[9];

    // ATA Status Return descriptor in descriptor-format sense.
    auto ata_sense = [](std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, std::uint8_t status,
                        std::uint8_t error, std::uint8_t count, std::uint8_t lba_mid = 0, std::uint8_t lba_high = 0) {
        bytes s(8 + 14, 0);
        s[0] = 0x72;
        s[1] = key;
        s[2] = asc;
        s[3] = ascq;
        s[7] = 14;
        s[8] = 0x09;
        s[9] = 0x0C;
        s[11] = error;
        s[13] = count;
        s[17] = lba_mid;
        s[19] = lba_high;
        s[20] = 0x40;  // device
        s[21] = status;
        return s;
    };

    scsi_result r;
    std::uint8_t count = 0;
    std::uint8_t lba_mid = 0, lba_high = 0;
    switch (command) {
    case 0xEC:  // IDENTIFY DEVICE: PIO data-in, 512 bytes
        if (protocol != 4 || !t_dir_in) return invalid_field_in_cdb();
        r = good_data(identify_data(), 512, cmd);
        count = 1;
        break;
    case 0xE5:  // CHECK POWER MODE: non-data, count FFh = active
        count = 0xFF;
        break;
    case 0xE7:  // FLUSH CACHE
        break;
    case 0xB0: {  // SMART
        smart_registers in;
        in.feature = sixteen ? c[4] : c[3];
        in.count = sixteen ? c[6] : c[4];
        in.lba_low = sixteen ? c[8] : c[5];
        in.lba_mid = sixteen ? c[10] : c[6];
        in.lba_high = sixteen ? c[12] : c[7];
        smart_answer a = sata_smart(spec_, in);
        if (a.aborted) {
            scsi_result ab;
            ab.status = 0x02;
            ab.sense = ata_sense(0x0B, 0x00, 0x00, 0x51, 0x04, 0);
            return ab;
        }
        if (!a.data.empty()) {
            if (protocol != 4 || !t_dir_in) return invalid_field_in_cdb();
            r = good_data(std::move(a.data), 512, cmd);
        }
        lba_mid = a.lba_mid;
        lba_high = a.lba_high;
        break;
    }
    default: {
        // Aborted by the device: ERR set, ABRT in the error register.
        scsi_result a;
        a.status = 0x02;
        a.sense = ata_sense(0x0B, 0x00, 0x00, 0x51, 0x04, 0);
        return a;
    }
    }
    if (ck_cond) {
        // The registers are returned: RECOVERED ERROR, ATA PASS THROUGH INFORMATION AVAILABLE.
        r.status = 0x02;
        r.sense = ata_sense(0x01, 0x00, 0x1D, 0x50, 0x00, count, lba_mid, lba_high);
    }
    return r;
}

nvme_result nvme_disk::nvme_admin(const nvme_command& cmd) {
    nvme_result r;
    switch (cmd.opcode) {
    case 0x02: return nvme_get_log_page(spec_, cmd);
    case 0x06: {  // Identify
        const std::uint8_t cns = cmd.cdw10 & 0xFF;
        bytes d(4096, 0);
        if (cns == 0x01) {
            d = identify_controller();
        } else if (cns == 0x00 && cmd.nsid == 1) {
            put_be64(&d[0], 0);
            for (int i = 0; i < 8; ++i) {
                d[i] = static_cast<std::uint8_t>(spec_.blocks >> (8 * i));       // NSZE
                d[8 + i] = static_cast<std::uint8_t>(spec_.blocks >> (8 * i));   // NCAP
                d[16 + i] = static_cast<std::uint8_t>(spec_.blocks >> (8 * i));  // NUSE
            }
            d[130] = spec_.block_size == 4096 ? 12 : 9;  // LBA format 0: LBADS
        } else if (cns == 0x02) {
            d[0] = 1;  // active namespace list: namespace 1
        } else {
            r.status = 0x0002;  // invalid field in command
            return r;
        }
        d.resize(std::min<std::size_t>(d.size(), cmd.data_len));
        r.data_in = std::move(d);
        return r;
    }
    default:
        r.status = 0x0001;  // invalid command opcode
        return r;
    }
}

bytes nvme_disk::identify_controller() const {
    bytes d(4096, 0);
    d[0] = 0x4C;  // PCI vendor id (lab)
    d[1] = 0x1B;
    d[2] = 0x4C;
    d[3] = 0x1B;
    put_padded(&d[4], 20, spec_.serial);
    put_padded(&d[24], 40, spec_.model);
    put_padded(&d[64], 8, spec_.revision);
    d[77] = 5;   // MDTS
    d[80] = 0x00;  // version 1.4
    d[81] = 0x04;
    d[82] = 0x01;
    d[516] = 1;  // one namespace
    return d;
}

}  // namespace enctl::sim
