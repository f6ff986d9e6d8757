// Console writer, verbosity gating and console capture.
//
// All user-visible text goes through console_print. A message is printed only
// when g_console_verbosity is at least its level: kVerbosityOom out-of-memory
// reports, kVerbosityNormal normal output and errors, kVerbosityDebug debug.
// The test is made at the call site, before formatting (use CONSOLE_PRINT).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace enctl {

inline constexpr int kVerbosityOom = 1;
inline constexpr int kVerbosityNormal = 2;
inline constexpr int kVerbosityDebug = 3;

// Size of the formatting buffer of console and trace prints: at most
// kPrintBufferSize - 1 characters of one call reach the output.
inline constexpr std::size_t kPrintBufferSize = 4096;
// Room of the capture file path.
inline constexpr std::size_t kCapturePathSize = 1024;

extern int g_console_verbosity;

// Formats into a kPrintBufferSize buffer (longer output is cut) and writes the text
// to the capture file when a capture is active, else to standard output.
void console_print(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Writes `text` as it is (never as a format), in pieces of at most
// kPrintBufferSize - 1 characters, so that a text of any length arrives whole.
// The text must not hold NUL characters.
void console_print_text(std::string_view text);

// Writes an already formatted text to the capture file or standard output
// (the held output of ordered jobs, basekit/ordered_jobs.h).
void console_write(std::string_view text);

// Returns 1 and changes nothing when a capture is already active; otherwise
// stores the path (cut to 1023 characters) and activates capture, returns 0.
int console_capture_begin(std::string_view path);
// Deactivates capture and clears the stored path.
void console_capture_end();
bool console_capture_active();

// Appends bytes to a file (binary append, created when absent, a link at the
// path refused); keeps writing a short write's rest and
// gives up after 5 writes that move nothing. 0 success, 1 cannot open, 2 gave up.
int append_to_file(const char* path, const void* bytes, std::size_t length);

// Flushes standard output. False, after a message on standard error, when
// anything written to it could not be written (a full disk, a closed pipe).
bool console_output_complete();

// Unbounded formatted print into `buffer`: the character count, or all-ones on
// a formatting error.
unsigned format_into_buffer(char* buffer, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// Bounded formatted print, as snprintf: the count, or -1.
int bounded_format(char* buffer, std::size_t size, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));

}  // namespace enctl

// Print at a verbosity level; the arguments are evaluated only when printed.
#define CONSOLE_PRINT(level, ...)                                  \
    do {                                                           \
        if (::enctl::g_console_verbosity >= (level)) ::enctl::console_print(__VA_ARGS__); \
    } while (0)
