#pragma once
// What veltran-close-helper does with a request it took: the agent module's own close and
// stop, on the kernel of the network namespace it runs in.

#include "helper/helper_request.h"
#include "scan/action_outcome.h"

#include <cstdint>
#include <optional>

// Closes the connection (SOCK_DESTROY) or stops the process (SIGTERM through a pidfd,
// after its start time is checked).
ActionOutcome performHelperRequest(const HelperRequest& request);
// The start time /proc gives pid now (what stopHelperArguments wants); nullopt when it has ended.
std::optional<std::uint64_t> processStartTime(std::uint32_t pid);
