#include "tests/rest/rest_service.h"

#include <cjson/cJSON.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

extern char** environ;

namespace enctl::testing {

namespace {

struct json_deleter {
    void operator()(cJSON* j) const noexcept { cJSON_Delete(j); }
};

std::string string_member(const cJSON* object, const char* name) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsString(item) ? std::string(item->valuestring) : std::string();
}

std::map<std::string, std::string> header_map(const cJSON* object) {
    std::map<std::string, std::string> out;
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, object) {
        if (cJSON_IsString(item)) out[item->string] = item->valuestring;
    }
    return out;
}

std::string from_latin1_utf8(const std::string& utf8) {
    // The service writes bodies as latin-1 text in UTF-8 JSON: map back to bytes.
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (i + 1 < utf8.size()) {
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3f)));
            ++i;
        }
    }
    return out;
}

std::string from_hex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string basic_credentials(const std::string& user, const std::string& password) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string in = user + ":" + password;
    std::string out = "Basic ";
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
        out.push_back(table[(v >> 18) & 63]);
        out.push_back(table[(v >> 12) & 63]);
        out.push_back(i + 1 < in.size() ? table[(v >> 6) & 63] : '=');
        out.push_back(i + 2 < in.size() ? table[v & 63] : '=');
    }
    return out;
}

rest_service::rest_service(const std::string& config_json) {
    std::string templ = (std::filesystem::temp_directory_path() / "enctl-rest-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return;
    dir_ = templ;
    write_file(dir_ + "/config.json", config_json);
    const std::string script = std::string(ENCTL_SOURCE_DIR) + "/tests/rest/rest_service.py";
    std::vector<std::string> args = {"python3", script, "--config", dir_ + "/config.json", "--log",
                                     dir_ + "/requests.log"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Standard input from /dev/null and errors into the scratch folder: the
    // service holds none of the test's own pipes.
    const std::string errors = dir_ + "/service.err";
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return;
    }
    pid_ = pid;
    // The service prints its port as its first line once it listens.
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
}

rest_service::~rest_service() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string rest_service::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<recorded_request> rest_service::requests() const {
    std::vector<recorded_request> out;
    std::istringstream lines(read_file(dir_ + "/requests.log"));
    std::string line;
    while (std::getline(lines, line)) {
        std::unique_ptr<cJSON, json_deleter> entry(cJSON_Parse(line.c_str()));
        if (!entry) continue;
        recorded_request r;
        r.method = string_member(entry.get(), "method");
        r.path = string_member(entry.get(), "path");
        r.headers = header_map(cJSON_GetObjectItemCaseSensitive(entry.get(), "headers"));
        r.body = from_latin1_utf8(string_member(entry.get(), "body"));
        const cJSON* part = nullptr;
        cJSON_ArrayForEach(part, cJSON_GetObjectItemCaseSensitive(entry.get(), "parts")) {
            recorded_part p;
            p.name = string_member(part, "name");
            p.filename = string_member(part, "filename");
            p.data = from_hex(string_member(part, "data_hex"));
            p.headers = header_map(cJSON_GetObjectItemCaseSensitive(part, "headers"));
            r.parts.push_back(std::move(p));
        }
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace enctl::testing
