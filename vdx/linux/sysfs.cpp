#include "vdx/linux/sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <vector>

#include "vdx/linux/vdx_linux.h"

namespace enctl {

namespace {
std::string g_sysroot_override;
}

std::string vdx_linux_sysroot() {
    if (!g_sysroot_override.empty()) return g_sysroot_override;
    const char* env = std::getenv("ENCTL_SYSROOT");
    if (env && *env) return env;
    return "/";
}

void vdx_linux_set_sysroot(std::string_view root) { g_sysroot_override = std::string(root); }

std::string vdx_linux_path(std::string_view host_path) {
    std::string root = vdx_linux_sysroot();
    while (!root.empty() && root.back() == '/') root.pop_back();
    std::string joined = root;
    if (host_path.empty() || host_path.front() != '/') joined += '/';
    joined += host_path;
    return joined;
}

int vdx_linux_disk_index(std::string_view kernel_name) {
    if (kernel_name.size() < 3 || kernel_name.substr(0, 2) != "sd") return -1;
    long long index = 0;
    for (char c : kernel_name.substr(2)) {
        if (c < 'a' || c > 'z') return -1;
        index = index * 26 + (c - 'a' + 1);
        if (index > 0x7FFFFFFF) return -1;
    }
    return static_cast<int>(index - 1);
}

namespace linux_sysfs {

namespace fs = std::filesystem;

// Attributes are at most a page; more is never read.
constexpr std::size_t kMaxAttributeSize = 65536;

std::optional<hctl> parse_hctl(std::string_view text) {
    hctl out;
    std::uint64_t parts[4] = {};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        auto [next, ec] = std::from_chars(p, end, parts[i]);
        if (ec != std::errc() || next == p) return std::nullopt;
        p = next;
        if (i < 3) {
            if (p == end || *p != ':') return std::nullopt;
            ++p;
        }
    }
    if (p != end) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (parts[i] > 0xFFFFFFFFu) return std::nullopt;
    out.host = static_cast<std::uint32_t>(parts[0]);
    out.channel = static_cast<std::uint32_t>(parts[1]);
    out.target = static_cast<std::uint32_t>(parts[2]);
    out.lun = parts[3];
    return out;
}

std::optional<std::string> read_text(const fs::path& file) {
    // Only a regular file is read: a FIFO or a device node at that name
    // would block the run or read something that is not an attribute.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::string s;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char chunk[4096];
    while (ok && s.size() < kMaxAttributeSize) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        s.append(chunk, static_cast<std::size_t>(n));
        // A regular file reads short only at its end.
        if (static_cast<std::size_t>(n) < sizeof chunk) break;
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.pop_back();
    return s;
}

namespace {

thread_local std::unordered_set<std::string>* t_real_folders = nullptr;

// Pushes the components of `path` so that the first is taken first.
void push_components(std::string_view path, std::vector<std::string>& pending) {
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
        if (end > begin) pending.emplace_back(path.substr(begin, end - begin));
        if (slash == std::string_view::npos) break;
        end = slash;
    }
}

// The real path of an absolute path, every link on the way followed and each
// ".." taken after the component before it was resolved; none when a
// component is missing or the links go round.
std::optional<std::string> real_path(std::string_view path) {
    constexpr int kMaxLinks = 40;
    if (path.empty() || path.front() != '/') return std::nullopt;
    std::vector<std::string> pending;
    push_components(path, pending);
    std::string done;
    int links = 0;
    while (!pending.empty()) {
        const std::string part = std::move(pending.back());
        pending.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            done.resize(done.rfind('/') == std::string::npos ? 0 : done.rfind('/'));
            continue;
        }
        std::string next = done + "/" + part;
        if (t_real_folders && t_real_folders->contains(next)) {
            done = std::move(next);
            continue;
        }
        char target[4096];
        const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
        if (n < 0) {
            if (errno != EINVAL) return std::nullopt;  // missing, or not a folder on the way
            if (t_real_folders) {
                // Most folders are one device's and are not asked about
                // again: starting afresh keeps the memory small and costs the
                // shared folders above them one question each time.
                constexpr std::size_t kMaxRemembered = 512;
                if (t_real_folders->size() >= kMaxRemembered) t_real_folders->clear();
                t_real_folders->insert(next);
            }
            done = std::move(next);
            continue;
        }
        if (static_cast<std::size_t>(n) >= sizeof target || ++links > kMaxLinks) return std::nullopt;
        const std::string_view to(target, static_cast<std::size_t>(n));
        if (to.front() == '/') done.clear();
        push_components(to, pending);
    }
    return done.empty() ? std::string("/") : done;
}

}  // namespace

link_walk_scope::link_walk_scope() : outer_(t_real_folders) { t_real_folders = &real_folders_; }

link_walk_scope::~link_walk_scope() { t_real_folders = outer_; }

std::optional<fs::path> resolve_link(const fs::path& link) {
    char text[4096];
    const ssize_t n = ::readlink(link.c_str(), text, sizeof text);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text) return std::nullopt;
    const fs::path target(std::string(text, static_cast<std::size_t>(n)));
    fs::path joined;
    if (target.is_relative()) {
        // The link's folder may itself be reached through links (class
        // entries are links into the device tree): each component is
        // resolved before the ".." that follows it.
        joined = link.parent_path() / target;
    } else {
        const std::string root_prefix = vdx_linux_path("");
        const std::string text = target.string();
        joined = (vdx_linux_sysroot() == "/" || text.rfind(root_prefix, 0) == 0) ? target
                                                                                 : fs::path(vdx_linux_path(text));
    }
    const auto resolved = real_path(joined.string());
    if (!resolved) return std::nullopt;
    return fs::path(*resolved);
}

std::optional<std::uint32_t> parse_numbered(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::string_view digits = name.substr(prefix.size());
    std::uint32_t value = 0;
    auto [next, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || next != digits.data() + digits.size()) return std::nullopt;
    return value;
}

}  // namespace linux_sysfs
}  // namespace enctl
