#include "basekit/ordered_jobs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "basekit/console.h"
#include "basekit/trace.h"

namespace enctl {
namespace {

thread_local held_output* t_held = nullptr;

constexpr std::size_t kWorkersPerHost = 8;

void write_out(const held_output& held) {
    for (const held_output::piece& p : held.pieces) {
        if (p.trace) trace_emit(p.text.c_str());
        else console_write(p.text);
    }
}

}  // namespace

held_output* current_held_output() { return t_held; }

std::size_t job_workers(std::size_t jobs, std::size_t hosts) {
    // Device-level trace lines name the system's handles, whose numbers
    // follow the order in which devices (and files) are opened: with them on,
    // one worker keeps every byte as a sequential run writes it.
    if (g_trace_level >= kTraceDevice) return 1;
    std::size_t workers = std::min({kMaxJobWorkers, jobs, std::max<std::size_t>(hosts, 1) * kWorkersPerHost});
    if (const char* cap = std::getenv("ENCTL_JOB_WORKERS")) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(cap, &end, 10);
        if (end != cap && *end == '\0' && n >= 1) workers = std::min<std::size_t>(workers, n);
    }
    return std::max<std::size_t>(workers, 1);
}

void run_ordered_jobs(std::size_t count, std::size_t workers, const std::function<void(std::size_t)>& job,
                      const std::function<bool(std::size_t)>& on_caller) {
    const auto caller_runs = [&](std::size_t i) { return on_caller && on_caller(i); };
    if (workers <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) job(i);
        return;
    }
    std::vector<held_output> held(count);
    std::vector<char> done(count, 0);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            if (caller_runs(i)) continue;
            t_held = &held[i];
            job(i);
            t_held = nullptr;
            const std::lock_guard lock(mutex);
            done[i] = 1;
            finished.notify_all();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w) pool.emplace_back(work);
    for (std::size_t i = 0; i < count; ++i) {
        if (caller_runs(i)) {
            job(i);
            continue;
        }
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return done[i] != 0; });
        }
        write_out(held[i]);
        held[i] = held_output{};
    }
    for (std::thread& t : pool) t.join();
}

}  // namespace enctl
