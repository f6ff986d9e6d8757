// A simulated lab for one test: started in a fresh directory (optionally
// from a JSON description), stopped when the session ends. run() executes the
// real enctl binary with the lab's environment.
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

class lab_session {
public:
    // Starts the lab; `json` empty means the built-in default lab.
    explicit lab_session(const std::string& json = {}) {
        char pattern[] = "/tmp/enctl-e2e-show-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) return;
        dir_ = made;
        std::vector<std::string> argv{built_program("enctl-lab"), "start", dir_ + "/lab"};
        if (!json.empty()) {
            const std::string path = dir_ + "/lab.json";
            std::ofstream(path) << json;
            argv.push_back(path);
        }
        const process_result started = run_process(argv);
        start_output_ = started.out + started.err;
        if (started.exit_code != 0) return;
        std::size_t line_start = 0;
        const std::string& out = started.out;
        while (line_start < out.size()) {
            std::size_t line_end = out.find('\n', line_start);
            if (line_end == std::string::npos) line_end = out.size();
            const std::string line = out.substr(line_start, line_end - line_start);
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos) env_.emplace_back(line.substr(0, equals), line.substr(equals + 1));
            line_start = line_end + 1;
        }
        started_ = !env_.empty();
    }

    ~lab_session() {
        if (started_) run_process({built_program("enctl-lab"), "stop", dir_ + "/lab"});
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    lab_session(const lab_session&) = delete;
    lab_session& operator=(const lab_session&) = delete;

    bool started() const { return started_; }
    const std::string& start_output() const { return start_output_; }
    const std::string& dir() const { return dir_; }

    process_result run(const std::vector<std::string>& args, const std::string& stdin_text = {}) const {
        process_options options;
        options.env = env_;
        options.stdin_text = stdin_text;
        return run_enctl(args, options);
    }

    process_result lab_command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{built_program("enctl-lab")};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_process(argv);
    }

private:
    std::string dir_;
    std::vector<std::pair<std::string, std::string>> env_;
    std::string start_output_;
    bool started_ = false;
};

}  // namespace enctl::testing
