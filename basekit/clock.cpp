#include "basekit/clock.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace enctl {

std::uint64_t system_clock_source::now_ms() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void system_clock_source::sleep_ms(std::uint64_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void system_clock_source::sleep_us(std::uint64_t us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

namespace {

clock_source* g_installed = nullptr;

clock_source& default_clock() {
    static system_clock_source system_clock;
    static virtual_clock_source virtual_clock;
    static const bool use_virtual = [] {
        const char* v = std::getenv("ENCTL_VIRTUAL_CLOCK");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    if (use_virtual) return virtual_clock;
    return system_clock;
}

}  // namespace

clock_source& get_clock() { return g_installed ? *g_installed : default_clock(); }

void set_clock(clock_source* clock) { g_installed = clock; }

}  // namespace enctl
