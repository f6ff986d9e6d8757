#include "basekit/trace.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "basekit/console.h"
#include "basekit/error.h"
#include "basekit/ordered_jobs.h"

namespace enctl {

std::uint32_t g_trace_level = 0;
std::uint32_t g_trace_enter_exit = 0;

namespace {

struct sink_table {
    std::array<trace_sink, kMaxTraceSinks> sinks{};
    std::size_t count = 0;
};

sink_table g_sinks;

void emit(const char* text) {
    if (held_output* held = current_held_output()) {
        held->pieces.push_back({true, text});
        return;
    }
    trace_emit(text);
}

}  // namespace

void trace_emit(const char* text) {
    for (std::size_t i = 0; i < g_sinks.count; ++i) g_sinks.sinks[i](text);
}

void trace_print(const char* format, ...) {
    char buffer[kPrintBufferSize];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    emit(buffer);
}

int trace_register_sink(trace_sink sink) {
    if (g_sinks.count >= kMaxTraceSinks) return 1;
    g_sinks.sinks[g_sinks.count++] = sink;
    return 0;
}

void trace_clear_sinks() { g_sinks.count = 0; }

void trace_sink_stdout(const char* text) { std::printf("%s", text); }

void trace_print_error(const vdx_error& error) {
    trace_print("error code:    %u\n", error.code);
    trace_print("error subcode: %u\n", error.subcode);
    trace_print("message: %s\n", error.message);
    trace_print("location: %s :: %s (line %u)\n", error.file, error.function, error.line);
}

trace_scope::trace_scope(const char* name) noexcept : name_(name) {
    if (g_trace_enter_exit) trace_print("%s - enter\n", name_);
}

trace_scope::~trace_scope() {
    if (g_trace_enter_exit) trace_print("%s - exit\n", name_);
}

}  // namespace enctl
