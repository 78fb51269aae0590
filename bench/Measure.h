#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The times of one case's measured runs (seconds), plus the warm-up run kept apart.
struct Series
{
    std::vector<double> runs;
    double warmUp = 0;

    double median() const;
    double min() const;
    double max() const;
    bool empty() const { return runs.empty(); }
};

// Runs body once as a warm-up and then repetitions times; body returns the seconds it measured
// (so that it can leave set-up and tear-down out).
Series repeat(int repetitions, const std::function<double()> &body);

// Memory as the allocator and the kernel see it.
std::int64_t heapInUse(); // mallinfo2: bytes handed out, from the heap and from mmap
void trimHeap(); // malloc_trim: hand freed memory back, so RSS readings start level
std::int64_t residentBytes(); // VmRSS
std::int64_t peakResidentBytes(); // VmHWM
bool resetPeakResident(); // writes 5 to /proc/self/clear_refs; false where refused

// Starts program (looked up in PATH, no shell) with args and waits for it; returns its exit
// status, or -1 when it could not be started or did not exit normally.
int runProgram(const std::vector<std::string> &args);

} // namespace bench
