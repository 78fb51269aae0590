#pragma once

#include "bench/Measure.h"

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace app {
class Form1;
}

namespace bench {

class Report;

// The program's main window, shown (offscreen), into whose list the listings are loaded.
class Window
{
public:
    // Shows Form1 with startFolder (an empty folder) as the program's current folder.
    explicit Window(const std::string &startFolder);
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    app::Form1 &form() { return *m_form; }

    struct Timing
    {
        double load = 0; // Module1::LoadFileList
        double paint = 0; // processEvents and a grab of the list's viewport
    };
    // Lists folder into ListView1 the way the program does and waits for the list's first paint.
    Timing listAndPaint(const std::string &folder);
    // Brings the list on screen up to date: processEvents and a grab of the viewport.
    void paint();
    // Lists the empty start folder, dropping the previous listing's rows.
    void clear();

private:
    app::Form1 *m_form = nullptr;
    std::string m_startFolder;
};

// L, the machine's limit for listing a folder: getdents64 and one statx with the birth time per
// entry, nothing else. Returns the seconds taken; entries receives the number of entries.
double listAtLimit(const std::string &folder, std::size_t *entries = nullptr);

// The program's file-system layer alone: Folder::Files with each file's size and times.
double walkFolder(const std::string &folder);

// One folder's listing figures: L, the bare walk, and LoadFileList to first paint with its two
// parts. The runs of the four are interleaved so that drift in the machine's speed hits them
// alike.
struct ListingFigures
{
    Series limit, walk, total, load, paint;
    std::size_t entries = 0;
};
ListingFigures measureListing(Window &window, const std::string &folder, int repetitions);
void reportListing(Report &report, const ListingFigures &figures);

// Sorting the listed folder by each of the five columns; returns the slowest column's median
// (to repaint) and reports every column.
struct SortFigures
{
    double slowest = 0; // seconds, median to repaint
    int slowestColumn = 0;
};
SortFigures measureSorting(
    Report &report, Window &window, const std::string &folder, int repetitions, double limit);

// Memory: heap retained per row after listing folder (bytes), and RSS after each of ten listings
// in a row.
double retainedBytesPerRow(Window &window, const std::string &folder, std::size_t entries);
struct PeakFigures
{
    std::int64_t before = 0, peak = 0;
    bool reset = false; // the kernel let the peak be reset before the listing
};
PeakFigures peakResident(Window &window, const std::string &folder);

} // namespace bench

namespace bench {

// Listing one folder several times in a row (over its own previous listing): the time and the
// resident size after each.
struct RepeatFigures
{
    std::vector<double> seconds;
    std::vector<std::int64_t> resident;
};
RepeatFigures repeatListing(Window &window, const std::string &folder, int times);

} // namespace bench
