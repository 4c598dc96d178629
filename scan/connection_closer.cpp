#include "scan/connection_closer.h"

#include "platform/module_loader.h"

#include <arpa/inet.h>
#include <vector>

namespace {

constexpr UINT tcpConnectionState[] = { 1, 3, 6, 1, 2, 1, 6, 19, 1, 7 };
constexpr LONG deleteTcb = 12;

// An InetAddressType, length and octets; false for a text that is no address.
bool appendAddress(std::vector<UINT>& name, const std::string& text, bool mapped)
{
    in_addr v4 {};
    in6_addr v6 {};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        const auto* octets = reinterpret_cast<const unsigned char*>(&v4);
        if (mapped) {
            name.insert(name.end(), { 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff });
        } else {
            name.insert(name.end(), { 1, 4 });
        }
        name.insert(name.end(), octets, octets + 4);
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1)
        return false;
    name.insert(name.end(), { 2, 16 });
    name.insert(name.end(), v6.s6_addr, v6.s6_addr + 16);
    return true;
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
    constexpr LONG invalid = 4; // hrSWRunStatus
    return outcomeOf(setInteger(query, { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1, 7, pid }, invalid));
}

ActionOutcome closeTcpConnection(const std::string& localAddress, int localPort,
    const std::string& remoteAddress, int remotePort, const char* moduleName)
{
    const PFNSNMPEXTENSIONQUERY query = moduleQuery(moduleName);
    if (!query)
        return ActionOutcome::Failed;
    AsnInteger32 status = SNMP_ERRORSTATUS_NOSUCHNAME;
    // An IPv4 connection may be an IPv6 socket's, indexed by IPv4-mapped addresses.
    for (const bool mapped : { false, true }) {
        std::vector<UINT> name(std::begin(tcpConnectionState), std::end(tcpConnectionState));
        if (!appendAddress(name, localAddress, mapped))
            return ActionOutcome::Refused;
        name.push_back(static_cast<UINT>(localPort));
        if (!appendAddress(name, remoteAddress, mapped))
            return ActionOutcome::Refused;
        name.push_back(static_cast<UINT>(remotePort));
        status = setInteger(query, name, deleteTcb);
        if (status != SNMP_ERRORSTATUS_NOSUCHNAME)
            break;
    }
    // The module says genErr when the kernel has no SOCK_DESTROY.
    return status == SNMP_ERRORSTATUS_GENERR ? ActionOutcome::NoKernelSupport : outcomeOf(status);
}
