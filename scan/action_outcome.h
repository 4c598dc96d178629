#pragma once
// How closing a connection or stopping a process ended. The values below 126 are also the
// exit codes of veltran-close-helper, so the window reads the helper's answer as its own;
// 126 and 127 are pkexec's.

#include <string>

enum class ActionOutcome : int
{
    Done = 0,
    Refused = 2, // a request the helper does not take (1 is left to crashes and the loader)
    NoRight = 3,
    NoKernelSupport = 4,
    Gone = 5, // no such connection, or its pid names another process now
    Failed = 6,
    NotAuthorised = 126, // pkexec: the password was not given, or polkit said no
    HelperNotRun = 127, // pkexec missing, or it could not start the helper
};

// The outcome an exit code of pkexec (or the helper) stands for; Failed for any other.
ActionOutcome actionOutcomeOfExit(int code);
// Why it failed, for the user; "" for Done. stop: the text speaks of a process.
std::string actionFailureText(ActionOutcome outcome, bool stop);
