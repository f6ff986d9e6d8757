#include "tools/rig/tcmu_layout.h"

#include <linux/target_core_user.h>

const struct tcmu_layout tcmu_ring_layout = {
    .mailbox_version = TCMU_MAILBOX_VERSION,
    .cap_read_len = TCMU_MAILBOX_FLAG_CAP_READ_LEN,
    .mailbox_size = sizeof(struct tcmu_mailbox),
    .version = offsetof(struct tcmu_mailbox, version),
    .flags = offsetof(struct tcmu_mailbox, flags),
    .cmdr_off = offsetof(struct tcmu_mailbox, cmdr_off),
    .cmdr_size = offsetof(struct tcmu_mailbox, cmdr_size),
    .cmd_head = offsetof(struct tcmu_mailbox, cmd_head),
    .cmd_tail = offsetof(struct tcmu_mailbox, cmd_tail),
    .header_size = sizeof(struct tcmu_cmd_entry_hdr),
    .entry_size = sizeof(struct tcmu_cmd_entry),
    .op_mask = TCMU_OP_MASK,
    .op_cmd = TCMU_OP_CMD,
    .uflags = offsetof(struct tcmu_cmd_entry_hdr, uflags),
    .uflag_read_len = TCMU_UFLAG_READ_LEN,
    .iov_cnt = offsetof(struct tcmu_cmd_entry, req.iov_cnt),
    .cdb_off = offsetof(struct tcmu_cmd_entry, req.cdb_off),
    .iov = offsetof(struct tcmu_cmd_entry, req.iov),
    .iovec_size = sizeof(struct iovec),
    .iovec_base = offsetof(struct iovec, iov_base),
    .iovec_len = offsetof(struct iovec, iov_len),
    .scsi_status = offsetof(struct tcmu_cmd_entry, rsp.scsi_status),
    .read_len = offsetof(struct tcmu_cmd_entry, rsp.read_len),
    .sense_buffer = offsetof(struct tcmu_cmd_entry, rsp.sense_buffer),
    .sense_size = TCMU_SENSE_BUFFERSIZE,
};
