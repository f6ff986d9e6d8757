// The test REST service (tests/rest/rest_service.py) as a child process of a
// test: started without a shell on 127.0.0.1 and a free port, stopped (by its
// process id) when the object goes. It records every request it receives.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace enctl::testing {

struct recorded_part {
    std::string name;
    std::string filename;
    std::string data;  // the part's bytes
    std::map<std::string, std::string> headers;
};

struct recorded_request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;  // lower-case names
    std::string body;                            // bytes as received
    std::vector<recorded_part> parts;            // multipart/form-data bodies

    bool has_header(const std::string& name) const { return headers.count(name) != 0; }
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class rest_service {
public:
    // config_json: a JSON object of the service's settings (see the script).
    explicit rest_service(const std::string& config_json = "{}");
    ~rest_service();
    rest_service(const rest_service&) = delete;
    rest_service& operator=(const rest_service&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    // "127.0.0.1:<port>", the address an http run is given.
    std::string address() const;
    // Every request received so far, in order.
    std::vector<recorded_request> requests() const;
    // A scratch folder that lives as long as the service.
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// "Basic " and base64 of "user:password".
std::string basic_credentials(const std::string& user, const std::string& password);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace enctl::testing
