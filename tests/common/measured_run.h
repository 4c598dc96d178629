#pragma once
// Whole commands timed for benchmarks: wall time, CPU time and peak memory of one run.

#include <string>
#include <vector>

namespace testproc {

struct RunCost
{
    double wallMs = -1; // -1: the command could not run or did not exit with 0
    double cpuMs = -1; // user + system
    bool ok() const { return wallMs >= 0; }
};

// Runs argv (searched in PATH) to its end with its output thrown away.
RunCost measuredRun(const std::vector<std::string>& argv);

// The peak resident memory of one run, in KiB, or -1. Taken by GNU time, a small process
// of its own: a child spawned straight from a benchmark starts out with the benchmark's
// memory and counts it as its own peak.
double peakRssKb(const std::vector<std::string>& argv);

} // namespace testproc
