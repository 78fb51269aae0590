#pragma once

#include "bench/Measure.h"

#include <cstdint>
#include <string>

namespace bench {

class Report;

// The program's copy, move and delete (platform::changes) against cp followed by sync, mv and
// rm on one large file. Each pair runs interleaved, with set-up left out of the times.
struct FileOpsFigures
{
    Series spawn; // starting and waiting for `true`: the cost every reference run includes
    Series copyNew, cpNew, copyOver, cpOver;
    Series moveSame, mvSame, moveAcross, mvAcross;
    Series remove, rm;
};

struct FileOpsChoice
{
    bool copy = true, move = true, remove = true;
};

// folder is on the data file system; otherFolder on another (empty: no move across).
FileOpsFigures measureFileOps(Report &report, const std::string &folder,
    const std::string &otherFolder, std::int64_t bytes, int repetitions, FileOpsChoice choice);

} // namespace bench
