// A running lab for end-to-end tests: started with the built enctl-lab in a
// fresh temporary directory, stopped when the object goes away.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"

namespace enctl::testing {

class running_lab {
public:
    // `json` empty: the default lab.
    explicit running_lab(const std::string& json = {}) {
        char templ[] = "/tmp/enctl-lab-test-XXXXXX";
        const char* made = ::mkdtemp(templ);
        if (!made) return;
        dir_ = made;
        std::vector<std::string> argv{built_program("enctl-lab"), "start", dir_};
        if (!json.empty()) {
            const std::string file = dir_ + "/lab.json";
            std::ofstream(file) << json;
            argv.push_back(file);
        }
        const auto r = run_process(argv);
        start_out_ = r.out;
        start_err_ = r.err;
        started_ = r.exit_code == 0;
        std::size_t pos = 0;
        while (pos < r.out.size()) {
            const auto nl = r.out.find('\n', pos);
            const std::string line = r.out.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
            const auto eq = line.find('=');
            if (eq != std::string::npos) env_.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            if (nl == std::string::npos) break;
            pos = nl + 1;
        }
    }
    ~running_lab() {
        if (started_) run_process({built_program("enctl-lab"), "stop", dir_});
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    running_lab(const running_lab&) = delete;
    running_lab& operator=(const running_lab&) = delete;

    bool started() const { return started_; }
    const std::string& dir() const { return dir_; }
    const std::string& start_out() const { return start_out_; }
    const std::string& start_err() const { return start_err_; }
    std::string root() const { return dir_ + "/root"; }
    std::string node(const std::string& name) const { return root() + "/dev/" + name; }
    std::string env_value(const std::string& name) const {
        for (const auto& [k, v] : env_)
            if (k == name) return v;
        return {};
    }

    // Runs a program with the lab's environment.
    process_result run(const std::vector<std::string>& argv) const {
        process_options o;
        o.env = env_;
        return run_process(argv, o);
    }
    process_result lab_command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{built_program("enctl-lab")};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_process(argv);
    }
    // The sg node of a SCSI device by its address "H:C:T:L".
    std::string sg_of(const std::string& hctl) const {
        for (const auto& e : std::filesystem::directory_iterator(root() + "/sys/class/scsi_generic")) {
            const auto target = std::filesystem::read_symlink(e.path() / "device");
            if (target.filename() == hctl) return e.path().filename().string();
        }
        return {};
    }

private:
    std::string dir_;
    std::string start_out_, start_err_;
    bool started_ = false;
    std::vector<std::pair<std::string, std::string>> env_;
};

}  // namespace enctl::testing
