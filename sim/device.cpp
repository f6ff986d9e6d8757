#include "sim/device.h"

#include <algorithm>

namespace enctl::sim {

bytes fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    bytes s(18, 0);
    s[0] = 0x70;
    s[2] = key & 0x0F;
    s[7] = 10;  // additional sense length
    s[12] = asc;
    s[13] = ascq;
    return s;
}

scsi_result check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    scsi_result r;
    r.status = 0x02;
    r.sense = fixed_sense(key, asc, ascq);
    return r;
}

scsi_result invalid_opcode() { return check_condition(0x05, 0x20, 0x00); }
scsi_result invalid_field_in_cdb() { return check_condition(0x05, 0x24, 0x00); }
scsi_result invalid_field_in_parameters() { return check_condition(0x05, 0x26, 0x00); }

scsi_result good_data(bytes data, std::uint32_t limit, const scsi_command& cmd) {
    const std::size_t n = std::min<std::size_t>({data.size(), limit, cmd.data_in_capacity});
    data.resize(n);
    scsi_result r;
    r.data_in = std::move(data);
    return r;
}

std::uint32_t allocation_length(const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (c.empty()) return 0;
    switch (c[0]) {
    case 0x12:  // INQUIRY
    case 0x1C:  // RECEIVE DIAGNOSTIC RESULTS
        return c.size() >= 5 ? enctl::be16(&c[3]) : 0;
    case 0x1A:  // MODE SENSE(6)
    case 0x03:  // REQUEST SENSE
        return c.size() >= 5 ? c[4] : 0;
    case 0x5A:  // MODE SENSE(10)
        return c.size() >= 9 ? enctl::be16(&c[7]) : 0;
    case 0x9E:  // SERVICE ACTION IN(16)
    case 0xA0:  // REPORT LUNS (bytes 6-9)
        if (c[0] == 0xA0) return c.size() >= 10 ? enctl::be32(&c[6]) : 0;
        return c.size() >= 14 ? enctl::be32(&c[10]) : 0;
    default:
        return cmd.data_in_capacity;
    }
}

int command_page(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data_out) {
    if (cdb.empty()) return -1;
    const auto at = [&](std::size_t i) { return i < cdb.size() ? int{cdb[i]} : -1; };
    switch (cdb[0]) {
    case 0x12: return (at(1) & 1) == 1 ? at(2) : -1;
    case 0x1C: return (at(1) & 1) == 1 ? at(2) : -1;
    case 0x1D: return data_out.empty() ? -1 : data_out[0];
    case 0x1A:
    case 0x4D:
    case 0x5A: return at(2) < 0 ? -1 : (at(2) & 0x3F);
    case 0x55: return data_out.size() > 8 ? (data_out[8] & 0x3F) : -1;  // MODE SELECT(10): the page sent
    case 0x9E: return at(1) < 0 ? -1 : (at(1) & 0x1F);
    case 0x85: return at(14);
    case 0xA1: return at(9);
    case 0xE6: return at(2);
    default: return -1;
    }
}

scsi_result device::scsi(const scsi_command&) { return invalid_opcode(); }

nvme_result device::nvme_admin(const nvme_command&) {
    nvme_result r;
    r.transport_failure = true;  // not an NVMe device: the request is refused
    return r;
}

}  // namespace enctl::sim
