// A simulated lab for one test: the built enctl-lab started in a fresh
// temporary directory (from a JSON description or the built-in default lab)
// and stopped, its directory removed, when the object goes away. Programs
// run with the lab's environment reach its devices through the preload shim.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/process.h"

namespace enctl::testing {

class running_lab {
public:
    // `json` empty: the default lab.
    explicit running_lab(const std::string& json = {});
    ~running_lab();
    running_lab(const running_lab&) = delete;
    running_lab& operator=(const running_lab&) = delete;

    bool started() const { return started_; }
    const process_result& start_result() const { return start_; }
    const std::string& dir() const { return dir_; }  // holds lab.sock and root/
    std::string root() const { return dir_ + "/root"; }
    std::string node(std::string_view name) const { return root() + "/dev/" + std::string(name); }
    const std::vector<std::pair<std::string, std::string>>& env() const { return env_; }

    // Any program, or the built enctl, with the lab's environment.
    process_result run(const std::vector<std::string>& argv) const;
    process_result enctl(const std::vector<std::string>& args) const;
    // enctl-lab with `args` (the caller names the directory).
    process_result lab_command(const std::vector<std::string>& args) const;

private:
    std::string dir_;
    process_result start_;
    std::vector<std::pair<std::string, std::string>> env_;
    bool started_ = false;
};

}  // namespace enctl::testing
