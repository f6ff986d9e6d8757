#include "tests/rest/rest_service.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

extern char** environ;

namespace enctl::testing {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

scratch_dir::scratch_dir() {
    std::string templ = (fs::temp_directory_path() / "enctl-rest-XXXXXX").string();
    if (::mkdtemp(templ.data())) path_ = templ;
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
}

rest_service::rest_service(const std::string& config) {
    std::string templ = (fs::temp_directory_path() / "enctl-service-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return;
    dir_ = templ;
    write_file(dir_ + "/config.json", config);
    const std::string source = std::string(ENCTL_SOURCE_DIR) + "/tests/rest/";
    std::vector<std::string> args = {"python3", source + "rest_service.py", source + "enclosure.json",
                                     dir_ + "/config.json", dir_ + "/requests.log"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/service.err").c_str(), O_WRONLY | O_CREAT, 0644);
    const int rc = ::posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    std::string port;
    char c = 0;
    while (rc == 0 && ::read(out[0], &c, 1) == 1 && c != '\n') port.push_back(c);
    ::close(out[0]);
    if (rc != 0) pid_ = -1;
    if (!port.empty()) address_ = "127.0.0.1:" + port;
}

rest_service::~rest_service() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
}

std::string rest_service::new_requests() {
    const std::string log = read_file(dir_ + "/requests.log");
    const std::string fresh = log.substr(std::min(log_read_, log.size()));
    log_read_ = log.size();
    return fresh;
}

std::string transcript(const std::string& words, const std::string& output, int exit_code, rest_service& service) {
    return "$ " + words + "\n" + replace_all(output, "\r", "\n\\r") + "exit " + std::to_string(exit_code) + "\n" +
           service.new_requests();
}

std::string listing(const std::string& dir) {
    std::set<std::string> lines;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", st.st_mode & 0777);
        if (S_ISDIR(st.st_mode)) {
            lines.insert(name + "/ " + mode);
            continue;
        }
        std::uint32_t hash = 2166136261u;
        for (const char b : read_file(entry.path())) hash = (hash ^ static_cast<unsigned char>(b)) * 16777619u;
        lines.insert(name + " " + mode + " " + std::to_string(st.st_size) + " " + std::to_string(hash));
    }
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

}  // namespace enctl::testing
