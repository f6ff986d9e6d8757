#include "basekit/clock.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
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

bool virtual_clock_wanted(const char* flag, const char* sysroot) {
    namespace fs = std::filesystem;
    if (flag == nullptr || std::strcmp(flag, "1") != 0 || sysroot == nullptr || *sysroot == '\0') return false;
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(sysroot, ec);
    if (ec || root == root.root_path()) return false;
    return fs::symlink_status(root / kLabRootMarker, ec).type() == fs::file_type::regular;
}

namespace {

clock_source* g_installed = nullptr;

clock_source& default_clock() {
    static system_clock_source system_clock;
    static virtual_clock_source virtual_clock;
    static const bool use_virtual =
        virtual_clock_wanted(std::getenv("ENCTL_VIRTUAL_CLOCK"), std::getenv("ENCTL_SYSROOT"));
    if (use_virtual) return virtual_clock;
    return system_clock;
}

}  // namespace

clock_source& get_clock() { return g_installed ? *g_installed : default_clock(); }

void set_clock(clock_source* clock) { g_installed = clock; }

}  // namespace enctl

extern "C" int enctl_virtual_clock_reading(std::uint64_t* ms) {
    auto* clock = dynamic_cast<enctl::virtual_clock_source*>(&enctl::get_clock());
    if (clock == nullptr || ms == nullptr) return 0;
    *ms = clock->now_ms();
    return 1;
}
