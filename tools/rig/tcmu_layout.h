// The layout of a TCMU command ring, taken from the kernel's UAPI header by
// a C file (the header's inline helpers are not valid C++).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tcmu_layout {
    uint16_t mailbox_version;
    uint16_t cap_read_len;      /* mailbox flag: the kernel takes read_len */
    size_t mailbox_size;
    size_t version, flags, cmdr_off, cmdr_size, cmd_head, cmd_tail; /* mailbox offsets */
    size_t header_size;         /* an entry's header */
    size_t entry_size;          /* the smallest command entry */
    uint32_t op_mask, op_cmd;   /* len_op: low bits are the opcode */
    size_t uflags;              /* header offset */
    uint8_t uflag_read_len;
    size_t iov_cnt, cdb_off, iov; /* request offsets in an entry */
    size_t iovec_size, iovec_base, iovec_len;
    size_t scsi_status, read_len, sense_buffer, sense_size; /* answer offsets */
};

extern const struct tcmu_layout tcmu_ring_layout;

#ifdef __cplusplus
}
#endif
