#include "scan/connection_closer.h"

#include "platform/module_loader.h"
#include "scan/remote_agents.h"

#include <arpa/inet.h>
#include <vector>

namespace {

constexpr UINT tcpConnectionState[] = { 1, 3, 6, 1, 2, 1, 6, 19, 1, 7 };
constexpr UINT tcpConnState[] = { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
constexpr UINT swRunStatus[] = { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1, 7 };
constexpr LONG deleteTcb = 12;
constexpr LONG invalid = 4; // hrSWRunStatus

// How a connection's instance is named: tcpConnectionTable's index (InetAddressType,
// length, octets and port for each end), the same with IPv4 ends mapped into IPv6 (an IPv6
// socket's), or tcpConnTable's (four octets and port, IPv4 only).
enum class Index
{
    Inet,
    InetMapped,
    Ipv4Only,
};

// An end in the index's form; false for a text that is no address of that form.
bool appendEnd(std::vector<UINT>& name, Index index, const std::string& text, int port)
{
    in_addr v4 {};
    in6_addr v6 {};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        const auto* octets = reinterpret_cast<const unsigned char*>(&v4);
        if (index == Index::InetMapped)
            name.insert(name.end(), { 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff });
        else if (index == Index::Inet)
            name.insert(name.end(), { 1, 4 });
        name.insert(name.end(), octets, octets + 4);
    } else if (index != Index::Ipv4Only && inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        name.insert(name.end(), { 2, 16 });
        name.insert(name.end(), v6.s6_addr, v6.s6_addr + 16);
    } else {
        return false;
    }
    name.push_back(static_cast<UINT>(port));
    return true;
}

// The connection's state instance; empty when an end is not of the index's form.
std::vector<UINT> stateInstance(Index index, const std::string& localAddress, int localPort,
    const std::string& remoteAddress, int remotePort)
{
    std::vector<UINT> name;
    if (index == Index::Ipv4Only)
        name.assign(std::begin(tcpConnState), std::end(tcpConnState));
    else
        name.assign(std::begin(tcpConnectionState), std::end(tcpConnectionState));
    if (!appendEnd(name, index, localAddress, localPort)
        || !appendEnd(name, index, remoteAddress, remotePort))
        return {};
    return name;
}

ActionOutcome outcomeOf(AsnInteger32 status)
{
    switch (status) {
    case SNMP_ERRORSTATUS_NOERROR:
        return ActionOutcome::Done;
    case SNMP_ERRORSTATUS_NOACCESS:
        return ActionOutcome::NoRight;
    case SNMP_ERRORSTATUS_NOSUCHNAME:
        return ActionOutcome::Gone;
    default:
        return ActionOutcome::Failed;
    }
}

AsnInteger32 setInteger(PFNSNMPEXTENSIONQUERY query, const std::vector<UINT>& name, LONG value)
{
    SnmpVarBind binding {};
    const AsnObjectIdentifier asked { static_cast<UINT>(name.size()), const_cast<UINT*>(name.data()) };
    if (!SnmpUtilOidCpy(&binding.name, &asked))
        return SNMP_ERRORSTATUS_GENERR;
    binding.value.asnType = ASN_INTEGER;
    binding.value.asnValue.number = value;
    RFC1157VarBindList list { &binding, 1 };
    AsnInteger32 status = SNMP_ERRORSTATUS_GENERR;
    AsnInteger32 index = 0;
    if (!query(SNMP_PDU_SET, &list, &status, &index) && status == SNMP_ERRORSTATUS_NOERROR)
        status = SNMP_ERRORSTATUS_GENERR;
    SnmpUtilVarBindFree(&binding);
    return status;
}

PFNSNMPEXTENSIONQUERY moduleQuery(const char* moduleName)
{
    HMODULE module = LoadLibraryA(moduleName); // loaded already: the same handle
    return module ? reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(module, "SnmpExtensionQuery"))
                  : nullptr;
}

} // namespace

ActionOutcome stopProcess(std::uint32_t pid, const char* moduleName)
{
    const PFNSNMPEXTENSIONQUERY query = moduleQuery(moduleName);
    if (!query)
        return ActionOutcome::Failed;
    std::vector<UINT> name(std::begin(swRunStatus), std::end(swRunStatus));
    name.push_back(pid);
    return outcomeOf(setInteger(query, name, invalid));
}

ActionOutcome closeTcpConnection(const std::string& localAddress, int localPort,
    const std::string& remoteAddress, int remotePort, const char* moduleName)
{
    const PFNSNMPEXTENSIONQUERY query = moduleQuery(moduleName);
    if (!query)
        return ActionOutcome::Failed;
    AsnInteger32 status = SNMP_ERRORSTATUS_NOSUCHNAME;
    // An IPv4 connection may be an IPv6 socket's, indexed by IPv4-mapped addresses.
    for (const Index index : { Index::Inet, Index::InetMapped }) {
        const std::vector<UINT> name
            = stateInstance(index, localAddress, localPort, remoteAddress, remotePort);
        if (name.empty())
            return ActionOutcome::Refused;
        status = setInteger(query, name, deleteTcb);
        if (status != SNMP_ERRORSTATUS_NOSUCHNAME)
            break;
    }
    // The module says genErr when the kernel has no SOCK_DESTROY.
    return status == SNMP_ERRORSTATUS_GENERR ? ActionOutcome::NoKernelSupport : outcomeOf(status);
}

std::string closeRemoteConnection(const std::string& peer, const std::string& writeOptions,
    const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort)
{
    const std::vector<UINT> name
        = stateInstance(Index::Inet, localAddress, localPort, remoteAddress, remotePort);
    if (name.empty())
        return actionFailureText(ActionOutcome::Refused, false);
    const RemoteSetResult result = setRemoteInteger(peer, writeOptions, name, deleteTcb);
    if (result.failure.empty() || !result.agentAnswered)
        return result.failure;
    // An agent of RFC 1213 alone knows an IPv4 connection only in tcpConnTable. Its refusal
    // of the newer table's name is the one told: that table is the one asked first.
    const std::vector<UINT> oldName
        = stateInstance(Index::Ipv4Only, localAddress, localPort, remoteAddress, remotePort);
    if (!oldName.empty() && setRemoteInteger(peer, writeOptions, oldName, deleteTcb).failure.empty())
        return {};
    return result.failure;
}

std::string stopRemoteProcess(const std::string& peer, const std::string& writeOptions, std::uint32_t pid)
{
    std::vector<UINT> name(std::begin(swRunStatus), std::end(swRunStatus));
    name.push_back(pid);
    return setRemoteInteger(peer, writeOptions, name, invalid).failure;
}
