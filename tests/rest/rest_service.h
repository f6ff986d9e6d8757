// The test REST service (tests/rest/rest_service.py, serving the documents of
// tests/rest/enclosure.json) as a child process of a test, and the transcript
// of http runs against it that the golden files hold.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace enctl::testing {

class rest_service {
public:
    // config: the service's JSON settings (see the script).
    explicit rest_service(const std::string& config = "{}");
    ~rest_service();
    rest_service(const rest_service&) = delete;
    rest_service& operator=(const rest_service&) = delete;

    // "127.0.0.1:<port>"; empty when the service did not start.
    const std::string& address() const { return address_; }
    // The request lines received since the last call.
    std::string new_requests();

private:
    std::string dir_;
    std::string address_;
    std::size_t log_read_ = 0;
    pid_t pid_ = -1;
    int stdin_ = -1;  // the service ends when this pipe closes
};

// A folder of its own for one test, removed with it.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::string replace_all(std::string text, const std::string& from, const std::string& to);

// One run as a golden file keeps it: "$ <words>\n", the output with every CR
// shown as a line break and "\r", "exit <code>\n", then the requests it made.
std::string transcript(const std::string& words, const std::string& output, int exit_code, rest_service& service);

// Every file and folder under `dir`, sorted, one a line: "name/ <mode>" for a
// folder, "name <mode> <size> <fnv-1a hash>" for a file.
std::string listing(const std::string& dir);

}  // namespace enctl::testing
