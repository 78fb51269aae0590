#include "bench/ListingBench.h"

#include "bench/Report.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "filelist/ListView.h"
#include "platform/FileSystem.h"
#include "platform/LongCall.h"

#include <QApplication>
#include <QPixmap>
#include <QThread>
#include <QTreeView>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace bench {

namespace {

// Results are summed into this so that the compiler cannot drop the work that made them.
volatile std::int64_t g_sink = 0;

QString pathText(const std::string &path)
{
    return QString::fromStdString(path);
}

const char *const columnNames[] = {"Filename", "Type", "Size", "Modified", "Created"};

} // namespace

// ---- Window ------------------------------------------------------------------------------------

Window::Window(const std::string &startFolder)
    : m_startFolder(startFolder)
{
    if (chdir(startFolder.c_str()) != 0)
        throw std::runtime_error("cannot change to " + startFolder);
    m_form = &app::Forms::show<app::Form1>();
    paint();
}

Window::~Window()
{
    app::Forms::unload(QStringLiteral("Form1"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Window::paint()
{
    QCoreApplication::processEvents();
    const QPixmap shot = m_form->ListView1->reportView()->viewport()->grab();
    g_sink = g_sink + shot.width();
}

Window::Timing Window::listAndPaint(const std::string &folder)
{
    Timing timing;
    const QString path = pathText(folder);
    const Clock::time_point start = Clock::now();
    app::Module1::LoadFileList(path);
    const Clock::time_point listed = Clock::now();
    paint();
    timing.load = std::chrono::duration<double>(listed - start).count();
    timing.paint = secondsSince(listed);
    return timing;
}

void Window::clear()
{
    app::Module1::LoadFileList(pathText(m_startFolder));
    paint();
    // A large list let go is freed on a thread of its own: the next case starts once it is gone.
    for (int waited = 0; platform::workersStillRunning() && waited < 2000; ++waited)
        QThread::msleep(1);
}

// ---- the listing's parts -----------------------------------------------------------------------

double listAtLimit(const std::string &folder, std::size_t *entries)
{
    const Clock::time_point start = Clock::now();
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + folder + ": " + std::strerror(errno));
    alignas(8) static char buffer[65536];
    std::size_t count = 0;
    std::int64_t sum = 0;
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer + offset);
            offset += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            struct statx status;
            if (statx(fd, name, AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT,
                    STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &status)
                == 0)
                sum += std::int64_t(status.stx_size) + status.stx_mtime.tv_nsec
                    + status.stx_btime.tv_nsec;
            ++count;
        }
    }
    close(fd);
    const double seconds = secondsSince(start);
    g_sink = g_sink + sum;
    if (entries)
        *entries = count;
    return seconds;
}

double walkFolder(const std::string &folder)
{
    const Clock::time_point start = Clock::now();
    const platform::FileSystemObject fileSystem;
    const platform::Folder listed = fileSystem.GetFolder(pathText(folder));
    std::int64_t sum = 0;
    for (const platform::File &file : listed.Files())
        sum += file.Size() + file.DateLastModified() + file.DateCreated().value_or(0);
    const double seconds = secondsSince(start);
    g_sink = g_sink + sum;
    return seconds;
}

ListingFigures measureListing(Window &window, const std::string &folder, int repetitions)
{
    ListingFigures figures;
    for (int run = 0; run <= repetitions; ++run) {
        const bool warmUp = run == 0;
        const double limit = listAtLimit(folder, &figures.entries);
        const double walk = walkFolder(folder);
        window.clear();
        const Window::Timing timing = window.listAndPaint(folder);
        const double total = timing.load + timing.paint;
        if (warmUp) {
            figures.limit.warmUp = limit;
            figures.walk.warmUp = walk;
            figures.total.warmUp = total;
            figures.load.warmUp = timing.load;
            figures.paint.warmUp = timing.paint;
            continue;
        }
        figures.limit.runs.push_back(limit);
        figures.walk.runs.push_back(walk);
        figures.total.runs.push_back(total);
        figures.load.runs.push_back(timing.load);
        figures.paint.runs.push_back(timing.paint);
    }
    return figures;
}

void reportListing(Report &report, const ListingFigures &f)
{
    const double limit = f.limit.median();
    auto ofLimit = [limit](double seconds) { return ratioText(seconds / limit, "L"); };
    report.timed("L: getdents64 + one statx per entry", f.limit, f.entries, "1.00 (L)");
    report.timed("one thread: Folder::Files + statx", f.walk, f.entries, ofLimit(f.walk.median()));
    report.timed("LoadFileList to first paint", f.total, f.entries, ofLimit(f.total.median()));
    report.timed("  LoadFileList call", f.load, f.entries, ofLimit(f.load.median()));
    report.timed(
        "  model/view: processEvents + grab", f.paint, f.entries, ofLimit(f.paint.median()));
}

// ---- sorting -----------------------------------------------------------------------------------

SortFigures measureSorting(
    Report &report, Window &window, const std::string &folder, int repetitions, double limit)
{
    window.clear();
    window.listAndPaint(folder);
    filelist::ListView &list = *window.form().ListView1;
    SortFigures figures;
    for (int column = 0; column < 5; ++column) {
        // Start each timed sort from another column's order, so that it has work to do.
        const int from = column == 0 ? 2 : 0;
        Series toPaint, sortOnly;
        for (int run = 0; run <= repetitions; ++run) {
            list.setSortKey(qint16(from));
            window.paint();
            const Clock::time_point start = Clock::now();
            list.setSortKey(qint16(column));
            const double sorted = secondsSince(start);
            window.paint();
            const double painted = secondsSince(start);
            if (run == 0) {
                toPaint.warmUp = painted;
                sortOnly.warmUp = sorted;
            } else {
                toPaint.runs.push_back(painted);
                sortOnly.runs.push_back(sorted);
            }
        }
        const std::string name = columnNames[column];
        report.timed(
            "by " + name + " to repaint", toPaint, 0, ratioText(toPaint.median() / limit, "L"));
        report.timed("  of which setSortKey(" + std::to_string(column) + ")", sortOnly, 0,
            ratioText(sortOnly.median() / limit, "L"));
        if (toPaint.median() > figures.slowest) {
            figures.slowest = toPaint.median();
            figures.slowestColumn = column;
        }
    }
    list.setSortKey(0);
    return figures;
}

// ---- memory ------------------------------------------------------------------------------------

double retainedBytesPerRow(Window &window, const std::string &folder, std::size_t entries)
{
    window.clear();
    trimHeap();
    const std::int64_t before = heapInUse();
    window.listAndPaint(folder);
    const std::int64_t after = heapInUse();
    return double(after - before) / double(entries);
}

PeakFigures peakResident(Window &window, const std::string &folder)
{
    PeakFigures figures;
    window.clear();
    trimHeap();
    figures.reset = resetPeakResident();
    figures.before = residentBytes();
    window.listAndPaint(folder);
    figures.peak = peakResidentBytes();
    return figures;
}

} // namespace bench

namespace bench {

RepeatFigures repeatListing(Window &window, const std::string &folder, int times)
{
    RepeatFigures figures;
    window.clear();
    trimHeap();
    for (int k = 0; k < times; ++k) {
        const Window::Timing timing = window.listAndPaint(folder);
        figures.seconds.push_back(timing.load + timing.paint);
        figures.resident.push_back(residentBytes());
    }
    return figures;
}

} // namespace bench
