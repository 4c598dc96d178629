#pragma once
// Whole processes for end-to-end tests and benchmarks: where the built programs
// are, and starting and stopping them.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testproc {

// The folder of the running executable: the build's bin folder, beside the programs.
std::string executableFolder();
// Starts argv[0] (searched in PATH) with extra environment variables; returns its pid.
pid_t spawn(const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& environment = {});
// SIGTERM, then waits for it.
void stop(pid_t pid);

} // namespace testproc
