// The lab's socket protocol, shared by the lab process, its client commands
// and the preload shim. One request per connection: a fixed header, then the
// data-out bytes; one response: a fixed header, then the data-in bytes.
// Both ends run on the same machine from the same build, so the records go
// over the socket as they are.
#pragma once

#include <cstddef>
#include <cstdint>

namespace enctl::sim::wire {

constexpr std::uint32_t request_magic = 0x454C4152;   // "ELAR"
constexpr std::uint32_t response_magic = 0x454C4153;  // "ELAS"
constexpr std::uint32_t max_data = 16u << 20;         // 16 MiB each way

enum request_kind : std::uint32_t { kind_scsi = 1, kind_nvme = 2, kind_control = 3 };

// The sender's clock reading that comes with a command, so that the lab's
// time follows the sender's virtual clock (sim/README.md, "Lab time").
enum clock_kind : std::uint32_t {
    clock_none = 0,     // no reading (a program on the real clock): lab time stands still
    clock_virtual = 2,  // the virtual clock of process sender_pid
};

struct request {
    std::uint32_t magic = request_magic;
    std::uint32_t kind = kind_scsi;
    char node[64] = {};              // "sg3", "sdd", "nvme0"
    std::uint8_t cdb[32] = {};
    std::uint32_t cdb_len = 0;
    std::uint32_t data_out_len = 0;  // bytes that follow the header
    std::uint32_t data_in_len = 0;   // room for data in
    std::uint32_t timeout_ms = 0;
    std::uint8_t nvme_opcode = 0;
    std::uint8_t reserved[3] = {};
    std::uint32_t nvme_nsid = 0;
    std::uint32_t nvme_cdw[6] = {};  // command dwords 10 to 15
    std::uint32_t clock_kind = clock_none;
    std::uint32_t sender_pid = 0;
    std::uint64_t clock_ms = 0;      // the sender's clock reading
};

struct response {
    std::uint32_t magic = response_magic;
    std::int32_t error = 0;          // errno of a failed request (EIO transport failure, ENODEV no such node)
    std::uint8_t status = 0;         // SCSI status
    std::uint8_t host_status = 0;
    std::uint8_t reserved[2] = {};
    std::uint32_t sense_len = 0;
    std::uint8_t sense[252] = {};
    std::uint32_t data_in_len = 0;   // bytes that follow the header
    std::uint32_t duration_ms = 0;
    std::uint32_t nvme_status = 0;   // (status code type << 8) | status code
    std::uint32_t nvme_result = 0;   // completion dword 0
};

}  // namespace enctl::sim::wire
