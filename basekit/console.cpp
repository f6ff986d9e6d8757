#include "basekit/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "basekit/file_io.h"
#include "basekit/fixed_text.h"
#include "basekit/ordered_jobs.h"

namespace enctl {

int g_console_verbosity = kVerbosityNormal;

namespace {

struct capture_state {
    bool active = false;
    char path[kCapturePathSize] = {};
};

capture_state g_capture;

}  // namespace

void console_print(const char* format, ...) {
    char buffer[kPrintBufferSize];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    const std::size_t length = std::strlen(buffer);
    if (held_output* held = current_held_output()) {
        held->pieces.push_back({false, std::string(buffer, length)});
        return;
    }
    console_write(std::string_view(buffer, length));
}

void console_write(std::string_view text) {
    if (g_capture.active) {
        append_to_file(g_capture.path, text.data(), text.size());
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
}

void console_print_text(std::string_view text) {
    constexpr std::size_t kPiece = kPrintBufferSize - 1;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        const std::string_view piece = text.substr(at, kPiece);
        console_print("%.*s", static_cast<int>(piece.size()), piece.data());
    }
}

int console_capture_begin(std::string_view path) {
    if (g_capture.active) return 1;
    set_text(g_capture.path, path);
    g_capture.active = true;
    return 0;
}

void console_capture_end() {
    g_capture.active = false;
    std::memset(g_capture.path, 0, sizeof g_capture.path);
}

bool console_capture_active() { return g_capture.active; }

int append_to_file(const char* path, const void* bytes, std::size_t length) {
    // A link at the capture path is never followed.
    unique_file file = open_append_no_follow(path);
    if (!file) return 1;
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::size_t done = 0;
    int stalled = 0;
    while (done < length) {
        const std::size_t n = std::fwrite(p + done, 1, length - done, file.get());
        if (n == 0) {
            if (++stalled >= 5) return 2;
            continue;
        }
        done += n;
    }
    return 0;
}

bool console_output_complete() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "ERROR: Cannot write to standard output%s%s\n", error ? ": " : "",
                 error ? std::strerror(error) : "");
    return false;
}

unsigned format_into_buffer(char* buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsprintf(buffer, format, args);
    va_end(args);
    return n < 0 ? ~0u : static_cast<unsigned>(n);
}

int bounded_format(char* buffer, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    return n < 0 ? -1 : n;
}

}  // namespace enctl
