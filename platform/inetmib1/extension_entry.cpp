// The module's two exported entry points, over one agent for the whole process.

#include "platform/inetmib1/kernel_endpoint_source.h"
#include "platform/inetmib1/mib2_agent.h"

#include <mutex>
#include <thread>

#define AGENT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ModuleState
{
    KernelEndpointSource source;
    Mib2Agent agent { source };
    // Callers enter from one thread at a time; the lock keeps any other caller safe too.
    std::mutex lock;
    std::jthread prefetch; // last: joined before the rest goes
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

// Not one of the classic entry points: a program that is about to scan has the kernel's
// tables read now, on a thread of the module's own, while it builds its window. Queries
// that come during that read wait for it (it holds the lock) and take it while it is
// fresh. It returns at once: a caller never waits for the thread to be scheduled, and a
// query that came first reads for itself, which the read ahead then only repeats.
AGENT_EXPORT void VeltranPrefetch()
{
    ModuleState& module = state();
    const std::lock_guard guard(module.lock);
    if (module.prefetch.joinable())
        return;
    module.prefetch = std::jthread([&module] {
        const std::lock_guard reading(module.lock);
        module.source.prefetch();
    });
}

// Not one of the classic entry points either: the caller's scan is done, so the tables it
// read are freed and the next scan reads the kernel afresh.
AGENT_EXPORT void VeltranEndScan()
{
    ModuleState& module = state();
    const std::lock_guard guard(module.lock);
    module.agent.endScan();
}
