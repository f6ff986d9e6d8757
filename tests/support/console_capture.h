// Runs a piece of code with the console diverted into a temporary file and
// returns what it printed.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "basekit/console.h"

namespace enctl::testing {

template <typename F>
std::string console_output(F&& run, int verbosity = kVerbosityNormal) {
    char path[] = "/tmp/enctl_console_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return "<mkstemp failed>";
    ::close(fd);
    const int saved = g_console_verbosity;
    g_console_verbosity = verbosity;
    console_capture_begin(path);
    run();
    console_capture_end();
    g_console_verbosity = saved;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    return text.str();
}

}  // namespace enctl::testing
