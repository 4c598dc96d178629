#include "helper/helper_action.h"

#include "platform/inetmib1/kernel_endpoint_source.h"
#include "platform/inetmib1/sw_run_reader.h"

#include <cerrno>

namespace {

// The errors as the agent module's SET tells them.
ActionOutcome outcomeOfError(int error)
{
    switch (error) {
    case 0:
        return ActionOutcome::Done;
    case EPERM:
    case EACCES:
        return ActionOutcome::NoRight;
    case EOPNOTSUPP:
        return ActionOutcome::NoKernelSupport;
    case ENOENT:
    case ESRCH:
    case ESTALE:
        return ActionOutcome::Gone;
    default:
        return ActionOutcome::Failed;
    }
}

} // namespace

ActionOutcome performHelperRequest(const HelperRequest& request)
{
    KernelEndpointSource kernel;
    if (request.kind == HelperRequest::Kind::Stop)
        return outcomeOfError(kernel.stopProcess(request.pid, request.startTime));
    return outcomeOfError(kernel.closeTcp(request.local, request.remote));
}

std::optional<std::uint64_t> processStartTime(std::uint32_t pid)
{
    SwRunRow row;
    if (!readSwRun("/proc", pid, row))
        return std::nullopt;
    return row.startTime;
}
