// A substitute RAID controller wrapper library: the functions enctl looks up
// in "adaptec_wrapper" and "megaraid_wrapper", serving the drives the lab
// puts behind that controller (sim/controllers.h). Each command goes to the
// lab process over its socket (ENCTL_LAB_SOCKET), as the preload shim sends
// the commands of the lab's device nodes.
//
// Built once per controller (WRAPPER_PREFIX adaptec or megaraid) and in two
// test variants: WRAPPER_MISBEHAVING reads ENCTL_WRAPPER_FAULT
// ("initialize", "uninitialize", "count=N", "status=N", "long_path");
// WRAPPER_INCOMPLETE leaves out the last function enctl looks up.
// With ENCTL_WRAPPER_LOG set, every call is appended to that file, one line
// each ("<prefix> initialize", ...), and so are loading and unloading.
//
// Execute status: 0 GOOD (data copied), 10 CHECK CONDITION (sense copied),
// 11 another SCSI status, 3 the command timed out, 2 the lab did not answer,
// 1 no such drive.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/wire.h"

#define WRAPPER_CAT2(a, b) a##_##b
#define WRAPPER_CAT(a, b) WRAPPER_CAT2(a, b)
#define WRAPPER_FN(name) WRAPPER_CAT(WRAPPER_PREFIX, name)
#define WRAPPER_TEXT2(a) #a
#define WRAPPER_TEXT(a) WRAPPER_TEXT2(a)

namespace {

namespace wire = enctl::sim::wire;

constexpr const char* kPrefix = WRAPPER_TEXT(WRAPPER_PREFIX);

enum status : int {
    kGood = 0,
    kNoSuchDrive = 1,
    kLabUnreachable = 2,
    kTimedOut = 3,
    kCheckCondition = 10,
    kOtherStatus = 11,
};

struct drive {
    std::string name;  // the lab's name: "adaptec0"
    bool sata = false;
};

std::vector<drive>& drives() {
    static std::vector<drive> list;
    return list;
}

void log_call(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_call(const char* format, ...) {
    const char* path = std::getenv("ENCTL_WRAPPER_LOG");
    if (!path || !*path) return;
    char line[256];
    int n = std::snprintf(line, sizeof line, "%s ", kPrefix);
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(line + n, sizeof line - static_cast<std::size_t>(n), format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof line - 1) return;
    line[n++] = '\n';
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line, static_cast<std::size_t>(n));
    ::close(fd);
}

// The fault this build is asked to show: the text after "<name>=" or the
// whole word; none in a well-behaved build.
bool fault(const char* name, long* value = nullptr) {
#ifdef WRAPPER_MISBEHAVING
    const char* text = std::getenv("ENCTL_WRAPPER_FAULT");
    if (!text) return false;
    const std::size_t n = std::strlen(name);
    if (std::strncmp(text, name, n) != 0) return false;
    if (!value) return text[n] == '\0';
    if (text[n] != '=') return false;
    *value = std::strtol(text + n + 1, nullptr, 0);
    return true;
#else
    (void)name;
    (void)value;
    return false;
#endif
}

bool io_all(int fd, void* data, std::size_t n, bool sending) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = sending ? ::send(fd, p, n, MSG_NOSIGNAL) : ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

// One request to the lab; the data in (at most `in_room` bytes) lands in `in`.
bool lab_exchange(wire::request& rq, const void* out, void* in, std::size_t in_room, wire::response& rs) {
    const char* socket_path = std::getenv("ENCTL_LAB_SOCKET");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!socket_path || std::strlen(socket_path) >= sizeof addr.sun_path) return false;
    std::strcpy(addr.sun_path, socket_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && io_all(fd, &rq, sizeof rq, true) &&
              (rq.data_out_len == 0 || io_all(fd, const_cast<void*>(out), rq.data_out_len, true)) &&
              io_all(fd, &rs, sizeof rs, false) && rs.magic == wire::response_magic && rs.data_in_len <= in_room;
    if (ok && rs.data_in_len > 0) ok = io_all(fd, in, rs.data_in_len, false);
    ::close(fd);
    return ok;
}

const drive* drive_at(std::uint32_t index) { return index < drives().size() ? &drives()[index] : nullptr; }

__attribute__((constructor)) void on_load() { log_call("loaded"); }
__attribute__((destructor)) void on_unload() { log_call("unloaded"); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int WRAPPER_FN(initialize_library)() {
    log_call("initialize");
    drives().clear();
    const std::string request = std::string("drives ") + kPrefix;
    wire::request rq;
    rq.kind = wire::kind_control;
    rq.data_out_len = static_cast<std::uint32_t>(request.size());
    rq.data_in_len = 65536;
    std::vector<char> text(rq.data_in_len);
    wire::response rs;
    if (!lab_exchange(rq, request.data(), text.data(), text.size(), rs) || rs.status != 0) return kLabUnreachable;
    // Lines "<name> sas|sata".
    std::string all(text.data(), rs.data_in_len);
    for (std::size_t at = 0; at < all.size();) {
        std::size_t end = all.find('\n', at);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(at, end - at);
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) drives().push_back({line.substr(0, blank), line.substr(blank + 1) == "sata"});
        at = end + 1;
    }
    // A failing initialize still leaves the drives reachable: a caller that
    // does not look at the result goes on to find them.
    return fault("initialize") ? 7 : 0;
}

__attribute__((visibility("default"))) int WRAPPER_FN(uninitialize_library)() {
    log_call("uninitialize");
    drives().clear();
    return fault("uninitialize") ? 4 : 0;
}

__attribute__((visibility("default"))) int WRAPPER_FN(enumerate_hard_drives)() {
    long count = static_cast<long>(drives().size());
    fault("count", &count);
    log_call("enumerate %ld", count);
    return static_cast<int>(count);
}

__attribute__((visibility("default"))) int WRAPPER_FN(execute_scsi_command)(
    std::uint32_t index, const std::uint8_t* cdb, std::uint32_t cdb_length, std::uint8_t* data,
    std::uint32_t data_length, std::uint32_t direction, std::uint32_t timeout_seconds, std::uint8_t* sense,
    std::uint32_t sense_length) {
    log_call("execute %u %02xh dir %u len %u timeout %us", index, cdb && cdb_length ? cdb[0] : 0, direction,
             data_length, timeout_seconds);
    long forced = 0;
    if (fault("status", &forced)) return static_cast<int>(forced);
    const drive* d = drive_at(index);
    wire::request rq;
    if (!d || !cdb || cdb_length == 0 || cdb_length > sizeof rq.cdb || (data_length && !data) ||
        data_length > wire::max_data)
        return kNoSuchDrive;
    std::snprintf(rq.node, sizeof rq.node, "%s", d->name.c_str());
    std::memcpy(rq.cdb, cdb, cdb_length);
    rq.cdb_len = cdb_length;
    rq.data_out_len = direction == 1 ? data_length : 0;
    rq.data_in_len = direction == 2 ? data_length : 0;
    rq.timeout_ms = timeout_seconds * 1000;
    wire::response rs;
    if (!lab_exchange(rq, data, data, rq.data_in_len, rs) || rs.error != 0) return kLabUnreachable;
    if (rs.host_status != 0) return kTimedOut;
    if (rs.status == 0) return kGood;
    if (sense && sense_length) {
        std::memset(sense, 0, sense_length);
        std::memcpy(sense, rs.sense, std::min<std::uint32_t>(sense_length, rs.sense_len));
    }
    return rs.status == 2 ? kCheckCondition : kOtherStatus;
}

__attribute__((visibility("default"))) int WRAPPER_FN(get_device_path)(std::uint32_t index, char* text,
                                                                        std::uint32_t size) {
    const drive* d = drive_at(index);
    if (!d || !text || size == 0) return 1;
    if (fault("long_path")) {
        for (std::uint32_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
        return 0;
    }
    std::snprintf(text, size, "%s_disk%u", kPrefix, index);
    return 0;
}

__attribute__((visibility("default"))) int WRAPPER_FN(is_ata)(std::uint32_t index) {
    const drive* d = drive_at(index);
    return d && d->sata ? 1 : 0;
}

__attribute__((visibility("default"))) int WRAPPER_FN(is_nvme)(std::uint32_t) { return 0; }

#if !defined(WRAPPER_INCOMPLETE) || defined(WRAPPER_MEGARAID)
__attribute__((visibility("default"))) int WRAPPER_FN(is_scsi)(std::uint32_t index) {
    const drive* d = drive_at(index);
    return d && !d->sata ? 1 : 0;
}
#endif

#if defined(WRAPPER_MEGARAID) && !defined(WRAPPER_INCOMPLETE)
// Physical drive state: 18h (online) for every drive.
__attribute__((visibility("default"))) std::uint32_t megaraid_get_mr_pd_state(std::uint32_t index) {
    return drive_at(index) ? 0x18 : 0;
}
#endif

}  // extern "C"
