#include "tests/getlog/getlog_session.h"

#include <stdlib.h>

#include <cstdlib>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace enctl::testing {

namespace {

const std::regex kLogName(R"(enctl_[^/\s]*_\d{8}_\d{6}(_\d+)?)");

bool binary(const fs::path& p) {
    const std::string e = p.extension().string();
    return e == ".bin" || e == ".tgz" || e == ".zip";
}

}  // namespace

getlog_session::getlog_session(const running_lab& lab) : lab_(lab) {
    char pattern[] = "/tmp/enctl-getlog-XXXXXX";
    if (::mkdtemp(pattern)) tmp_ = pattern;
}

getlog_session::~getlog_session() {
    std::error_code ignored;
    if (!tmp_.empty()) fs::remove_all(tmp_, ignored);
}

process_result getlog_session::run(const std::vector<std::string>& args, const std::string& input) const {
    process_options options;
    options.env = lab_.env();
    options.env.emplace_back("TMPDIR", tmp_);
    options.env.emplace_back("ENCTL_VIRTUAL_CLOCK", "1");
    options.stdin_text = input;
    return run_enctl(args, options);
}

std::string getlog_session::log_entry(const std::string& dir) const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir.empty() ? tmp_ : dir, ec))
        if (std::regex_search(entry.path().filename().string(), kLogName)) return entry.path().string();
    return {};
}

std::string getlog_session::tree(const std::string& dir) const {
    std::vector<std::string> lines;
    std::error_code ec;
    const fs::path root = dir.empty() ? tmp_ : dir;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string line = it->path().lexically_relative(root).generic_string();
        if (it->is_directory()) line += "/";
        else if (binary(it->path())) line += " " + std::to_string(it->file_size());
        lines.push_back(normalised(line));
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

std::string getlog_session::normalised(const std::string& text) const {
    return std::regex_replace(std::regex_replace(text, std::regex(tmp_ + "/"), ""), kLogName, "<log>");
}

process_result getlog_session::tool(std::vector<std::string> argv) const {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (fs::exists(dir + "/" + argv[0])) {
            argv[0] = dir + "/" + argv[0];
            break;
        }
    }
    return lab_.run(argv);
}

std::string getlog_session::file(const std::string& relative) const {
    std::ifstream in(log_entry() + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace enctl::testing
