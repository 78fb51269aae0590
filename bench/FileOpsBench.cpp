#include "bench/FileOpsBench.h"

#include "bench/Dataset.h"
#include "bench/Report.h"

#include "platform/Failure.h"
#include "platform/FileChanges.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace bench {

namespace {

QString text(const std::string &path)
{
    return QString::fromStdString(path);
}

void run(const std::vector<std::string> &args)
{
    if (runProgram(args) != 0) {
        std::string line;
        for (const std::string &arg : args)
            line += (line.empty() ? "" : " ") + arg;
        throw std::runtime_error("failed: " + line);
    }
}

void removeIfThere(const std::string &path)
{
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
}

// Copies with cp and flushes, outside any measurement.
void prepareCopy(const std::string &source, const std::string &destination)
{
    run({"cp", source, destination});
    sync();
}

double timed(const std::function<void()> &action)
{
    const Clock::time_point start = Clock::now();
    action();
    return secondsSince(start);
}

void add(Series &series, bool warmUp, double seconds)
{
    if (warmUp)
        series.warmUp = seconds;
    else
        series.runs.push_back(seconds);
}

std::string throughput(std::int64_t bytes, double seconds)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f MB/s", double(bytes) / seconds / 1e6);
    return buffer;
}

} // namespace

FileOpsFigures measureFileOps(Report &report, const std::string &folder,
    const std::string &otherFolder, std::int64_t bytes, int repetitions, FileOpsChoice choice)
{
    FileOpsFigures f;
    const std::string source = folder + "/source.bin";
    const std::string copy = folder + "/copy.bin";
    const std::string moving = folder + "/moving.bin";
    const std::string moved = folder + "/moved.bin";
    const std::string across = otherFolder.empty() ? std::string() : otherFolder + "/moved.bin";
    const std::string victim = folder + "/victim.bin";
    createLargeFile(source, bytes);

    f.spawn = repeat(repetitions, [] { return timed([] { run({"true"}); }); });

    for (int k = 0; choice.copy && k <= repetitions; ++k) {
        const bool warmUp = k == 0;
        removeIfThere(copy);
        sync();
        add(f.copyNew, warmUp,
            timed([&] { platform::changes::copyFile(text(source), text(copy), true); }));
        removeIfThere(copy);
        sync();
        add(f.cpNew, warmUp, timed([&] {
            run({"cp", source, copy});
            run({"sync", copy});
        }));
        // The copy from the run before is the existing destination now.
        sync();
        add(f.copyOver, warmUp,
            timed([&] { platform::changes::copyFile(text(source), text(copy), true); }));
        sync();
        add(f.cpOver, warmUp, timed([&] {
            run({"cp", source, copy});
            run({"sync", copy});
        }));
    }
    removeIfThere(copy);

    if (choice.move) {
        prepareCopy(source, moving);
        for (int k = 0; k <= repetitions; ++k) {
            const bool warmUp = k == 0;
            add(f.moveSame, warmUp,
                timed([&] { platform::changes::moveFile(text(moving), text(moved)); }));
            if (rename(moved.c_str(), moving.c_str()) != 0)
                throw std::runtime_error("cannot move the file back");
            add(f.mvSame, warmUp, timed([&] { run({"mv", moving, moved}); }));
            if (rename(moved.c_str(), moving.c_str()) != 0)
                throw std::runtime_error("cannot move the file back");
            if (across.empty())
                continue;
            sync();
            add(f.moveAcross, warmUp,
                timed([&] { platform::changes::moveFile(text(moving), text(across)); }));
            run({"mv", across, moving});
            sync();
            add(f.mvAcross, warmUp, timed([&] { run({"mv", moving, across}); }));
            run({"mv", across, moving});
        }
        removeIfThere(moving);
    }

    for (int k = 0; choice.remove && k <= repetitions; ++k) {
        const bool warmUp = k == 0;
        prepareCopy(source, victim);
        add(f.remove, warmUp, timed([&] { platform::changes::deleteFile(text(victim), false); }));
        prepareCopy(source, victim);
        add(f.rm, warmUp, timed([&] { run({"rm", victim}); }));
    }
    removeIfThere(source);

    auto both = [&](const std::string &ours, const Series &mine, const std::string &theirs,
                    const Series &reference, bool showThroughput) {
        const std::string extra
            = showThroughput ? ", " + throughput(bytes, reference.median()) : std::string();
        report.timed(theirs, reference, 0, "1.00 (reference)" + extra);
        const std::string ratio = ratioText(mine.median() / reference.median(), "time")
            + (showThroughput ? ", " + throughput(bytes, mine.median()) : std::string());
        report.timed(ours, mine, 0, ratio);
    };
    report.timed("posix_spawn + wait of `true` (in every reference)", f.spawn, 0, "");
    if (choice.copy) {
        both("copyFile to a new file", f.copyNew, "cp + sync FILE to a new file", f.cpNew, true);
        both("copyFile over an existing file", f.copyOver, "cp + sync FILE over an existing file",
            f.cpOver, true);
    }
    if (choice.move) {
        both("moveFile within the file system", f.moveSame, "mv within the file system", f.mvSame,
            false);
        if (!across.empty())
            both("moveFile to /dev/shm", f.moveAcross, "mv to /dev/shm", f.mvAcross, true);
        else
            report.note("(no move across file systems: /dev/shm is missing or on the same one)");
    }
    if (choice.remove)
        both("deleteFile", f.remove, "rm", f.rm, false);
    return f;
}

} // namespace bench
