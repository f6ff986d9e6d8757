// enctl-rig-handler: serves one TCMU device of the rig's guest. It maps the
// device's UIO node, walks the command ring and forwards every SCSI command,
// INQUIRY included, to one node of the simulated lab over the lab's socket;
// the lab's status, sense and data go back into the ring.
//
//   enctl-rig-handler UIO LAB_SOCKET LAB_NODE [--exit-after N] [--verbose]
//
// UIO is the node's name ("uio3"). With --exit-after the handler answers N
// commands and then exits without answering the next one, as a handler that
// dies in the middle of a run does.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/lab_server.h"
#include "tools/rig/tcmu_ring.h"

namespace {

using namespace enctl;

struct options {
    std::string uio, socket, node;
    long exit_after = -1;
    bool verbose = false;
};

bool parse(int argc, char** argv, options& o) {
    std::vector<std::string> plain;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--exit-after" && i + 1 < argc) {
            const std::string count = argv[++i];
            auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), o.exit_after);
            if (ec != std::errc() || end != count.data() + count.size() || o.exit_after < 0) return false;
        } else {
            plain.push_back(arg);
        }
    }
    if (plain.size() != 3 || plain[0].find('/') != std::string::npos) return false;
    o.uio = plain[0];
    o.socket = plain[1];
    o.node = plain[2];
    return true;
}

// The size of the UIO node's first map, as sysfs gives it ("0x40800000").
std::size_t map_size(const std::string& uio) {
    std::ifstream in("/sys/class/uio/" + uio + "/maps/map0/size");
    std::string text;
    if (!(in >> text)) return 0;
    return static_cast<std::size_t>(std::strtoull(text.c_str(), nullptr, 0));
}

// NOT READY, LOGICAL UNIT COMMUNICATION FAILURE: what the kernel itself
// answers for a command that no handler completes in time.
void communication_failure(rig::ring_answer& reply) {
    reply.status = 0x02;
    reply.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x08, 0x00, 0, 0, 0, 0};
}

// One command to the lab. A command the lab could not deliver (an injected
// transport failure or time-out) cannot be left out of the ring, whose
// answers go back in order: it is answered as aborted instead.
void forward(const options& o, const rig::ring_command& command, rig::ring_answer& reply) {
    std::vector<std::uint8_t> data_out;
    sim::scsi_command cmd;
    cmd.cdb = command.cdb;
    if (rig::cdb_is_data_out(command.cdb)) {
        data_out.reserve(command.length);
        for (auto buffer : command.buffers) data_out.insert(data_out.end(), buffer.begin(), buffer.end());
        cmd.data_out = data_out;
    } else {
        cmd.data_in_capacity = command.length;
    }
    sim::scsi_result result;
    if (!sim::send_scsi(o.socket, o.node, cmd, result)) {
        communication_failure(reply);
    } else if (result.transport_failure || result.host_status != 0) {
        reply.status = 0x02;
        reply.sense = {0x70, 0, 0x0B, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x47, 0x00, 0, 0, 0, 0};
    } else {
        reply.status = result.status;
        reply.sense.assign(result.sense.begin(), result.sense.end());
        reply.data_in.assign(result.data_in.begin(), result.data_in.end());
    }
    if (o.verbose)
        std::fprintf(stderr, "%s: %02xh length %u -> status %02xh data %zu\n", o.node.c_str(), command.cdb[0],
                     command.length, reply.status, reply.data_in.size());
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (!parse(argc, argv, o)) {
        std::fputs("usage: enctl-rig-handler UIO LAB_SOCKET LAB_NODE [--exit-after N] [--verbose]\n", stderr);
        return 2;
    }
    const std::string path = "/dev/" + o.uio;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const std::size_t size = map_size(o.uio);
    if (fd < 0 || size == 0) {
        std::fprintf(stderr, "enctl-rig-handler: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        std::fprintf(stderr, "enctl-rig-handler: cannot map %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    const std::span<std::uint8_t> mapping(static_cast<std::uint8_t*>(base), size);
    if (!rig::ring_usable(mapping)) {
        std::fprintf(stderr, "enctl-rig-handler: %s has no command ring this handler knows\n", path.c_str());
        return 1;
    }

    long answered = 0;
    const auto answer = [&](const rig::ring_command& command, rig::ring_answer& reply) {
        if (o.exit_after >= 0 && answered >= o.exit_after) {
            std::fprintf(stderr, "enctl-rig-handler: %s: exiting with command %02xh unanswered\n", o.node.c_str(),
                         command.cdb[0]);
            std::_Exit(3);
        }
        forward(o, command, reply);
        ++answered;
        return true;
    };
    // A read of the UIO node returns once an event came after the open (or
    // the last read): commands queued before the open are served first.
    for (;;) {
        const rig::ring_walk walk = rig::walk_ring(mapping, answer);
        if (walk.broken) {
            std::fprintf(stderr, "enctl-rig-handler: %s: malformed ring entry\n", o.node.c_str());
            return 1;
        }
        const std::uint32_t kick = 0;
        if (walk.answered + walk.skipped > 0 && ::write(fd, &kick, sizeof kick) != sizeof kick) {
            std::fprintf(stderr, "enctl-rig-handler: %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        std::uint32_t events = 0;
        const ssize_t got = ::read(fd, &events, sizeof events);
        if (got < 0 && errno == EINTR) continue;
        if (got != sizeof events) {
            std::fprintf(stderr, "enctl-rig-handler: %s: %s\n", path.c_str(), got < 0 ? std::strerror(errno) : "closed");
            return 1;
        }
    }
}
