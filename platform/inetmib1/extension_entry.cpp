// The module's two exported entry points, over one agent for the whole process.

#include "platform/inetmib1/kernel_endpoint_source.h"
#include "platform/inetmib1/mib2_agent.h"

#include <mutex>

#define AGENT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ModuleState
{
    KernelEndpointSource source;
    Mib2Agent agent { source };
    // Callers enter from one thread at a time; the lock keeps any other caller safe too.
    std::mutex lock;
};

ModuleState& state()
{
    static ModuleState moduleState;
    return moduleState;
}

} // namespace

AGENT_EXPORT BOOL SnmpExtensionInit(
    DWORD /*timeZeroReference*/, HANDLE* trapEvent, AsnObjectIdentifier* firstSupportedView)
{
    if (!trapEvent || !firstSupportedView)
        return FALSE;
    *trapEvent = nullptr; // this agent sends no traps
    *firstSupportedView = Mib2Agent::supportedView();
    ModuleState& module = state();
    const std::lock_guard guard(module.lock);
    return module.source.open() ? TRUE : FALSE;
}

AGENT_EXPORT BOOL SnmpExtensionQuery(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex)
{
    ModuleState& module = state();
    const std::lock_guard guard(module.lock);
    return module.agent.query(requestType, bindings, errorStatus, errorIndex) ? TRUE : FALSE;
}
