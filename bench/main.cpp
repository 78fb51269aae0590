// tolvan-bench: how close the program's listing, sorting, copying, moving and deleting come to
// what the machine can do. Every figure is set against a reference measured in the same run:
// for listing, L (getdents64 and one statx per entry, nothing else); for file operations, cp
// followed by sync, mv and rm. See --help.

#include "bench/Dataset.h"
#include "bench/FileOpsBench.h"
#include "bench/ListingBench.h"
#include "bench/Measure.h"
#include "bench/Report.h"
#include "bench/Workspace.h"

#include "app/Form1.h"
#include "filelist/ListView.h"
#include "platform/Memory.h"
#include "widgets/CallWaiting.h"
#include "widgets/Services.h"

#include <QApplication>
#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <sys/utsname.h>
#include <unistd.h>

namespace {

using namespace bench;

const std::set<std::string> allCases
    = {"l10k", "l100k", "repeat", "sized", "sort", "unknown", "l1m", "copy", "move", "delete"};

struct Options
{
    std::string parent;
    int repetitions = 5;
    bool quick = false;
    std::set<std::string> cases = allCases;
    std::int64_t fileBytes = std::int64_t(1) << 30;
    std::size_t scale = 1; // counts are divided by this (10 for --quick)
    std::string profileFolder; // --profile-listing: list this folder and nothing else
    std::string limitFolder; // --limit: measure L for this folder and nothing else

    bool has(const char *name) const { return cases.count(name) > 0; }
    std::size_t count(std::size_t full) const { return full / scale; }
};

void printHelp()
{
    std::printf(
        "usage: tolvan-bench [options]\n"
        "  --dir PATH      make the test folders under PATH (default: $TMPDIR, else /var/tmp)\n"
        "  --reps N        measured runs per case after one warm-up (default 5)\n"
        "  --quick         a small run: a tenth of the files, a 64 MiB file, 3 runs\n"
        "  --cases LIST    comma-separated, from: l10k l100k repeat sized sort unknown l1m\n"
        "                  copy move delete (default: all; repeat needs l100k's folder and\n"
        "                  sort the sized one, which they make themselves when run alone)\n"
        "  --file-mib N    size of the copied, moved and deleted file (default 1024)\n"
        "  --profile-listing FOLDER\n"
        "                  list an existing folder into the window twice and print the times;\n"
        "                  for a profiler: valgrind --tool=callgrind --collect-atstart=no\n"
        "                  --toggle-collect='*profiledListing*' tolvan-bench --profile-listing F\n"
        "                  (or '*profiledSort*' for the sorts by each column that follow)\n"
        "  --limit FOLDER  measure L for an existing folder (1 warm-up, then --reps runs) and\n"
        "                  print 'L <median seconds> <entries>'; for the black-box benchmark\n"
        "Run it under a quiet machine: the times are wall-clock.\n");
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    if (const char *tmp = std::getenv("TMPDIR"); tmp && *tmp)
        options.parent = tmp;
    else
        options.parent = access("/var/tmp", W_OK) == 0 ? "/var/tmp" : "/tmp";
    bool repsGiven = false, sizeGiven = false;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        auto next = [&]() -> std::string {
            if (k + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++k];
        };
        if (arg == "--help" || arg == "-h") {
            printHelp();
            std::exit(0);
        } else if (arg == "--dir") {
            options.parent = next();
        } else if (arg == "--reps") {
            options.repetitions = std::max(1, std::stoi(next()));
            repsGiven = true;
        } else if (arg == "--quick") {
            options.quick = true;
        } else if (arg == "--file-mib") {
            options.fileBytes = std::int64_t(std::stoll(next())) << 20;
            sizeGiven = true;
        } else if (arg == "--profile-listing") {
            options.profileFolder = next();
        } else if (arg == "--limit") {
            options.limitFolder = next();
        } else if (arg == "--cases") {
            options.cases.clear();
            std::stringstream list(next());
            for (std::string name; std::getline(list, name, ',');) {
                if (!allCases.count(name))
                    throw std::runtime_error("unknown case: " + name);
                options.cases.insert(name);
            }
        } else {
            throw std::runtime_error("unknown option: " + arg + " (see --help)");
        }
    }
    if (options.quick) {
        options.scale = 10;
        if (!repsGiven)
            options.repetitions = 3;
        if (!sizeGiven)
            options.fileBytes = std::int64_t(64) << 20;
    }
    return options;
}

// Reports failures and messages on stderr instead of in boxes nobody can answer.
class PrintingMessages : public widgets::MessageService
{
public:
    PrintingMessages() { install(this); }
    ~PrintingMessages() override { install(nullptr); }
    int MsgBox(const QString &prompt, int) override
    {
        std::fprintf(stderr, "tolvan-bench: message: %s\n", qPrintable(prompt));
        return Ok;
    }
    void reportFailure(const platform::Failure &failure) override
    {
        std::fprintf(stderr, "tolvan-bench: failure %d: %s\n", failure.number(),
            qPrintable(failure.description()));
    }
};

std::string firstLine(const char *file, const char *prefix)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos
                ? line
                : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "?";
}

void printMachine(const Options &options, const Workspace &workspace)
{
    struct utsname system
    { };
    uname(&system);
    std::printf("Tolvan File Explorer benchmark\n");
    const double memory = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
    std::printf("  machine: %s, %ld cores, %.1f GiB RAM, Linux %s\n",
        firstLine("/proc/cpuinfo", "model name").c_str(), sysconf(_SC_NPROCESSORS_ONLN),
        memory / double(1 << 30), system.release);
    std::printf("  data: %s (%s)%s%s\n", workspace.root().c_str(),
        fileSystemName(workspace.root()).c_str(),
        workspace.otherRoot().empty() ? "" : ", other file system: ",
        workspace.otherRoot().empty()
            ? ""
            : (workspace.otherRoot() + " (" + fileSystemName(workspace.otherRoot()) + ")").c_str());
    const char *tz = std::getenv("TZ");
    std::printf("  Qt %s, QT_QPA_PLATFORM=%s, locale %s, TZ %s\n", qVersion(),
        qgetenv("QT_QPA_PLATFORM").constData(), qPrintable(QLocale().name()), tz ? tz : "unset");
    std::printf("  each case: 1 warm-up run, then %d measured runs (median, min, max)%s\n",
        options.repetitions, options.quick ? "; --quick: a tenth of the files" : "");
    std::fflush(stdout);
}

// What the chosen cases need on the data file system, checked before anything is made.
void checkSpace(const Options &options, const Workspace &workspace)
{
    std::int64_t bytes = std::int64_t(1) << 30; // margin
    std::int64_t inodes = 10000;
    auto need = [&](std::size_t files, std::int64_t perFile) {
        inodes += std::int64_t(files);
        bytes += std::int64_t(files) * perFile;
    };
    if (options.has("l10k"))
        need(options.count(10'000), 64);
    if (options.has("l100k") || options.has("repeat"))
        need(options.count(100'000), 64);
    if (options.has("sized") || options.has("sort"))
        need(options.count(100'000), 16 * 1024);
    if (options.has("unknown"))
        need(options.count(100'000), 64);
    if (options.has("l1m"))
        need(options.count(1'000'000), 64);
    if (options.has("copy") || options.has("move") || options.has("delete"))
        bytes += 3 * options.fileBytes;
    const FreeSpace free = freeSpace(workspace.root());
    if (free.bytes < bytes || free.inodes < inodes) {
        throw std::runtime_error("not enough room in " + workspace.root() + ": need "
            + bytesText(double(bytes)) + " and " + std::to_string(inodes) + " inodes, have "
            + bytesText(double(free.bytes)) + " and " + std::to_string(free.inodes)
            + " (choose another --dir, or fewer --cases)");
    }
    if (options.has("move") && !workspace.otherRoot().empty()
        && freeSpace(workspace.otherRoot()).bytes < options.fileBytes + (64 << 20))
        throw std::runtime_error("not enough room in /dev/shm for the move across file systems");
}

struct FolderSpec
{
    const char *name;
    std::size_t count;
    Suffixes suffixes;
    std::size_t maxBytes;
    std::uint32_t seed;
};

std::string makeFolder(const Workspace &workspace, const FolderSpec &spec)
{
    const Clock::time_point start = Clock::now();
    const std::string folder = workspace.makeFolder(spec.name);
    createFiles(
        folder, realisticNames(spec.count, spec.suffixes, spec.seed), spec.maxBytes, spec.seed);
    std::printf("\n(made %s files in %s)\n", countText(spec.count).c_str(),
        durationText(secondsSince(start)).c_str());
    return folder;
}

void dropFolder(std::string &folder)
{
    if (folder.empty())
        return;
    const Clock::time_point start = Clock::now();
    removeTree(folder.c_str());
    std::printf("(removed %s in %s)\n", folder.c_str(), durationText(secondsSince(start)).c_str());
    folder.clear();
}

// The targets of a listing: at most good x L, never more than ceiling x L.
void listingTarget(Report &report, const std::string &label, const ListingFigures &figures,
    double good, double ceiling)
{
    const double ratio = figures.total.median() / figures.limit.median();
    char limit[64];
    std::snprintf(limit, sizeof limit, "<= %.1f x L", good);
    std::string remark;
    if (ceiling > good) {
        char text[64];
        std::snprintf(text, sizeof text, "(ceiling %.1f x L%s)", ceiling,
            ratio > ceiling ? ": EXCEEDED" : "");
        remark = text;
    }
    report.target(label, ratioText(ratio, "L"), limit, ratio <= good, remark);
}

class Benchmark
{
public:
    Benchmark(const Options &options, const Workspace &workspace, Window &window)
        : o(options)
        , w(workspace)
        , window(window)
    { }

    void run()
    {
        attempt("l10k", [&] { listing(tenK(), "LoadFileList " + n(10'000)); });
        if (o.has("l100k") || o.has("repeat")) {
            std::string folder = makeFolder(w, hundredK());
            attempt("l100k", [&] { plainHundredK(folder); });
            attempt("repeat", [&] { repeated(folder); });
            dropFolder(folder);
        }
        if (o.has("sized") || o.has("sort")) {
            std::string folder = makeFolder(w, sized());
            attempt("sized", [&] {
                report.section("-- folder of " + n(100'000) + " " + describe(sized()));
                sizedFigures = measureListing(window, folder, o.repetitions);
                reportListing(report, *sizedFigures);
                listingTarget(
                    report, "LoadFileList " + n(100'000) + " sized files", *sizedFigures, 1.3, 2.0);
            });
            attempt("sort", [&] { sorting(folder); });
            dropFolder(folder);
        }
        attempt("unknown", [&] {
            listing(unknown(), "LoadFileList " + n(100'000) + " unknown suffixes", 2.0, 2.0);
        });
        attempt("l1m", [&] { million(); });
        if (o.has("copy") || o.has("move") || o.has("delete"))
            attempt(
                "copy", [&] { fileOps(); }, true);
        report.printTargets();
    }

    Report report;

private:
    std::string n(std::size_t full) const { return countText(o.count(full)); }
    FolderSpec tenK() const { return {"list-10k", o.count(10'000), Suffixes::Common, 0, 10}; }
    FolderSpec hundredK() const
    {
        return {"list-100k", o.count(100'000), Suffixes::Common, 0, 100};
    }
    FolderSpec sized() const
    {
        return {"sized-100k", o.count(100'000), Suffixes::Common, 16 * 1024, 101};
    }
    FolderSpec unknown() const
    {
        return {"unknown-100k", o.count(100'000), Suffixes::Unknown, 0, 102};
    }
    FolderSpec oneM() const { return {"list-1m", o.count(1'000'000), Suffixes::Common, 0, 1000}; }

    // Runs one case; a failure is reported and the case's targets are marked as not met.
    void attempt(const char *name, const std::function<void()> &body, bool always = false)
    {
        if (!always && !o.has(name))
            return;
        try {
            body();
        } catch (const std::exception &failure) {
            std::printf("  CASE FAILED (%s): %s\n", name, failure.what());
            report.target(std::string("case ") + name, "failed", "-", false, failure.what());
        }
    }

    void listing(
        const FolderSpec &spec, const std::string &label, double good = 0, double ceiling = 0)
    {
        std::string folder = makeFolder(w, spec);
        report.section("-- folder of " + countText(spec.count) + " " + describe(spec));
        const ListingFigures figures = measureListing(window, folder, o.repetitions);
        reportListing(report, figures);
        if (good > 0)
            listingTarget(report, label, figures, good, ceiling);
        dropFolder(folder);
    }

    static std::string describe(const FolderSpec &spec)
    {
        std::string text = spec.maxBytes ? "files of 0 to 16 KiB" : "empty files";
        text += spec.suffixes == Suffixes::Unknown ? ", 1,000 distinct unknown suffixes (1/10 none)"
                                                   : ", ten common suffixes (1/10 none)";
        return text;
    }

    void plainHundredK(const std::string &folder)
    {
        report.section("-- folder of " + n(100'000) + " " + describe(hundredK()));
        hundredKFigures = measureListing(window, folder, o.repetitions);
        reportListing(report, *hundredKFigures);
        listingTarget(report, "LoadFileList " + n(100'000) + " files to first paint",
            *hundredKFigures, 1.5, 2.0);
        const double perRow = retainedBytesPerRow(window, folder, hundredKFigures->entries);
        report.value("retained heap per row (mallinfo2)", bytesText(perRow), "");
        report.target("retained heap per row, " + n(100'000) + " rows", bytesText(perRow),
            "<= 250 B", perRow <= 250);
    }

    void repeated(const std::string &folder)
    {
        const int times = 10;
        report.section(
            "-- the " + n(100'000) + " folder listed " + std::to_string(times) + " times in a row");
        const RepeatFigures figures = repeatListing(window, folder, times);
        for (int k = 0; k < times; ++k) {
            char label[64];
            std::snprintf(label, sizeof label, "listing %d: to first paint, then RSS", k + 1);
            report.value(label, durationText(figures.seconds[size_t(k)]),
                "RSS " + bytesText(double(figures.resident[size_t(k)])));
        }
        const double growth = double(figures.resident.back()) / double(figures.resident.front());
        const double slower = figures.seconds.back() / figures.seconds.front();
        report.value("10th against 1st: time", ratioText(slower, "1st"), "");
        report.value("10th against 1st: RSS", ratioText(growth, "1st"), "");
        report.target("RSS after " + std::to_string(times) + " listings of " + n(100'000),
            ratioText(growth, "1st"), "<= 1.05 x 1st", growth <= 1.05);
    }

    void sorting(const std::string &folder)
    {
        if (!sizedFigures) {
            sizedFigures = measureListing(window, folder, o.repetitions);
        }
        const double limit = sizedFigures->limit.median();
        report.section(
            "-- sorting the " + n(100'000) + " sized files (L = " + durationText(limit) + ")");
        const SortFigures figures = measureSorting(report, window, folder, o.repetitions, limit);
        const char *const names[] = {"Filename", "Type", "Size", "Modified", "Created"};
        const std::string slowest = std::string(" (slowest: ") + names[figures.slowestColumn] + ")";
        report.target("sort " + n(100'000) + " rows, any column" + slowest,
            durationText(figures.slowest), "<= 100 ms", figures.slowest <= 0.100);
        report.target("sort " + n(100'000) + " rows, any column, against L" + slowest,
            ratioText(figures.slowest / limit, "L"), "<= 0.3 x L", figures.slowest <= 0.3 * limit);
    }

    void million()
    {
        std::string folder = makeFolder(w, oneM());
        report.section("-- folder of " + n(1'000'000) + " " + describe(oneM()));
        const ListingFigures figures = measureListing(window, folder, o.repetitions);
        reportListing(report, figures);
        listingTarget(
            report, "LoadFileList " + n(1'000'000) + " files to first paint", figures, 1.2, 2.0);
        const PeakFigures peak = peakResident(window, folder);
        report.value("peak RSS while listing (VmHWM)", bytesText(double(peak.peak)),
            "RSS before: " + bytesText(double(peak.before))
                + (peak.reset ? "" : " (peak could not be reset: includes earlier cases)"));
        report.target("peak RSS listing " + n(1'000'000) + " files", bytesText(double(peak.peak)),
            "<= 130 MB", peak.peak <= 130'000'000);
        window.clear();
        dropFolder(folder);
    }

    void fileOps()
    {
        const std::string folder = w.makeFolder("file-ops");
        std::string other;
        if (!w.otherRoot().empty())
            other = w.otherRoot();
        report.section("-- one file of " + bytesText(double(o.fileBytes)) + " (" + w.root()
            + " and " + (other.empty() ? std::string("no other file system") : other) + ")");
        FileOpsChoice choice;
        choice.copy = o.has("copy");
        choice.move = o.has("move");
        choice.remove = o.has("delete");
        const FileOpsFigures f
            = measureFileOps(report, folder, other, o.fileBytes, o.repetitions, choice);
        auto faster = [&](const std::string &label, const Series &mine, const Series &reference,
                          double atLeast, const char *name) {
            const double ratio = reference.median() / mine.median();
            char limit[64];
            std::snprintf(limit, sizeof limit, ">= %.1f x %s", atLeast, name);
            report.target(label, ratioText(ratio, std::string(name)), limit, ratio >= atLeast);
        };
        auto within = [&](const std::string &label, const Series &mine, const Series &reference,
                          double atMost, const char *name) {
            const double ratio = mine.median() / reference.median();
            char limit[64];
            std::snprintf(limit, sizeof limit, "<= %.1f x %s", atMost, name);
            report.target(label, ratioText(ratio, std::string(name)), limit, ratio <= atMost);
        };
        if (choice.copy) {
            faster("copy to a new file: throughput", f.copyNew, f.cpNew, 0.9, "cp+sync");
            faster("copy over an existing file: throughput", f.copyOver, f.cpOver, 0.9, "cp+sync");
        }
        if (choice.move) {
            if (!f.moveAcross.empty())
                faster("move to /dev/shm: throughput", f.moveAcross, f.mvAcross, 0.8, "mv");
            within("move within the file system: time", f.moveSame, f.mvSame, 1.2, "mv");
        }
        if (choice.remove)
            within("delete: time", f.remove, f.rm, 1.2, "rm");
    }

    const Options &o;
    const Workspace &w;
    Window &window;
    std::optional<ListingFigures> hundredKFigures, sizedFigures;
};

// The listing a profiler looks at, kept out of line so that its name can switch collection on.
__attribute__((noinline)) Window::Timing profiledListing(Window &window, const std::string &folder)
{
    return window.listAndPaint(folder);
}

// One sort to repaint, out of line for the same reason.
__attribute__((noinline)) double profiledSort(Window &window, int column)
{
    const Clock::time_point start = Clock::now();
    window.form().ListView1->setSortKey(qint16(column));
    window.paint();
    return secondsSince(start);
}

int profileListing(const Options &options)
{
    const Workspace workspace(options.parent);
    Window window(workspace.makeFolder("start"));
    std::size_t entries = 0;
    const double limit = listAtLimit(options.profileFolder, &entries);
    const Window::Timing first = window.listAndPaint(options.profileFolder);
    window.clear();
    const Window::Timing second = profiledListing(window, options.profileFolder);
    std::printf("%zu entries: L %s; first listing %s + paint %s; second %s + paint %s\n", entries,
        durationText(limit).c_str(), durationText(first.load).c_str(),
        durationText(first.paint).c_str(), durationText(second.load).c_str(),
        durationText(second.paint).c_str());
    // Then each column's sort, starting from the order by name (by size for the name itself).
    for (int column : {1, 2, 3, 4, 0}) {
        const double seconds = profiledSort(window, column);
        std::printf("sort by column %d to repaint: %s\n", column, durationText(seconds).c_str());
        window.form().ListView1->setSortKey(column == 0 ? 0 : 2);
        window.paint();
        if (column == 4) {
            window.form().ListView1->setSortKey(2);
            window.paint();
        }
    }
    return 0;
}

} // namespace

// L for one folder, for a caller that measures the program from outside in the same run.
int printLimit(const Options &options)
{
    std::size_t entries = 0;
    listAtLimit(options.limitFolder, &entries); // warm-up: the folder's entries in the cache
    std::vector<double> runs;
    for (int k = 0; k < options.repetitions; ++k)
        runs.push_back(listAtLimit(options.limitFolder));
    std::sort(runs.begin(), runs.end());
    std::printf("L %.6f %zu\n", runs[runs.size() / 2], entries);
    return 0;
}

int main(int argc, char **argv)
{
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "tolvan-bench: %s\n", error.what());
        return 2;
    }
    if (!options.limitFolder.empty()) {
        try {
            return printLimit(options);
        } catch (const std::exception &error) {
            std::fprintf(stderr, "tolvan-bench: %s\n", error.what());
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // As the program does (see startProgram): large blocks go back to the system, and a long
    // call runs on a worker while the window waits, so that a listing is measured on the threads
    // and the allocator's arenas the program uses.
    platform::returnLargeBlocksToTheSystem();
    widgets::waitForLongCalls();
    QApplication::setApplicationName(QStringLiteral("tolvan-bench"));
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const PrintingMessages messages;

    int missed = 0;
    try {
        if (!options.profileFolder.empty())
            return profileListing(options);
        const Workspace workspace(options.parent);
        printMachine(options, workspace);
        checkSpace(options, workspace);
        Window window(workspace.makeFolder("start"));
        Benchmark benchmark(options, workspace, window);
        benchmark.run();
        missed = benchmark.report.missed();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "tolvan-bench: %s\n", error.what());
        return 2;
    }
    // Missed targets are part of the results, not a failure of the run.
    std::printf(missed ? "\n%d target(s) missed\n" : "\nall targets met\n", missed);
    return 0;
}
