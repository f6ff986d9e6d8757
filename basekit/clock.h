// The one clock of the program. Every wait (sleeps, polls, time-outs) goes
// through it, so that tests can run a 900-second wait in microseconds.
//
// The system clock really sleeps. The virtual clock advances its own time by
// the amount asked and returns at once; tests install one in-process with
// set_clock, and the environment variable ENCTL_VIRTUAL_CLOCK=1 makes a whole
// enctl process use one (end-to-end tests of long waits) when the process runs
// against the simulated lab: ENCTL_SYSROOT names a device root that the lab's
// tree writer marked. A wait for a real enclosure is never shortened.
#pragma once

#include <cstdint>

namespace enctl {

class clock_source {
public:
    virtual ~clock_source() = default;
    // Monotonic time in milliseconds since an arbitrary start.
    virtual std::uint64_t now_ms() = 0;
    // Sleep (or advance virtual time) by `ms` milliseconds.
    virtual void sleep_ms(std::uint64_t ms) = 0;
    // Sleep by `us` microseconds (rounded up to milliseconds unless the
    // clock knows better).
    virtual void sleep_us(std::uint64_t us) { sleep_ms((us + 999) / 1000); }
};

class system_clock_source final : public clock_source {
public:
    std::uint64_t now_ms() override;
    void sleep_ms(std::uint64_t ms) override;
    void sleep_us(std::uint64_t us) override;
};

class virtual_clock_source final : public clock_source {
public:
    std::uint64_t now_ms() override { return now_; }
    void sleep_ms(std::uint64_t ms) override {
        now_ += ms;
        slept_ += ms;
        ++sleeps_;
    }
    void advance_ms(std::uint64_t ms) { now_ += ms; }
    std::uint64_t slept_ms() const { return slept_; }
    std::uint64_t sleeps() const { return sleeps_; }

private:
    std::uint64_t now_ = 0;
    std::uint64_t slept_ = 0;
    std::uint64_t sleeps_ = 0;
};

// File the simulated lab's tree writer puts at the top of the device root.
inline constexpr char kLabRootMarker[] = "enctl-lab-root";

// True when `flag` (the value of ENCTL_VIRTUAL_CLOCK) is "1" and `sysroot`
// (the value of ENCTL_SYSROOT) is a device root other than "/" that holds
// kLabRootMarker as a regular file.
bool virtual_clock_wanted(const char* flag, const char* sysroot);

// The clock in use: the system clock, or a virtual one when
// virtual_clock_wanted held for the environment at the first call.
clock_source& get_clock();
// Install a clock (tests); nullptr restores the default. Not owned.
void set_clock(clock_source* clock);

inline void sleep_ms(std::uint64_t ms) { get_clock().sleep_ms(ms); }
inline std::uint64_t now_ms() { return get_clock().now_ms(); }

}  // namespace enctl

// Exported by the enctl program for the simulated lab's preload shim, which
// finds it by name: 1 and the reading in `ms` while the process clock is
// virtual, so that the lab's time follows it; 0 otherwise. Reading only.
extern "C" int enctl_virtual_clock_reading(std::uint64_t* ms);
