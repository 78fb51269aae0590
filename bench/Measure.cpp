#include "bench/Measure.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

double Series::median() const
{
    if (runs.empty())
        return 0;
    std::vector<double> sorted = runs;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Series::min() const
{
    return runs.empty() ? 0 : *std::min_element(runs.begin(), runs.end());
}

double Series::max() const
{
    return runs.empty() ? 0 : *std::max_element(runs.begin(), runs.end());
}

Series repeat(int repetitions, const std::function<double()> &body)
{
    Series series;
    series.warmUp = body();
    for (int k = 0; k < repetitions; ++k)
        series.runs.push_back(body());
    return series;
}

std::int64_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return std::int64_t(info.uordblks + info.hblkhd);
}

void trimHeap()
{
    malloc_trim(0);
}

namespace {

std::int64_t statusField(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::stoll(line.substr(length + 1)) * 1024; // the kernel reports kB
    }
    return -1;
}

} // namespace

std::int64_t residentBytes()
{
    return statusField("VmRSS");
}

std::int64_t peakResidentBytes()
{
    return statusField("VmHWM");
}

bool resetPeakResident()
{
    FILE *file = std::fopen("/proc/self/clear_refs", "w");
    if (!file)
        return false;
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

int runProgram(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace bench
