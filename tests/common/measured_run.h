#pragma once
// Whole commands timed for benchmarks: wall time, CPU time and peak memory of one run.

#include <cstddef>
#include <string>
#include <vector>

namespace loopback {
class ConnectionHolders;
}

namespace testproc {

struct RunCost
{
    double wallMs = -1; // -1: the command could not run or did not exit with 0
    double cpuMs = -1; // user + system
    bool ok() const { return wallMs >= 0; }
};

// Runs argv (searched in PATH) to its end with its output thrown away; a run that exits
// with another status than exitStatus did not run.
RunCost measuredRun(const std::vector<std::string>& argv, int exitStatus = 0);

// A command measured among others: its CPU of every round, and its peak memory too if asked.
struct Contender
{
    const char* label;
    std::vector<std::string> argv;
    bool memory = false; // measured in runs of its own
    int exitStatus = 0; // what a run that went well exits with
    std::vector<double> cpuMs {};
    std::vector<double> peakKb {};
};

// Runs every contender once per round, the order turned by one every round, after a first
// round that only warms the caches; their earlier figures are dropped. False, with the
// command's name on standard error, when a run failed.
bool measureRounds(std::vector<Contender>& contenders, int rounds);
// The same once holders hold pairs connections; false, said on standard error, when they cannot.
bool measureWithPairs(
    loopback::ConnectionHolders& holders, std::size_t pairs, std::vector<Contender>& contenders, int rounds);

// The peak resident memory of one run, in KiB, or -1. Taken by GNU time, a small process
// of its own: a child spawned straight from a benchmark starts out with the benchmark's
// memory and counts it as its own peak.
double peakRssKb(const std::vector<std::string>& argv, int exitStatus = 0);

} // namespace testproc
