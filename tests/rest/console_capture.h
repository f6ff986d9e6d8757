// Runs a piece of code with the console diverted into a scratch file and
// returns what it printed.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "basekit/console.h"
#include "tests/rest/rest_service.h"

namespace enctl::testing {

template <typename F>
std::string capture_console(F&& body) {
    std::string path = (std::filesystem::temp_directory_path() / "enctl-console-XXXXXX").string();
    const int fd = ::mkstemp(path.data());
    if (fd >= 0) ::close(fd);
    console_capture_begin(path);
    body();
    console_capture_end();
    std::string text = read_file(path);
    std::remove(path.c_str());
    return text;
}

}  // namespace enctl::testing
