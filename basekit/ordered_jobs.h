// Per-device jobs run on a small pool of threads, their output in job order.
//
// Each job's console output and trace lines are held in a buffer of its own
// while it runs on a worker, and written (to the console, the capture file,
// the trace sinks) by the calling thread in job order: the bytes and their
// order are those of running the jobs one after another. A job that must not
// leave the calling thread (a helper library that is not thread-safe) runs
// there when its turn comes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace enctl {

// The most workers a pool gets.
inline constexpr std::size_t kMaxJobWorkers = 16;

// Workers for `jobs` jobs on devices behind `hosts` SCSI hosts: a few per
// host, at most kMaxJobWorkers and never more than the jobs; one while
// device-level tracing is on. The environment variable ENCTL_JOB_WORKERS=N
// (tests) caps it at N.
std::size_t job_workers(std::size_t jobs, std::size_t hosts);

// Runs job(0) ... job(count - 1) on `workers` threads (none: in the calling
// thread, one after another, unbuffered); jobs for which `on_caller(i)` is
// true run in the calling thread in their turn.
void run_ordered_jobs(std::size_t count, std::size_t workers, const std::function<void(std::size_t)>& job,
                      const std::function<bool(std::size_t)>& on_caller = {});

// The output a thread holds back while it runs a job (internal to basekit:
// console_print and trace_print add to it).
struct held_output {
    struct piece {
        bool trace;
        std::string text;
    };
    std::vector<piece> pieces;
};
// The current thread's held output, none when it writes directly.
held_output* current_held_output();

}  // namespace enctl
