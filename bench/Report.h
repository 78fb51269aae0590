#pragma once

#include "bench/Measure.h"

#include <optional>
#include <string>
#include <vector>

namespace bench {

// The benchmark's printed table: sections of timed rows and value rows, then the targets with
// PASS or MISS. Rows are printed as they are added, so a long run shows its progress.
class Report
{
public:
    void section(const std::string &title);
    // A timed row: median, minimum, maximum and the warm-up run; per entry when entries > 0;
    // ratio is the text of the last column ("1.00 (L)", "1.42 x L").
    void timed(const std::string &label, const Series &series, std::size_t entries,
        const std::string &ratio);
    // A row with a single value and its ratio or remark.
    void value(const std::string &label, const std::string &value, const std::string &remark);
    void note(const std::string &text);

    // A target: measured and limit as texts, and whether it was met. A target whose case was
    // not run is left out; one whose case failed is reported as MISS with the reason.
    void target(const std::string &label, const std::string &measured, const std::string &limit,
        bool met, const std::string &remark = {});
    void printTargets() const;
    int missed() const;

private:
    struct Target
    {
        std::string label, measured, limit, remark;
        bool met;
    };
    std::vector<Target> m_targets;
};

// Texts for the table.
std::string durationText(double seconds);
std::string ratioText(double ratio, const std::string &reference);
std::string bytesText(double bytes);
std::string countText(std::size_t count); // 100000 -> "100k"

} // namespace bench
