#include "sim/lab_server.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/controllers.h"
#include "sim/enclosure.h"
#include "sim/wire.h"

namespace enctl::sim {

std::string lab_socket_path(const std::string& dir) { return dir + "/lab.sock"; }
std::string lab_root_path(const std::string& dir) { return dir + "/root"; }
std::string lab_pid_path(const std::string& dir) { return dir + "/lab.pid"; }

namespace {

bool write_all(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool read_all(int fd, void* data, std::size_t n) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

bool make_address(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int connect_to(const std::string& path) {
    sockaddr_un addr;
    if (!make_address(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One exchange: header and data out, then the response header and data in.
bool exchange(const std::string& socket, const wire::request& rq, std::span<const std::uint8_t> out,
              wire::response& rs, bytes& in) {
    const int fd = connect_to(socket);
    if (fd < 0) return false;
    bool ok = write_all(fd, &rq, sizeof rq) && (out.empty() || write_all(fd, out.data(), out.size())) &&
              read_all(fd, &rs, sizeof rs) && rs.magic == wire::response_magic && rs.data_in_len <= wire::max_data;
    if (ok) {
        in.resize(rs.data_in_len);
        ok = in.empty() || read_all(fd, in.data(), in.size());
    }
    ::close(fd);
    return ok;
}

// Reads one request; false when it is not a sound one.
bool read_request(int fd, wire::request& rq, bytes& out) {
    if (!read_all(fd, &rq, sizeof rq) || rq.magic != wire::request_magic || rq.data_out_len > wire::max_data ||
        rq.data_in_len > wire::max_data || rq.cdb_len > sizeof rq.cdb)
        return false;
    out.resize(rq.data_out_len);
    if (!out.empty() && !read_all(fd, out.data(), out.size())) return false;
    rq.node[sizeof rq.node - 1] = '\0';
    return true;
}

void respond(int fd, wire::response& rs, const bytes& in) {
    rs.data_in_len = static_cast<std::uint32_t>(in.size());
    if (write_all(fd, &rs, sizeof rs) && !in.empty()) write_all(fd, in.data(), in.size());
}

// A command to a device: runs on the model (which takes the device's
// service time) and answers.
void answer_command(lab& the_lab, int fd, const wire::request& rq, const bytes& out) {
    wire::response rs;
    bytes in;
    // Lab time catches up with the sender's clock before the device sees the command.
    the_lab.follow_sender_clock(rq.clock_kind, rq.sender_pid, rq.clock_ms);
    if (lab_device* dev = the_lab.find(rq.node); !dev) {
        rs.error = ENODEV;
    } else if (rq.kind == wire::kind_scsi) {
        scsi_command cmd;
        cmd.cdb = std::span<const std::uint8_t>(rq.cdb, rq.cdb_len);
        cmd.data_out = out;
        cmd.data_in_capacity = rq.data_in_len;
        cmd.timeout_ms = rq.timeout_ms;
        scsi_result r = dev->role == device_role::nvme ? invalid_opcode() : the_lab.execute_scsi(*dev, cmd);
        if (r.transport_failure) {
            rs.error = EIO;
        } else {
            rs.status = r.status;
            rs.host_status = r.host_status;
            rs.sense_len = static_cast<std::uint32_t>(std::min<std::size_t>(r.sense.size(), sizeof rs.sense));
            if (rs.sense_len) std::memcpy(rs.sense, r.sense.data(), rs.sense_len);
            rs.duration_ms = r.duration_ms;
            in = std::move(r.data_in);
            if (in.size() > rq.data_in_len) in.resize(rq.data_in_len);
        }
    } else if (rq.kind == wire::kind_nvme) {
        nvme_command cmd;
        cmd.opcode = rq.nvme_opcode;
        cmd.nsid = rq.nvme_nsid;
        cmd.cdw10 = rq.nvme_cdw[0];
        cmd.cdw11 = rq.nvme_cdw[1];
        cmd.cdw12 = rq.nvme_cdw[2];
        cmd.cdw13 = rq.nvme_cdw[3];
        cmd.cdw14 = rq.nvme_cdw[4];
        cmd.cdw15 = rq.nvme_cdw[5];
        cmd.data_out = out;
        cmd.data_len = rq.data_in_len;
        cmd.timeout_ms = rq.timeout_ms;
        nvme_result r;
        if (dev->role == device_role::nvme) {
            r = the_lab.execute_nvme(*dev, cmd);
        } else {
            r.transport_failure = true;
        }
        if (r.transport_failure) {
            rs.error = dev->role == device_role::nvme ? EIO : ENOTTY;
        } else {
            rs.nvme_status = r.status;
            rs.nvme_result = r.result;
            rs.duration_ms = r.duration_ms;
            in = std::move(r.data_in);
            if (in.size() > rq.data_in_len) in.resize(rq.data_in_len);
        }
    } else {
        rs.error = EINVAL;
    }
    respond(fd, rs, in);
}

// The connections being answered on threads of their own: each answers the
// commands of its connection, one after the other, until the sender closes it.
class command_threads {
public:
    void start(lab& the_lab, int fd, wire::request rq, bytes out) {
        {
            const std::lock_guard lock(mutex_);
            ++running_;
            open_.insert(fd);
        }
        std::thread([this, &the_lab, fd, rq, out = std::move(out)]() mutable {
            do {
                answer_command(the_lab, fd, rq, out);
            } while (read_request(fd, rq, out) && rq.kind != wire::kind_control);
            const std::lock_guard lock(mutex_);
            open_.erase(fd);
            ::close(fd);
            if (--running_ == 0) idle_.notify_all();
        }).detach();
    }
    // Lets each connection finish the command it is answering, then ends it.
    void wait_idle() {
        std::unique_lock lock(mutex_);
        for (const int fd : open_) ::shutdown(fd, SHUT_RD);
        idle_.wait(lock, [this] { return running_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t running_ = 0;
    std::set<int> open_;
};

}  // namespace

int listen_on(const std::string& path, std::string& error) {
    sockaddr_un addr;
    if (!make_address(path, addr)) {
        error = "socket path too long: " + path;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

void serve(lab& the_lab, int listen_fd, const std::function<void()>& on_stop) {
    // Control requests are answered here, one at a time; commands to devices
    // each on a thread, so that devices serve theirs at the same time (the
    // lab serialises the commands of one device).
    command_threads commands;
    bool stop = false;
    while (!stop) {
        const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        wire::request rq;
        bytes out;
        if (!read_request(fd, rq, out)) {
            ::close(fd);
            continue;
        }
        if (rq.kind != wire::kind_control) {
            commands.start(the_lab, fd, rq, std::move(out));
            continue;
        }
        wire::response rs;
        std::string text;
        rs.status = static_cast<std::uint8_t>(
            control(the_lab, std::string_view(reinterpret_cast<const char*>(out.data()), out.size()), text, stop));
        if (stop) {
            commands.wait_idle();
            if (on_stop) on_stop();
        }
        respond(fd, rs, bytes(text.begin(), text.end()));
        ::close(fd);
    }
    commands.wait_idle();
}

int control(lab& the_lab, std::string_view text, std::string& out, bool& stop) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    if (words.empty()) {
        out = "empty request\n";
        return 1;
    }
    if (words[0] == "ping" && words.size() == 1) {
        out = "pong\n";
        return 0;
    }
    if (words[0] == "stop" && words.size() == 1) {
        stop = true;
        out = "stopped\n";
        return 0;
    }
    if (words[0] == "stats" && words.size() == 1) {
        out = the_lab.stats_text();
        return 0;
    }
    if (words[0] == "reset" && words.size() == 1) {
        the_lab.reset_stats();
        out = "";
        return 0;
    }
    if (words[0] == "wait" && words.size() == 2) {
        const auto seconds = parse_number(words[1]);
        if (!seconds) {
            out = "wait needs a number of seconds: " + words[1] + "\n";
            return 1;
        }
        const auto model = the_lab.hold();
        the_lab.clock().advance_ms(std::uint64_t{*seconds} * 1000);
        out = "";
        return 0;
    }
    if (words[0] == "state" && words.size() == 2) {
        const auto model = the_lab.hold();
        lab_device* dev = the_lab.find(words[1]);
        if (!dev || !dev->as_enclosure) {
            out = "no enclosure " + words[1] + " in the lab\n";
            return 1;
        }
        out = enclosure_state_json(*dev->as_enclosure);
        return 0;
    }
    if (words[0] == "dump" && words.size() == 3) {
        const auto model = the_lab.hold();
        lab_device* dev = the_lab.find(words[1]);
        if (!dev) {
            out = "no device " + words[1] + " in the lab\n";
            return 1;
        }
        if (!dev->as_enclosure) {
            out = words[1] + " is not an enclosure\n";
            return 1;
        }
        std::string hex = words[2];
        if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) hex.erase(0, 2);
        const auto page = parse_hex_u64(hex);
        if (!page || *page > 0xFF) {
            out = "page must be a hex number from 0 to FF: " + words[2] + "\n";
            return 1;
        }
        const auto data = dev->as_enclosure->diagnostic_page(static_cast<std::uint8_t>(*page));
        if (!data) {
            out = "the enclosure has no page " + words[2] + "\n";
            return 1;
        }
        out = hex_lines(*data);
        return 0;
    }
    if (words[0] == "drives" && words.size() == 2) {
        out = controller_drives_text(the_lab, words[1]);
        return 0;
    }
    out = "unknown request: " + std::string(text) + "\n";
    return 1;
}

bool send_control(const std::string& socket, std::string_view text, int& status, std::string& out) {
    wire::request rq;
    rq.kind = wire::kind_control;
    rq.data_out_len = static_cast<std::uint32_t>(text.size());
    rq.data_in_len = wire::max_data;
    wire::response rs;
    bytes in;
    if (!exchange(socket, rq, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), rs, in))
        return false;
    status = rs.status;
    out.assign(in.begin(), in.end());
    return true;
}

bool send_scsi(const std::string& socket, const std::string& node, const scsi_command& cmd, scsi_result& result) {
    wire::request rq;
    if (cmd.cdb.size() > sizeof rq.cdb || node.size() >= sizeof rq.node) return false;
    std::memcpy(rq.node, node.c_str(), node.size() + 1);
    if (!cmd.cdb.empty()) std::memcpy(rq.cdb, cmd.cdb.data(), cmd.cdb.size());
    rq.cdb_len = static_cast<std::uint32_t>(cmd.cdb.size());
    rq.data_out_len = static_cast<std::uint32_t>(cmd.data_out.size());
    rq.data_in_len = cmd.data_in_capacity;
    rq.timeout_ms = cmd.timeout_ms;
    wire::response rs;
    bytes in;
    if (!exchange(socket, rq, cmd.data_out, rs, in)) return false;
    result = {};
    result.transport_failure = rs.error != 0;
    result.status = rs.status;
    result.host_status = rs.host_status;
    result.sense.assign(rs.sense, rs.sense + std::min<std::uint32_t>(rs.sense_len, sizeof rs.sense));
    result.data_in = std::move(in);
    result.duration_ms = rs.duration_ms;
    return true;
}

}  // namespace enctl::sim
