#include "tests/support/running_lab.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace enctl::testing {

running_lab::running_lab(const std::string& json) {
    char pattern[] = "/tmp/enctl-lab-test-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    dir_ = pattern;
    std::vector<std::string> argv{built_program("enctl-lab"), "start", dir_};
    if (!json.empty()) {
        std::ofstream(dir_ + "/lab.json") << json;
        argv.push_back(dir_ + "/lab.json");
    }
    start_ = run_process(argv);
    if (start_.exit_code != 0) return;
    started_ = true;
    std::istringstream lines(start_.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) env_.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
}

running_lab::~running_lab() {
    if (started_) lab_command({"stop", dir_});
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

process_result running_lab::run(const std::vector<std::string>& argv) const {
    process_options options;
    options.env = env_;
    return run_process(argv, options);
}

process_result running_lab::enctl(const std::vector<std::string>& args) const {
    process_options options;
    options.env = env_;
    return run_enctl(args, options);
}

process_result running_lab::lab_command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{built_program("enctl-lab")};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv);
}

}  // namespace enctl::testing
