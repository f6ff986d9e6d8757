// enctl-lab: starts, stops and inspects a simulated lab of enclosures and
// disks that enctl and the sg3_utils tools reach as if it were hardware.
//
//   enctl-lab start DIR [LAB.json]   start in the background; print the environment
//   enctl-lab stop DIR
//   enctl-lab dump DIR DEVICE PAGE   a diagnostic page as hex bytes (sg_ses --inhex)
//   enctl-lab stats DIR [reset]      commands received per device, opcode and page
//   enctl-lab state DIR DEVICE       an enclosure's state as JSON
//   enctl-lab env DIR                print the environment again
//   enctl-lab json [LAB.json]        the completed lab description (default lab without a file)
//   enctl-lab generate ENCLOSURES DISKS [DISK_US [ENCLOSURE_US]]
//                                    a big lab description for benchmarks
//   enctl-lab image PRODUCT NAME FILE|DIR [--corrupt] [--size BYTES] [--zoning]
//                                    a firmware (zoning) image the lab's enclosures take
//   enctl-lab wait DIR SECONDS       let lab time pass
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/firmware_image.h"
#include "sim/lab.h"
#include "sim/lab_description.h"
#include "sim/lab_server.h"
#include "sim/sysfs_tree.h"

namespace {

using namespace enctl::sim;

constexpr const char* usage_text =
    "usage: enctl-lab start DIR [LAB.json]\n"
    "       enctl-lab stop DIR\n"
    "       enctl-lab dump DIR DEVICE PAGE\n"
    "       enctl-lab stats DIR [reset]\n"
    "       enctl-lab state DIR DEVICE\n"
    "       enctl-lab env DIR\n"
    "       enctl-lab json [LAB.json]\n"
    "       enctl-lab generate ENCLOSURES DISKS [DISK_US [ENCLOSURE_US]]\n"
    "       enctl-lab image PRODUCT NAME FILE|DIR [--corrupt] [--size BYTES] [--zoning]\n"
    "       enctl-lab wait DIR SECONDS\n";

int usage() {
    std::fputs(usage_text, stderr);
    return 2;
}

std::string program_dir() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    return std::filesystem::path(buf).parent_path().string();
}

std::string absolute(const std::string& dir) {
    std::error_code ec;
    auto p = std::filesystem::absolute(dir, ec);
    return ec ? dir : p.lexically_normal().string();
}

std::string environment_text(const std::string& dir) {
    std::string out;
    out += "ENCTL_SYSROOT=" + lab_root_path(dir) + "\n";
    out += "ENCTL_LAB_SOCKET=" + lab_socket_path(dir) + "\n";
    std::string preload = program_dir() + "/libenctl_lab_shim.so";
    if (const char* old = std::getenv("LD_PRELOAD"); old && *old && std::strstr(old, "libenctl_lab_shim") == nullptr)
        preload = std::string(old) + ":" + preload;
    out += "LD_PRELOAD=" + preload + "\n";
    // The shim is loaded before the sanitizer runtime of a sanitized program.
    std::string asan = "verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old && std::strstr(old, asan.c_str()) == nullptr)
        asan = std::string(old) + ":" + asan;
    else if (old && *old)
        asan = old;
    out += "ASAN_OPTIONS=" + asan + "\n";
    return out;
}

bool read_file(const std::string& path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    out = s.str();
    return true;
}

bool load(const char* file, lab_description& lab) {
    if (!file) {
        lab = default_lab();
        return true;
    }
    std::string text, error;
    if (!read_file(file, text)) {
        std::fprintf(stderr, "enctl-lab: cannot read %s\n", file);
        return false;
    }
    auto parsed = parse_lab_description(text, error);
    if (!parsed) {
        std::fprintf(stderr, "enctl-lab: %s: %s\n", file, error.c_str());
        return false;
    }
    lab = std::move(*parsed);
    return true;
}

int start(const std::string& dir_arg, const char* file) {
    lab_description description;
    if (!load(file, description)) return 1;
    std::error_code ec;
    std::filesystem::create_directories(dir_arg, ec);
    if (ec) {
        std::fprintf(stderr, "enctl-lab: %s: %s\n", dir_arg.c_str(), ec.message().c_str());
        return 1;
    }
    const std::string dir = absolute(dir_arg);
    int status = 0;
    std::string reply;
    if (send_control(lab_socket_path(dir), "ping", status, reply)) {
        std::fprintf(stderr, "enctl-lab: a lab is already running in %s\n", dir.c_str());
        return 1;
    }
    lab the_lab(description);
    std::string error;
    if (!write_sysfs_tree(the_lab, lab_root_path(dir), error)) {
        std::fprintf(stderr, "enctl-lab: %s\n", error.c_str());
        return 1;
    }
    const int listen_fd = listen_on(lab_socket_path(dir), error);
    if (listen_fd < 0) {
        std::fprintf(stderr, "enctl-lab: %s\n", error.c_str());
        return 1;
    }
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("enctl-lab: fork");
        return 1;
    }
    if (pid == 0) {
        // The lab process: detached, no inherited descriptors but the socket.
        ::setsid();
        ::signal(SIGPIPE, SIG_IGN);
        ::signal(SIGHUP, SIG_IGN);
        const int null_fd = ::open("/dev/null", O_RDWR);
        const int log_fd = ::open((dir + "/lab.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 1);
        ::dup2(log_fd >= 0 ? log_fd : null_fd, 2);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != listen_fd) ::close(fd);
        {
            std::ofstream pidfile(lab_pid_path(dir));
            pidfile << ::getpid() << "\n";
        }
        serve(the_lab, listen_fd, [&] {
            ::close(listen_fd);
            ::unlink(lab_socket_path(dir).c_str());
            ::unlink(lab_pid_path(dir).c_str());
        });
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(listen_fd);
    std::fputs(environment_text(dir).c_str(), stdout);
    return 0;
}

int control_command(const std::string& dir, const std::string& text) {
    int status = 0;
    std::string out;
    if (!send_control(lab_socket_path(absolute(dir)), text, status, out)) {
        std::fprintf(stderr, "enctl-lab: no lab running in %s\n", dir.c_str());
        return 1;
    }
    std::fputs(out.c_str(), status == 0 ? stdout : stderr);
    return status == 0 ? 0 : 1;
}

bool parse_count(const char* text, std::uint32_t& out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno || end == text || *end || v > 100000) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

// enctl-lab image: PRODUCT is 1 to 7, or 6mt for the multi-tenant firmware
// (named .tar.gz); into a directory the image goes under the name the
// product's file table accepts. Prints the path written.
int image(const std::vector<std::string>& args) {
    if (args.size() < 4) return usage();
    const std::string& product_arg = args[1];
    const bool multi_tenant = product_arg == "6mt";
    const int product = multi_tenant ? 6 : (product_arg.size() == 1 ? product_arg[0] - '0' : 0);
    bool corrupt = false;
    image_kind kind = image_kind::firmware;
    std::uint32_t size = kImageDefaultSize;
    for (std::size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "--corrupt") {
            corrupt = true;
        } else if (args[i] == "--zoning") {
            kind = image_kind::zoning;
        } else if (args[i] == "--size" && i + 1 < args.size() && parse_number(args[i + 1])) {
            size = *parse_number(args[++i]);
        } else {
            return usage();
        }
    }
    const std::string& name = args[2];
    if (product < 1 || product > 7 || name.empty() || name.size() >= kImageNameSize || size < kImageMinSize) {
        std::fputs("enctl-lab: image needs a product 1 to 7 (or 6mt), a name of 1 to 15 characters and at least 36 "
                   "bytes\n",
                   stderr);
        return 2;
    }
    std::string path = args[3];
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        const std::string file = image_file_name(kind, product, multi_tenant, name);
        if (file.empty()) {
            std::fprintf(stderr, "enctl-lab: product %d takes no zoning files\n", product);
            return 1;
        }
        path = (std::filesystem::path(path) / file).string();
    }
    const bytes data = build_image(kind, product, name, size, corrupt);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()))) {
        std::fprintf(stderr, "enctl-lab: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    const std::string& cmd = args[0];
    if (cmd == "start" && (args.size() == 2 || args.size() == 3))
        return start(args[1], args.size() == 3 ? argv[3] : nullptr);
    if (cmd == "stop" && args.size() == 2) {
        const int rc = control_command(args[1], "stop");
        return rc;
    }
    if (cmd == "dump" && args.size() == 4) return control_command(args[1], "dump " + args[2] + " " + args[3]);
    if (cmd == "state" && args.size() == 3) return control_command(args[1], "state " + args[2]);
    if (cmd == "stats" && args.size() == 2) return control_command(args[1], "stats");
    if (cmd == "stats" && args.size() == 3 && args[2] == "reset") return control_command(args[1], "reset");
    if (cmd == "env" && args.size() == 2) {
        std::fputs(environment_text(absolute(args[1])).c_str(), stdout);
        return 0;
    }
    if (cmd == "json" && args.size() <= 2) {
        lab_description lab;
        if (!load(args.size() == 2 ? argv[2] : nullptr, lab)) return 1;
        std::fputs(lab_description_json(lab).c_str(), stdout);
        return 0;
    }
    if (cmd == "image") return image(args);
    if (cmd == "wait" && args.size() == 3) return control_command(args[1], "wait " + args[2]);
    if (cmd == "generate" && args.size() >= 3 && args.size() <= 5) {
        std::uint32_t enclosures = 0, disks = 0, disk_us = 0, enclosure_us = 0;
        if (!parse_count(argv[2], enclosures) || !parse_count(argv[3], disks) || enclosures == 0 ||
            enclosures > 200 || (args.size() > 3 && !parse_count(argv[4], disk_us)) ||
            (args.size() > 4 && !parse_count(argv[5], enclosure_us))) {
            std::fputs("enctl-lab: generate needs 1 to 200 enclosures, 0 to 100000 disks and service times "
                       "of 0 to 100000 us\n",
                       stderr);
            return 2;
        }
        lab_description generated = generated_lab(enclosures, disks);
        generated.disk_service_us = disk_us;
        generated.enclosure_service_us = enclosure_us;
        std::fputs(lab_description_json(generated).c_str(), stdout);
        return 0;
    }
    return usage();
}
