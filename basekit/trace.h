// Developer trace: sinks, levels, enter/exit tracing, hex dump and the print
// of an error record. Trace text goes to the registered sinks only; it is
// never captured by console capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

struct vdx_error;

inline constexpr std::uint32_t kTraceDevice = 30;  // device-level detail
inline constexpr std::uint32_t kTraceRaw = 40;     // raw data dumps
inline constexpr std::size_t kMaxTraceSinks = 4096;

extern std::uint32_t g_trace_level;
extern std::uint32_t g_trace_enter_exit;

using trace_sink = void (*)(const char* text);

// Formats (at most kPrintBufferSize - 1 characters) and passes the text to every sink in
// registration order. Callers test the level first (TRACE_AT).
void trace_print(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
// Appends a sink; returns 1 when the table of kMaxTraceSinks sinks is full.
int trace_register_sink(trace_sink sink);
// Hands a formatted text to every sink (the held output of ordered jobs).
void trace_emit(const char* text);
// Removes every sink (tests, and a parser that starts over).
void trace_clear_sinks();
// The sink the program registers with `debug`: the text to standard output.
void trace_sink_stdout(const char* text);

// Hex dump over trace_print (see hex_dump.cpp for the layout).
void trace_hex_dump(const char* title, std::span<const std::uint8_t> bytes);
// Four trace lines describing an error record.
void trace_print_error(const vdx_error& error);

// Prints "%s - enter\n" on construction and "%s - exit\n" on destruction when
// enter/exit tracing is on; covers every return path of a routine.
class trace_scope {
public:
    explicit trace_scope(const char* name) noexcept;
    ~trace_scope();
    trace_scope(const trace_scope&) = delete;
    trace_scope& operator=(const trace_scope&) = delete;

private:
    const char* name_;
};

}  // namespace enctl

#define TRACE_AT(level, ...)                                                   \
    do {                                                                       \
        if (::enctl::g_trace_level >= (level)) ::enctl::trace_print(__VA_ARGS__); \
    } while (0)

#define TRACE_ENTER_EXIT() ::enctl::trace_scope enctl_trace_scope_(__func__)
