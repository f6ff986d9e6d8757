#include "sim/disk_logs.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace enctl::sim {

namespace {

// Counters differ from disk to disk but stay the same between runs.
std::uint64_t disk_number(const disk_spec& disk, std::uint32_t salt) {
    std::uint64_t h = disk.naa ^ (0x9E3779B97F4A7C15ull * (salt + 1));
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}

// One log parameter: code, control byte, length, value.
void log_parameter(bytes& page, std::uint16_t code, std::uint8_t control, std::span<const std::uint8_t> value) {
    const std::size_t at = page.size();
    page.resize(at + 4);
    put_be16(&page[at], code);
    page[at + 2] = control;
    page[at + 3] = static_cast<std::uint8_t>(value.size());
    page.insert(page.end(), value.begin(), value.end());
}

void log_parameter(bytes& page, std::uint16_t code, std::uint8_t control, std::initializer_list<std::uint8_t> value) {
    log_parameter(page, code, control, std::span<const std::uint8_t>(value.begin(), value.size()));
}

void counter_parameter(bytes& page, std::uint16_t code, std::uint64_t value) {
    std::uint8_t v[8];
    put_be64(v, value);
    log_parameter(page, code, 0x02, v);
}

constexpr std::uint8_t kSupportedLogPages[] = {0x00, 0x02, 0x03, 0x05, 0x06, 0x0D, 0x0E, 0x10, 0x18, 0x2F};

// Protocol-specific port page (18h): one parameter per SAS port, one phy each.
void sas_port_parameters(bytes& page, const disk_spec& disk) {
    for (std::uint16_t port = 1; port <= 2; ++port) {
        bytes p(8 + 48, 0);
        put_be16(&p[0], port);  // relative target port identifier
        p[2] = 0x03;
        p[3] = static_cast<std::uint8_t>(p.size() - 4);
        p[4] = 0x06;  // SAS
        p[6] = 1;     // generation code
        p[7] = 1;     // phys
        std::uint8_t* phy = &p[8];
        phy[1] = 0;     // phy identifier
        phy[3] = 0x2C;  // descriptor length
        phy[4] = 0x20;  // attached: expander device
        phy[5] = 0x0B;  // negotiated logical link rate 12 Gb/s
        phy[7] = 0x02;  // attached SMP target
        put_be64(&phy[8], disk.naa + port);
        put_be64(&phy[16], 0x50E1AB00000FF03Full + 0x100u * port);
        phy[24] = static_cast<std::uint8_t>(disk_number(disk, 1) % 24);
        put_be32(&phy[32], static_cast<std::uint32_t>(disk_number(disk, 2) % 8));  // invalid dwords
        put_be32(&phy[40], static_cast<std::uint32_t>(disk_number(disk, 3) % 3));  // loss of dword sync
        page.insert(page.end(), p.begin(), p.end());
    }
}

bytes ascii(std::string_view text) { return bytes(text.begin(), text.end()); }

// Log page `code` of a SAS disk, or none.
std::optional<bytes> sas_log_page(const disk_spec& disk, std::uint8_t code) {
    bytes page(4, 0);
    page[0] = code;
    switch (code) {
    case 0x00: page.insert(page.end(), std::begin(kSupportedLogPages), std::end(kSupportedLogPages)); break;
    case 0x02:
    case 0x03:
    case 0x05: {
        const std::uint64_t corrected = disk_number(disk, code) % 50;
        counter_parameter(page, 0x0000, corrected);
        counter_parameter(page, 0x0001, 0);
        counter_parameter(page, 0x0002, 0);
        counter_parameter(page, 0x0003, corrected);
        counter_parameter(page, 0x0004, corrected);
        counter_parameter(page, 0x0005, (disk_number(disk, code + 10) % 4000000) * 1000000);
        counter_parameter(page, 0x0006, 0);
        break;
    }
    case 0x06: log_parameter(page, 0x0000, 0x02, {0, 0, 0, 0}); break;
    case 0x0D:
        log_parameter(page, 0x0000, 0x03, {0, static_cast<std::uint8_t>(30 + disk_number(disk, 4) % 12)});
        log_parameter(page, 0x0001, 0x03, {0, 65});
        break;
    case 0x0E: {
        log_parameter(page, 0x0001, 0x03, ascii("202322"));  // year and week of manufacture
        log_parameter(page, 0x0002, 0x03, ascii("202401"));  // accounting date
        log_parameter(page, 0x0003, 0x03, {0x00, 0x00, 0xC3, 0x50});  // 50000 specified cycles
        log_parameter(page, 0x0004, 0x03, {0x00, 0x00, 0x00, static_cast<std::uint8_t>(20 + disk_number(disk, 5) % 60)});
        log_parameter(page, 0x0005, 0x03, {0x00, 0x09, 0x27, 0xC0});  // 600000 load-unload cycles
        log_parameter(page, 0x0006, 0x03, {0x00, 0x00, 0x01, static_cast<std::uint8_t>(disk_number(disk, 6) % 200)});
        break;
    }
    case 0x10:  // twenty empty self-test results
        for (std::uint16_t n = 1; n <= 20; ++n) log_parameter(page, n, 0x03, bytes(16, 0));
        break;
    case 0x18: sas_port_parameters(page, disk); break;
    case 0x2F:  // no informational exception; temperature
        log_parameter(page, 0x0000, 0x03, {0x00, 0x00, static_cast<std::uint8_t>(30 + disk_number(disk, 4) % 12), 0});
        break;
    default: return std::nullopt;
    }
    put_be16(&page[2], static_cast<std::uint32_t>(page.size() - 4));
    return page;
}

// Mode page `code`, current values or (page control 1) the changeable mask.
bytes mode_page(std::uint8_t code, bool changeable) {
    if (code == 0x08) {
        bytes p(20, 0);
        p[0] = 0x08;
        p[1] = 0x12;
        p[2] = 0x04;  // WCE (changeable too); read cache on (RCD clear)
        return p;
    }
    bytes p(12, 0);  // 1Ch, informational exceptions control
    p[0] = 0x1C;
    p[1] = 0x0A;
    p[2] = changeable ? 0x08 : 0x00;  // DEXCPT clear: exceptions reported
    p[3] = changeable ? 0x0F : 0x04;  // MRIE 4: unconditionally generate recovered error
    return p;
}

std::uint8_t checksum(const bytes& sector) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < sector.size(); ++i) sum = static_cast<std::uint8_t>(sum + sector[i]);
    return static_cast<std::uint8_t>(0x100 - sum);
}

bytes sealed(bytes sector) {
    sector[511] = checksum(sector);
    return sector;
}

struct attribute {
    std::uint8_t id;
    std::uint16_t flags;
    std::uint8_t value, worst, threshold;
    std::uint64_t raw;
};

std::vector<attribute> attributes(const disk_spec& disk) {
    const std::uint8_t temperature = static_cast<std::uint8_t>(30 + disk_number(disk, 4) % 12);
    return {
        {1, 0x000B, 100, 100, 16, 0},
        {5, 0x0033, 100, 100, 10, 0},
        {9, 0x0032, 99, 99, 0, 8000 + disk_number(disk, 7) % 9000},
        {12, 0x0032, 100, 100, 0, 30 + disk_number(disk, 5) % 60},
        {194, 0x0022, static_cast<std::uint8_t>(100 - temperature), 60, 0, temperature},
        {197, 0x0022, 100, 100, 0, 0},
        {199, 0x003E, 200, 200, 0, 0},
    };
}

bytes smart_data(const disk_spec& disk) {
    bytes d(512, 0);
    d[0] = 0x10;  // attribute structure revision
    std::size_t at = 2;
    for (const auto& a : attributes(disk)) {
        d[at] = a.id;
        d[at + 1] = static_cast<std::uint8_t>(a.flags);
        d[at + 2] = static_cast<std::uint8_t>(a.flags >> 8);
        d[at + 3] = a.value;
        d[at + 4] = a.worst;
        for (int i = 0; i < 6; ++i) d[at + 5 + i] = static_cast<std::uint8_t>(a.raw >> (8 * i));
        at += 12;
    }
    d[362] = 0x82;  // off-line data collection completed, automatic collection on
    d[364] = 0x58;  // 600 seconds
    d[365] = 0x02;
    d[367] = 0x1B;  // off-line capabilities: immediate, auto, suspend, surface scan, self-test
    d[368] = 0x03;  // SMART capabilities: saves data, supports auto save
    d[370] = 0x01;  // error logging supported
    d[372] = 2;     // short self-test: 2 minutes
    d[373] = 120;   // extended self-test: 120 minutes
    return sealed(std::move(d));
}

bytes smart_thresholds(const disk_spec& disk) {
    bytes d(512, 0);
    d[0] = 0x10;
    std::size_t at = 2;
    for (const auto& a : attributes(disk)) {
        d[at] = a.id;
        d[at + 1] = a.threshold;
        at += 12;
    }
    return sealed(std::move(d));
}

}  // namespace

scsi_result sas_log_sense(const disk_spec& disk, const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (c.size() < 10) return invalid_field_in_cdb();
    if (c[3] != 0) return invalid_field_in_cdb();  // subpages are not modelled
    auto page = sas_log_page(disk, c[2] & 0x3F);
    if (!page) return invalid_field_in_cdb();
    return good_data(std::move(*page), be16(&c[7]), cmd);
}

scsi_result disk_mode_sense(const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    const bool ten = c[0] == 0x5A;
    if (c.size() < (ten ? 10u : 6u)) return invalid_field_in_cdb();
    const std::uint8_t code = c[2] & 0x3F;
    const bool changeable = (c[2] >> 6) == 1;
    if (c[3] != 0 || (code != 0x08 && code != 0x1C && code != 0x3F)) return invalid_field_in_cdb();
    bytes d(ten ? 8 : 4, 0);
    for (std::uint8_t p : {std::uint8_t{0x08}, std::uint8_t{0x1C}}) {
        if (code != 0x3F && code != p) continue;
        const bytes page = mode_page(p, changeable);
        d.insert(d.end(), page.begin(), page.end());
    }
    if (ten) {
        put_be16(&d[0], static_cast<std::uint32_t>(d.size() - 2));
        d[3] = 0x10;  // DPOFUA
    } else {
        d[0] = static_cast<std::uint8_t>(d.size() - 1);
        d[2] = 0x10;
    }
    return good_data(std::move(d), ten ? be16(&c[7]) : c[4], cmd);
}

scsi_result read_defect_data(const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    const bool twelve = c[0] == 0xB7;
    if (c.size() < (twelve ? 12u : 10u)) return invalid_field_in_cdb();
    bytes d(twelve ? 8 : 4, 0);
    d[1] = (twelve ? c[1] : c[2]) & 0x1F;  // the lists asked for (valid, empty) and the format
    return good_data(std::move(d), twelve ? be32(&c[6]) : be16(&c[7]), cmd);
}

smart_answer sata_smart(const disk_spec& disk, const smart_registers& in) {
    smart_answer out;
    // Every SMART command carries the key 4Fh/C2h in LBA mid/high.
    if (in.lba_mid != 0x4F || in.lba_high != 0xC2) {
        out.aborted = true;
        return out;
    }
    out.lba_mid = 0x4F;
    out.lba_high = 0xC2;
    switch (in.feature) {
    case 0xD0: out.data = smart_data(disk); break;
    case 0xD1: out.data = smart_thresholds(disk); break;
    case 0xD8:  // enable operations
    case 0xD2:  // attribute autosave
    case 0xDA:  // return status: the key unchanged means no threshold exceeded
        break;
    case 0xD5: {  // read log
        bytes d(512, 0);
        switch (in.lba_low) {
        case 0x00:  // directory: version 1; one sector each of logs 01h and 06h
            d[0] = 0x01;
            d[2 * 0x01] = 1;
            d[2 * 0x06] = 1;
            break;
        case 0x01: d[0] = 0x01; break;  // summary error log, no error
        case 0x06: d[0] = 0x01; break;  // self-test log, no test
        default: out.aborted = true; return out;
        }
        if (in.count != 1) {
            out.aborted = true;
            return out;
        }
        out.data = in.lba_low == 0 ? d : sealed(std::move(d));
        break;
    }
    default: out.aborted = true; break;
    }
    return out;
}

nvme_result nvme_get_log_page(const disk_spec& disk, const nvme_command& cmd) {
    nvme_result r;
    const std::uint8_t id = cmd.cdw10 & 0xFF;
    const std::uint32_t dwords = ((cmd.cdw11 & 0xFFFF) << 16 | (cmd.cdw10 >> 16)) + 1;
    bytes d;
    switch (id) {
    case 0x01: d.assign(64, 0); break;  // one error information entry, empty
    case 0x02: {
        d.assign(512, 0);
        const std::uint16_t kelvin = static_cast<std::uint16_t>(273 + 30 + disk_number(disk, 4) % 12);
        d[1] = static_cast<std::uint8_t>(kelvin);
        d[2] = static_cast<std::uint8_t>(kelvin >> 8);
        d[3] = 100;  // available spare
        d[4] = 10;   // spare threshold
        d[5] = static_cast<std::uint8_t>(disk_number(disk, 8) % 20);  // percentage used
        const auto put_le = [&](std::size_t at, std::uint64_t v) {
            for (int i = 0; i < 8; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        put_le(32, 1000000 + disk_number(disk, 9) % 9000000);   // data units read
        put_le(48, 800000 + disk_number(disk, 10) % 7000000);   // data units written
        put_le(112, 40 + disk_number(disk, 5) % 60);            // power cycles
        put_le(128, 8000 + disk_number(disk, 7) % 9000);        // power on hours
        put_le(144, 3);                                         // unsafe shutdowns
        break;
    }
    default:
        r.status = 0x0109;  // invalid log page
        return r;
    }
    d.resize(std::min<std::size_t>(std::size_t{dwords} * 4, cmd.data_len), 0);
    r.data_in = std::move(d);
    return r;
}

}  // namespace enctl::sim
