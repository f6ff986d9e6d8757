// Preload shim of the lab: makes the lab's device nodes (regular files under
// $ENCTL_SYSROOT/dev written by enctl-lab) behave like SCSI generic, SCSI
// disk and NVMe controller nodes. SG_IO, the sg driver's small queries and
// NVMe admin pass-through on those file descriptors are forwarded to the lab
// process over its socket; every other file descriptor is left untouched.
//
// Plain C style on purpose: it runs inside foreign programs (sg3_utils,
// sanitized test builds) and must not depend on their C++ runtime state.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/wire.h"

namespace {

namespace wire = enctl::sim::wire;

constexpr unsigned long scsi_ioctl_get_idlun = 0x5382;
constexpr unsigned long scsi_ioctl_get_bus_number = 0x5386;
constexpr int max_fds = 65536;

struct lab_fd {
    bool lab;
    char node[32];
    int host, channel, target, lun, type;
    int reserved_size;
    int timeout;
};

lab_fd g_fds[max_fds];

using open_fn = int (*)(const char*, int, ...);
using openat_fn = int (*)(int, const char*, int, ...);
using open2_fn = int (*)(const char*, int);
using openat2_fn = int (*)(int, const char*, int);
using close_fn = int (*)(int);
using dup_fn = int (*)(int);
using dup2_fn = int (*)(int, int);
using dup3_fn = int (*)(int, int, int);
using fcntl_fn = int (*)(int, int, ...);
using ioctl_fn = int (*)(int, unsigned long, ...);
using fstat_fn = int (*)(int, struct stat*);
using fxstat_fn = int (*)(int, int, struct stat*);

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool debug_on() {
    static int on = -1;
    if (on < 0) {
        const char* v = getenv("ENCTL_LAB_SHIM_DEBUG");
        on = v && *v == '1';
    }
    return on == 1;
}

// Where the lab's nodes live, and the socket of the lab process.
bool lab_paths(char* dev_dir, size_t dev_size, char* sock, size_t sock_size) {
    const char* root = getenv("ENCTL_SYSROOT");
    if (!root || !*root) return false;
    if (snprintf(dev_dir, dev_size, "%s/dev", root) >= static_cast<int>(dev_size)) return false;
    const char* s = getenv("ENCTL_LAB_SOCKET");
    if (s && *s) {
        if (snprintf(sock, sock_size, "%s", s) >= static_cast<int>(sock_size)) return false;
    } else {
        // The lab keeps its root at DIR/root and its socket at DIR/lab.sock.
        if (snprintf(sock, sock_size, "%s/../lab.sock", root) >= static_cast<int>(sock_size)) return false;
    }
    return true;
}

// A freshly opened descriptor: is it one of the lab's nodes?
int note_open(int fd) {
    if (fd < 0 || fd >= max_fds) return fd;
    g_fds[fd].lab = false;
    char dev_dir[4096], sock[4096];
    if (!lab_paths(dev_dir, sizeof dev_dir, sock, sizeof sock)) return fd;
    static fstat_fn real_fstat = real<fstat_fn>("fstat");
    struct stat st;
    // A node's text ("enctl-lab NODE H C T L TYPE") is longer than 10
    // characters; smaller files (most sysfs attributes) are not read.
    if (!real_fstat || real_fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 256 || st.st_size <= 10)
        return fd;
    char text[257];
    const ssize_t n = pread(fd, text, 256, 0);
    if (n <= 10) return fd;
    text[n] = '\0';
    lab_fd info{};
    if (sscanf(text, "enctl-lab %31s %d %d %d %d %d", info.node, &info.host, &info.channel, &info.target, &info.lun,
               &info.type) != 6)
        return fd;
    // The file must be the node of that name in the lab's /dev.
    char path[4200];
    struct stat node_st;
    snprintf(path, sizeof path, "%s/%s", dev_dir, info.node);
    if (stat(path, &node_st) != 0 || node_st.st_dev != st.st_dev || node_st.st_ino != st.st_ino) return fd;
    info.lab = true;
    info.reserved_size = 32768;
    info.timeout = 60 * 100;
    g_fds[fd] = info;
    if (debug_on()) fprintf(stderr, "enctl-lab shim: fd %d is %s\n", fd, info.node);
    return fd;
}

lab_fd* lab_of(int fd) { return fd >= 0 && fd < max_fds && g_fds[fd].lab ? &g_fds[fd] : nullptr; }

bool write_all(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool read_all(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// The program's virtual clock reading for the lab: a program built from this
// tree exports enctl_virtual_clock_reading, which answers while its clock is
// virtual. Any other program, or one on the real clock, sends no reading.
void stamp_clock(wire::request& rq) {
    using reading_fn = int (*)(uint64_t*);
    static const reading_fn virtual_reading = reinterpret_cast<reading_fn>(dlsym(RTLD_DEFAULT, "enctl_virtual_clock_reading"));
    uint64_t ms = 0;
    if (!virtual_reading || !virtual_reading(&ms)) return;
    rq.clock_kind = wire::clock_virtual;
    rq.sender_pid = static_cast<uint32_t>(getpid());
    rq.clock_ms = ms;
}

// This thread's connection to the lab, kept for its next commands: the lab
// answers any number of requests on one connection, so a program that sends
// thousands of commands does not pay a connection for each. A connection is
// not taken over by a forked child, and is given up when the program closed
// its descriptor (the socket behind it is checked before each use).
struct lab_connection {
    int fd = -1;
    pid_t pid = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    char sock[sizeof(sockaddr_un{}.sun_path)] = {};

    ~lab_connection() { drop(); }
    bool usable(const char* path) const {
        if (fd < 0 || pid != getpid() || strcmp(sock, path) != 0) return false;
        static fstat_fn real_fstat = real<fstat_fn>("fstat");
        struct stat st;
        return real_fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == dev && st.st_ino == ino;
    }
    void drop() {
        static close_fn real_close = real<close_fn>("close");
        if (fd >= 0 && pid == getpid() && usable(sock)) real_close(fd);
        fd = -1;
    }
    bool open(const char* path) {
        drop();
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (strlen(path) >= sizeof addr.sun_path) return false;
        strcpy(addr.sun_path, path);
        const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) return false;
        static close_fn real_close = real<close_fn>("close");
        static fstat_fn real_fstat = real<fstat_fn>("fstat");
        struct stat st;
        if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || real_fstat(s, &st) != 0) {
            real_close(s);
            return false;
        }
        // Out of the way of the program's own descriptors: the numbers it is
        // given (and traces) do not depend on how many threads talk to the lab.
        constexpr int kFirstConnectionFd = 700;
        if (const int high = fcntl(s, F_DUPFD_CLOEXEC, kFirstConnectionFd); high >= 0) {
            real_close(s);
            fd = high;
        } else {
            fd = s;
        }
        pid = getpid();
        dev = st.st_dev;
        ino = st.st_ino;
        strcpy(sock, path);
        return true;
    }
};
thread_local lab_connection t_lab;

// One request to the lab process, stamped with the clock reading. Data in
// lands in `in` (at most `in_size` bytes, the count in `*in_len`). False when
// the lab cannot be reached. A kept connection the lab has closed (a lab
// restarted between two commands) is replaced once, when no answer had begun.
bool lab_exchange(wire::request rq, const void* out, void* in, size_t in_size, wire::response& rs,
                  size_t* in_len) {
    stamp_clock(rq);
    *in_len = 0;
    char dev_dir[4096], sock[4096];
    if (!lab_paths(dev_dir, sizeof dev_dir, sock, sizeof sock)) return false;
    if (strlen(sock) >= sizeof t_lab.sock) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool kept = t_lab.usable(sock);
        if (!kept && !t_lab.open(sock)) return false;
        const int s = t_lab.fd;
        const bool sent = write_all(s, &rq, sizeof rq) && (rq.data_out_len == 0 || write_all(s, out, rq.data_out_len));
        const bool answered = sent && read_all(s, &rs, sizeof rs);
        if (!answered) {
            t_lab.drop();
            if (kept) continue;
            return false;
        }
        bool ok = rs.magic == wire::response_magic && rs.data_in_len <= in_size;
        if (ok && rs.data_in_len > 0) ok = read_all(s, in, rs.data_in_len);
        if (!ok) {
            t_lab.drop();
            return false;
        }
        *in_len = rs.data_in_len;
        return true;
    }
    return false;
}

int fail(int err) {
    errno = err;
    return -1;
}

int do_sg_io(lab_fd& f, sg_io_hdr_t* h) {
    if (!h) return fail(EFAULT);
    if (h->interface_id != 'S') return fail(ENOSYS);
    if (h->iovec_count != 0 || h->cmd_len == 0 || h->cmd_len > sizeof(wire::request{}.cdb) || !h->cmdp)
        return fail(EINVAL);
    if (h->dxfer_len > wire::max_data) return fail(ENOMEM);
    wire::request rq;
    rq.kind = wire::kind_scsi;
    snprintf(rq.node, sizeof rq.node, "%s", f.node);
    memcpy(rq.cdb, h->cmdp, h->cmd_len);
    rq.cdb_len = h->cmd_len;
    const bool to_dev = h->dxfer_direction == SG_DXFER_TO_DEV;
    const bool from_dev = h->dxfer_direction == SG_DXFER_FROM_DEV || h->dxfer_direction == SG_DXFER_TO_FROM_DEV;
    if ((to_dev || from_dev) && h->dxfer_len > 0 && !h->dxferp) return fail(EFAULT);
    rq.data_out_len = to_dev ? h->dxfer_len : 0;
    rq.data_in_len = from_dev ? h->dxfer_len : 0;
    rq.timeout_ms = h->timeout;
    wire::response rs;
    size_t got = 0;
    if (!lab_exchange(rq, h->dxferp, h->dxferp, rq.data_in_len, rs, &got)) return fail(EIO);
    if (debug_on())
        fprintf(stderr, "enctl-lab shim: %s SG_IO %02x -> error %d status %02x sense %u data %zu\n", f.node,
                rq.cdb[0], rs.error, rs.status, rs.sense_len, got);
    if (rs.error) return fail(rs.error);
    h->status = rs.status;
    h->masked_status = static_cast<unsigned char>((rs.status >> 1) & 0x7F);
    h->msg_status = 0;
    h->host_status = rs.host_status;
    const unsigned sb = rs.sense_len < h->mx_sb_len ? rs.sense_len : h->mx_sb_len;
    if (sb && h->sbp) memcpy(h->sbp, rs.sense, sb);
    h->sb_len_wr = static_cast<unsigned char>(h->sbp ? sb : 0);
    h->driver_status = rs.sense_len ? 0x08 : 0;  // DRIVER_SENSE
    h->resid = from_dev ? static_cast<int>(h->dxfer_len - got) : 0;
    h->duration = rs.duration_ms;
    h->info = (rs.status || rs.host_status || h->driver_status) ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

template <typename C>
int do_nvme_admin(lab_fd& f, C* c, bool wide) {
    if (!c) return fail(EFAULT);
    if (c->data_len > wire::max_data) return fail(ENOMEM);
    wire::request rq;
    rq.kind = wire::kind_nvme;
    snprintf(rq.node, sizeof rq.node, "%s", f.node);
    rq.nvme_opcode = c->opcode;
    rq.nvme_nsid = c->nsid;
    rq.nvme_cdw[0] = c->cdw10;
    rq.nvme_cdw[1] = c->cdw11;
    rq.nvme_cdw[2] = c->cdw12;
    rq.nvme_cdw[3] = c->cdw13;
    rq.nvme_cdw[4] = c->cdw14;
    rq.nvme_cdw[5] = c->cdw15;
    rq.timeout_ms = c->timeout_ms;
    void* buf = reinterpret_cast<void*>(static_cast<uintptr_t>(c->addr));
    if (c->data_len && !buf) return fail(EFAULT);
    const bool to_dev = (c->opcode & 0x01) != 0;
    const bool from_dev = (c->opcode & 0x02) != 0;
    rq.data_out_len = to_dev ? c->data_len : 0;
    rq.data_in_len = from_dev ? c->data_len : 0;
    wire::response rs;
    size_t got = 0;
    if (!lab_exchange(rq, buf, buf, rq.data_in_len, rs, &got)) return fail(EIO);
    if (rs.error) return fail(rs.error);
    if (wide)
        c->result = rs.nvme_result;
    else
        c->result = rs.nvme_result;
    return static_cast<int>(rs.nvme_status);
}

int lab_ioctl(lab_fd& f, unsigned long request, void* arg) {
    if (debug_on()) fprintf(stderr, "enctl-lab shim: %s ioctl %lx\n", f.node, request);
    int* iarg = static_cast<int*>(arg);
    const bool nvme = strncmp(f.node, "nvme", 4) == 0;
    if (nvme) {
        if (request == NVME_IOCTL_ADMIN_CMD) return do_nvme_admin(f, static_cast<nvme_admin_cmd*>(arg), false);
#ifdef NVME_IOCTL_ADMIN64_CMD
        if (request == NVME_IOCTL_ADMIN64_CMD)
            return do_nvme_admin(f, static_cast<nvme_passthru_cmd64*>(arg), true);
#endif
        return fail(ENOTTY);
    }
    switch (request) {
    case SG_IO: return do_sg_io(f, static_cast<sg_io_hdr_t*>(arg));
    case SG_GET_VERSION_NUM:
        if (!iarg) return fail(EFAULT);
        *iarg = 30536;
        return 0;
    case SG_GET_RESERVED_SIZE:
        if (!iarg) return fail(EFAULT);
        *iarg = f.reserved_size;
        return 0;
    case SG_SET_RESERVED_SIZE:
        if (!iarg) return fail(EFAULT);
        if (*iarg < 0) return fail(EINVAL);
        f.reserved_size = *iarg > (1 << 20) ? (1 << 20) : *iarg;
        return 0;
    case SG_GET_TIMEOUT: return f.timeout;
    case SG_SET_TIMEOUT:
        if (!iarg) return fail(EFAULT);
        if (*iarg < 0) return fail(EIO);
        f.timeout = *iarg;
        return 0;
    case SG_EMULATED_HOST:
    case SG_GET_COMMAND_Q:
    case SG_GET_PACK_ID:
    case SG_GET_NUM_WAITING:
    case SG_GET_KEEP_ORPHAN:
    case SG_GET_LOW_DMA:
        if (!iarg) return fail(EFAULT);
        *iarg = request == SG_GET_PACK_ID ? -1 : 0;
        return 0;
    case SG_SET_COMMAND_Q:
    case SG_SET_FORCE_PACK_ID:
    case SG_SET_KEEP_ORPHAN:
    case SG_SET_DEBUG:
        return 0;
    case SG_GET_SCSI_ID: {
        auto* id = static_cast<struct sg_scsi_id*>(arg);
        if (!id) return fail(EFAULT);
        memset(id, 0, sizeof *id);
        id->host_no = f.host;
        id->channel = f.channel;
        id->scsi_id = f.target;
        id->lun = f.lun;
        id->scsi_type = f.type;
        id->h_cmd_per_lun = 7;
        id->d_queue_depth = 32;
        return 0;
    }
    case scsi_ioctl_get_idlun: {
        if (!iarg) return fail(EFAULT);
        iarg[0] = (f.target & 0xFF) | ((f.lun & 0xFF) << 8) | ((f.channel & 0xFF) << 16) | ((f.host & 0xFF) << 24);
        iarg[1] = f.host + 1;
        return 0;
    }
    case scsi_ioctl_get_bus_number:
        if (!iarg) return fail(EFAULT);
        *iarg = f.host;
        return 0;
    default: return fail(ENOTTY);
    }
}

// The lab's nodes look like character devices (sg, nvme) and block devices (sd).
void fake_stat(const lab_fd& f, struct stat* st) {
    st->st_mode = (st->st_mode & ~S_IFMT) | (f.node[0] == 's' && f.node[1] == 'd' ? S_IFBLK : S_IFCHR);
    st->st_size = 0;
    int minor_no = atoi(f.node + (f.node[0] == 'n' ? 4 : 2));
    if (f.node[1] == 'd') {
        int idx = 0;
        for (const char* p = f.node + 2; *p; ++p) idx = idx * 26 + (*p - 'a' + 1);
        minor_no = (idx - 1) * 16;
        st->st_rdev = makedev(8, minor_no);
    } else if (f.node[0] == 'n') {
        st->st_rdev = makedev(240, minor_no);
    } else {
        st->st_rdev = makedev(21, minor_no);
    }
}

}  // namespace

extern "C" {

// The open family: each passes the call on and notes a lab node it opened.
// The mode argument is present only when the flags create a file.
#define SHIM_OPEN_MODE(flags, mode)                     \
    mode_t mode = 0;                                    \
    if ((flags) & (O_CREAT | O_TMPFILE)) {              \
        va_list ap;                                     \
        va_start(ap, flags);                            \
        mode = static_cast<mode_t>(va_arg(ap, int));    \
        va_end(ap);                                     \
    }

int open(const char* path, int flags, ...) {
    static open_fn fn = real<open_fn>("open");
    SHIM_OPEN_MODE(flags, mode)
    return note_open(fn(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
    static open_fn fn = real<open_fn>("open64");
    SHIM_OPEN_MODE(flags, mode)
    return note_open(fn(path, flags, mode));
}

int openat(int dirfd, const char* path, int flags, ...) {
    static openat_fn fn = real<openat_fn>("openat");
    SHIM_OPEN_MODE(flags, mode)
    return note_open(fn(dirfd, path, flags, mode));
}

int openat64(int dirfd, const char* path, int flags, ...) {
    static openat_fn fn = real<openat_fn>("openat64");
    SHIM_OPEN_MODE(flags, mode)
    return note_open(fn(dirfd, path, flags, mode));
}

int __open_2(const char* path, int flags) {
    static open2_fn fn = real<open2_fn>("__open_2");
    return note_open(fn(path, flags));
}

int __open64_2(const char* path, int flags) {
    static open2_fn fn = real<open2_fn>("__open64_2");
    return note_open(fn(path, flags));
}

int __openat_2(int dirfd, const char* path, int flags) {
    static openat2_fn fn = real<openat2_fn>("__openat_2");
    return note_open(fn(dirfd, path, flags));
}

int __openat64_2(int dirfd, const char* path, int flags) {
    static openat2_fn fn = real<openat2_fn>("__openat64_2");
    return note_open(fn(dirfd, path, flags));
}

#undef SHIM_OPEN_MODE

int close(int fd) {
    static close_fn fn = real<close_fn>("close");
    if (fd >= 0 && fd < max_fds) g_fds[fd].lab = false;
    return fn(fd);
}

// A duplicated descriptor of a lab node is a lab node too; a descriptor
// replaced by dup2 or dup3 is no longer one.
int dup(int fd) noexcept {
    static dup_fn fn = real<dup_fn>("dup");
    const int nfd = fn(fd);
    if (nfd >= 0 && nfd < max_fds) g_fds[nfd] = lab_of(fd) ? g_fds[fd] : lab_fd{};
    return nfd;
}

int dup2(int fd, int target) noexcept {
    static dup2_fn fn = real<dup2_fn>("dup2");
    const int nfd = fn(fd, target);
    if (nfd >= 0 && nfd < max_fds && nfd != fd) g_fds[nfd] = lab_of(fd) ? g_fds[fd] : lab_fd{};
    return nfd;
}

int dup3(int fd, int target, int flags) noexcept {
    static dup3_fn fn = real<dup3_fn>("dup3");
    const int nfd = fn(fd, target, flags);
    if (nfd >= 0 && nfd < max_fds) g_fds[nfd] = lab_of(fd) ? g_fds[fd] : lab_fd{};
    return nfd;
}

// fcntl with F_DUPFD and F_DUPFD_CLOEXEC duplicates too. The third argument
// is an int or a pointer; it is passed on as the pointer-sized value it came as.
static int fcntl_common(fcntl_fn fn, int fd, int cmd, void* arg) {
    const int rc = fn(fd, cmd, arg);
    if ((cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) && rc >= 0 && rc < max_fds)
        g_fds[rc] = lab_of(fd) ? g_fds[fd] : lab_fd{};
    return rc;
}

int fcntl(int fd, int cmd, ...) {
    static fcntl_fn fn = real<fcntl_fn>("fcntl");
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return fcntl_common(fn, fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
    static fcntl_fn fn = real<fcntl_fn>("fcntl64");
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return fcntl_common(fn ? fn : real<fcntl_fn>("fcntl"), fd, cmd, arg);
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn fn = real<ioctl_fn>("ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (lab_fd* f = lab_of(fd)) return lab_ioctl(*f, request, arg);
    return fn(fd, request, arg);
}

int fstat(int fd, struct stat* st) noexcept {
    static fstat_fn fn = real<fstat_fn>("fstat");
    const int rc = fn(fd, st);
    if (rc == 0)
        if (lab_fd* f = lab_of(fd)) fake_stat(*f, st);
    return rc;
}

int fstat64(int fd, struct stat64* st) noexcept {
    static fstat_fn fn = real<fstat_fn>("fstat64");
    auto* s = reinterpret_cast<struct stat*>(st);  // the same layout on 64-bit Linux
    const int rc = fn(fd, s);
    if (rc == 0)
        if (lab_fd* f = lab_of(fd)) fake_stat(*f, s);
    return rc;
}

int __fxstat(int ver, int fd, struct stat* st) noexcept {
    static fxstat_fn fn = real<fxstat_fn>("__fxstat");
    if (!fn) return fail(ENOSYS);
    const int rc = fn(ver, fd, st);
    if (rc == 0)
        if (lab_fd* f = lab_of(fd)) fake_stat(*f, st);
    return rc;
}

int __fxstat64(int ver, int fd, struct stat64* st) noexcept {
    static fxstat_fn fn = real<fxstat_fn>("__fxstat64");
    if (!fn) return fail(ENOSYS);
    auto* s = reinterpret_cast<struct stat*>(st);
    const int rc = fn(ver, fd, s);
    if (rc == 0)
        if (lab_fd* f = lab_of(fd)) fake_stat(*f, s);
    return rc;
}

}  // extern "C"
