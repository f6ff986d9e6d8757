// A simulated device: answers SCSI commands (CDB and data out -> status,
// sense, data in) and NVMe admin commands, the way a real device does through
// the operating system's pass-through.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/bytes.h"

namespace enctl::sim {

struct scsi_command {
    std::span<const std::uint8_t> cdb;
    std::span<const std::uint8_t> data_out;
    std::uint32_t data_in_capacity = 0;  // room of the caller's data-in buffer
    std::uint32_t timeout_ms = 30000;
};

struct scsi_result {
    std::uint8_t status = 0;        // SCSI status byte (00h GOOD, 02h CHECK CONDITION, 08h BUSY)
    bytes sense;                    // sense data when status is CHECK CONDITION
    bytes data_in;                  // the bytes transferred to the host
    bool transport_failure = false; // the request did not reach the device
    std::uint8_t host_status = 0;   // 03h when the command timed out
    std::uint32_t duration_ms = 0;
};

struct nvme_command {
    std::uint8_t opcode = 0;
    std::uint32_t nsid = 0;
    std::uint32_t cdw10 = 0, cdw11 = 0, cdw12 = 0, cdw13 = 0, cdw14 = 0, cdw15 = 0;
    std::span<const std::uint8_t> data_out;
    std::uint32_t data_len = 0;     // data buffer size
    std::uint32_t timeout_ms = 30000;
};

struct nvme_result {
    std::uint16_t status = 0;       // (status code type << 8) | status code; 0 = success
    std::uint32_t result = 0;       // completion dword 0
    bytes data_in;
    bool transport_failure = false;
    std::uint32_t duration_ms = 0;
};

// Sense data and ready-made results.
bytes fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
scsi_result check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
scsi_result invalid_opcode();       // ILLEGAL REQUEST, 20h/00h
scsi_result invalid_field_in_cdb(); // ILLEGAL REQUEST, 24h/00h
scsi_result invalid_field_in_parameters();  // ILLEGAL REQUEST, 26h/00h
// GOOD with `data` cut to `limit` bytes and to the caller's buffer.
scsi_result good_data(bytes data, std::uint32_t limit, const scsi_command& cmd);

// Allocation length of a CDB that carries one (INQUIRY, RECEIVE DIAGNOSTIC
// RESULTS, MODE SENSE, READ CAPACITY(16), ...); the caller's buffer otherwise.
std::uint32_t allocation_length(const scsi_command& cmd);

// The page a command asks for, used to match faults and to count commands:
// VPD page, diagnostic page (received or sent), mode page, service action,
// ATA command of ATA PASS-THROUGH; -1 when the command has none.
int command_page(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data_out);

class device {
public:
    virtual ~device() = default;
    virtual scsi_result scsi(const scsi_command& cmd);
    virtual nvme_result nvme_admin(const nvme_command& cmd);
};

}  // namespace enctl::sim
