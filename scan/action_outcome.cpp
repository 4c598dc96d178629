#include "scan/action_outcome.h"

ActionOutcome actionOutcomeOfExit(int code)
{
    switch (static_cast<ActionOutcome>(code)) {
    case ActionOutcome::Done:
    case ActionOutcome::Refused:
    case ActionOutcome::NoRight:
    case ActionOutcome::NoKernelSupport:
    case ActionOutcome::Gone:
    case ActionOutcome::NotAuthorised:
    case ActionOutcome::HelperNotRun:
        return static_cast<ActionOutcome>(code);
    default:
        return ActionOutcome::Failed;
    }
}

std::string actionFailureText(ActionOutcome outcome, bool stop)
{
    switch (outcome) {
    case ActionOutcome::Done:
        return {};
    case ActionOutcome::Refused:
        return "the request was refused: it names no connection or process by numbers";
    case ActionOutcome::NoRight:
        return stop ? "no right to stop it: it is another user's"
                    : "no right to close it: that needs the CAP_NET_ADMIN capability (root)";
    case ActionOutcome::NoKernelSupport:
        return "the kernel cannot close connections (it lacks CONFIG_INET_DIAG_DESTROY), or the request "
               "failed";
    case ActionOutcome::Gone:
        return stop ? "it has ended, or its process id now names another process"
                    : "the connection is gone already";
    case ActionOutcome::NotAuthorised:
        return "the right was not given (the password was not entered, or polkit refused)";
    case ActionOutcome::HelperNotRun:
        return "pkexec could not run veltran-close-helper (is pkexec installed?)";
    case ActionOutcome::Failed:
        break;
    }
    return "the request failed";
}
