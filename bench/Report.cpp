#include "bench/Report.h"

#include <cmath>
#include <cstdio>

namespace bench {

namespace {

constexpr int labelWidth = 50;

void printRow(const std::string &label, const std::string &columns)
{
    std::printf("  %-*s%s\n", labelWidth, label.c_str(), columns.c_str());
    std::fflush(stdout);
}

} // namespace

std::string durationText(double seconds)
{
    char text[32];
    if (seconds >= 10)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    return text;
}

std::string ratioText(double ratio, const std::string &reference)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f x %s", ratio, reference.c_str());
    return text;
}

std::string bytesText(double bytes)
{
    char text[32];
    if (std::fabs(bytes) >= 1e6)
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    else if (std::fabs(bytes) >= 1e3)
        std::snprintf(text, sizeof text, "%.1f kB", bytes / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    return text;
}

std::string countText(std::size_t count)
{
    if (count >= 1'000'000 && count % 1'000'000 == 0)
        return std::to_string(count / 1'000'000) + "M";
    if (count >= 1000 && count % 1000 == 0)
        return std::to_string(count / 1000) + "k";
    return std::to_string(count);
}

void Report::section(const std::string &title)
{
    std::printf("\n%s\n", title.c_str());
    std::printf("  %-*s%10s %10s %10s %10s %9s  %s\n", labelWidth, "", "median", "min", "max",
        "warm-up", "per entry", "ratio");
    std::fflush(stdout);
}

void Report::timed(
    const std::string &label, const Series &series, std::size_t entries, const std::string &ratio)
{
    char perEntry[32] = "";
    if (entries > 0)
        std::snprintf(
            perEntry, sizeof perEntry, "%.2f us", series.median() * 1e6 / double(entries));
    char columns[256];
    std::snprintf(columns, sizeof columns, "%10s %10s %10s %10s %9s  %s",
        durationText(series.median()).c_str(), durationText(series.min()).c_str(),
        durationText(series.max()).c_str(), durationText(series.warmUp).c_str(), perEntry,
        ratio.c_str());
    printRow(label, columns);
}

void Report::value(const std::string &label, const std::string &value, const std::string &remark)
{
    char columns[256];
    std::snprintf(columns, sizeof columns, "%10s %43s  %s", value.c_str(), "", remark.c_str());
    printRow(label, columns);
}

void Report::note(const std::string &text)
{
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

void Report::target(const std::string &label, const std::string &measured, const std::string &limit,
    bool met, const std::string &remark)
{
    m_targets.push_back({label, measured, limit, remark, met});
}

void Report::printTargets() const
{
    std::printf("\nTargets (ratios from this run)\n");
    for (const Target &t : m_targets) {
        std::printf("  %-4s %-52s %-16s limit %-22s %s\n", t.met ? "PASS" : "MISS", t.label.c_str(),
            t.measured.c_str(), t.limit.c_str(), t.remark.c_str());
    }
    std::printf("  %d of %zu targets met\n", int(m_targets.size()) - missed(), m_targets.size());
    std::fflush(stdout);
}

int Report::missed() const
{
    int count = 0;
    for (const Target &t : m_targets)
        count += t.met ? 0 : 1;
    return count;
}

} // namespace bench
