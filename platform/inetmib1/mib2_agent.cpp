#include "platform/inetmib1/mib2_agent.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT afterMib2[] = { 1, 3, 6, 1, 2, 2 };
constexpr UINT tcpConnEntry[] = { 1, 3, 6, 1, 2, 1, 6, 13, 1 };
constexpr UINT tcpInErrsInstance[] = { 1, 3, 6, 1, 2, 1, 6, 14, 0 };
constexpr UINT udpEntry[] = { 1, 3, 6, 1, 2, 1, 7, 5, 1 };

constexpr UINT tcpColumnCount = 5;
constexpr UINT udpColumnCount = 2;

// Replies are allocated with plain malloc, the heap SnmpUtilMemFree releases to: every byte
// is written at once, and malloc, unlike calloc, is served from glibc's per-thread cache.
void* allocateForCaller(std::size_t bytes)
{
    return std::malloc(bytes);
}

UINT* copyIds(const UINT* ids, std::size_t length)
{
    auto* copy = static_cast<UINT*>(allocateForCaller(length * sizeof(UINT)));
    if (copy)
        std::memcpy(copy, ids, length * sizeof(UINT));
    return copy;
}

void setInteger(AsnAny& value, LONG number)
{
    value.asnType = ASN_INTEGER;
    value.asnValue.number = number;
}

// IpAddress values are 4 freshly allocated bytes in network order that the caller frees.
bool setAddress(AsnAny& value, std::uint32_t networkOrder)
{
    auto* bytes = static_cast<BYTE*>(allocateForCaller(4));
    if (!bytes)
        return false;
    std::memcpy(bytes, &networkOrder, 4);
    value.asnType = ASN_IPADDRESS;
    value.asnValue.address = { bytes, 4, TRUE };
    return true;
}

bool setTcpValue(AsnAny& value, const TcpConnRow& row, UINT column)
{
    switch (column) {
    case 1:
        setInteger(value, row.state);
        return true;
    case 2:
        return setAddress(value, row.localAddress);
    case 3:
        setInteger(value, row.localPort);
        return true;
    case 4:
        return setAddress(value, row.remoteAddress);
    default:
        setInteger(value, row.remotePort);
        return true;
    }
}

bool setUdpValue(AsnAny& value, const UdpRow& row, UINT column)
{
    if (column == 1)
        return setAddress(value, row.localAddress);
    setInteger(value, row.localPort);
    return true;
}

void setNull(AsnAny& value)
{
    std::memset(&value, 0, sizeof(value));
    value.asnType = ASN_NULL;
}

} // namespace

Mib2Agent::Mib2Agent(EndpointSource& source)
    : m_source(source)
    , m_tcp(tcpConnEntry, tcpColumnCount)
    , m_udp(udpEntry, udpColumnCount)
{
}

AsnObjectIdentifier Mib2Agent::supportedView()
{
    static UINT ids[] = { 1, 3, 6, 1, 2, 1 };
    return { static_cast<UINT>(std::size(ids)), ids };
}

bool Mib2Agent::query(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex)
{
    if (!bindings || !errorStatus || !errorIndex || (bindings->len > 0 && !bindings->list))
        return false;
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    for (UINT i = 0; i < bindings->len; ++i) {
        SnmpVarBind& binding = bindings->list[i];
        AsnInteger32 status;
        switch (requestType) {
        case SNMP_PDU_GETNEXT:
            status = getNext(binding);
            break;
        case SNMP_PDU_GET:
            status = get(binding);
            break;
        case SNMP_PDU_SET:
            // Every object here is read-only; version 1 reports that as an unknown name.
            status = SNMP_ERRORSTATUS_NOSUCHNAME;
            break;
        default:
            status = SNMP_ERRORSTATUS_GENERR;
            break;
        }
        if (status != SNMP_ERRORSTATUS_NOERROR) {
            *errorStatus = status;
            *errorIndex = static_cast<AsnInteger32>(i + 1);
            return status != SNMP_ERRORSTATUS_GENERR;
        }
    }
    return true;
}

bool Mib2Agent::refreshTcp()
{
    // An unreadable table is an error, never an empty table.
    m_tcpRead = m_source.readTcp(m_tcp.rows());
    if (!m_tcpRead)
        m_tcp.rows().clear();
    sortByIndex(m_tcp.rows());
    m_last = {};
    return m_tcpRead;
}

bool Mib2Agent::refreshUdp()
{
    m_udpRead = m_source.readUdp(m_udp.rows());
    if (!m_udpRead)
        m_udp.rows().clear();
    sortByIndex(m_udp.rows());
    m_last = {};
    return m_udpRead;
}

bool Mib2Agent::followsLastAnswer(OidSpan name, Instance& instance) const
{
    if (m_last.object != Object::TcpConn && m_last.object != Object::Udp)
        return false;
    if (name.size() != m_lastNameLength || !std::equal(name.begin(), name.end(), m_lastName.begin()))
        return false;
    const auto next = m_last.object == Object::TcpConn ? m_tcp.successor(m_last.position)
                                                       : m_udp.successor(m_last.position);
    if (!next)
        return false;
    instance = { m_last.object, *next };
    return true;
}

bool Mib2Agent::findNext(OidSpan name, Instance& instance)
{
    if (m_tcp.precedesEnd(name)) {
        if ((!m_tcpRead || m_tcp.startsWalk(name)) && !refreshTcp())
            return false;
        if (const auto position = m_tcp.next(name)) {
            instance = { Object::TcpConn, *position };
            return true;
        }
    }
    if (compareOids(name, tcpInErrsInstance) < 0) {
        instance = { Object::TcpInErrs, {} };
        return true;
    }
    if (m_udp.precedesEnd(name)) {
        if ((!m_udpRead || m_udp.startsWalk(name)) && !refreshUdp())
            return false;
        if (const auto position = m_udp.next(name)) {
            instance = { Object::Udp, *position };
            return true;
        }
    }
    instance = {};
    return true;
}

bool Mib2Agent::findExact(OidSpan name, Instance& instance)
{
    instance = {};
    if (compareOids(name, tcpInErrsInstance) == 0) {
        instance = { Object::TcpInErrs, {} };
    } else if (hasOidPrefix(name, m_tcp.entry())) {
        // A Get is served from the current snapshot, so it never disturbs a walk in progress.
        if (!m_tcpRead && !refreshTcp())
            return false;
        if (const auto position = m_tcp.exact(name))
            instance = { Object::TcpConn, *position };
    } else if (hasOidPrefix(name, m_udp.entry())) {
        if (!m_udpRead && !refreshUdp())
            return false;
        if (const auto position = m_udp.exact(name))
            instance = { Object::Udp, *position };
    }
    return true;
}

AsnInteger32 Mib2Agent::getNext(SnmpVarBind& binding)
{
    const OidSpan name = oidSpan(binding.name);
    Instance instance;
    if (!followsLastAnswer(name, instance) && !findNext(name, instance))
        return SNMP_ERRORSTATUS_GENERR;
    if (instance.object != Object::None)
        return answer(binding, instance, true);
    // Nothing further in the view: point the caller past it.
    UINT* ids = copyIds(afterMib2, std::size(afterMib2));
    if (!ids)
        return SNMP_ERRORSTATUS_GENERR;
    SnmpUtilOidFree(&binding.name);
    binding.name = { static_cast<UINT>(std::size(afterMib2)), ids };
    setNull(binding.value);
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

AsnInteger32 Mib2Agent::get(SnmpVarBind& binding)
{
    Instance instance;
    if (!findExact(oidSpan(binding.name), instance))
        return SNMP_ERRORSTATUS_GENERR;
    if (instance.object == Object::None)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    return answer(binding, instance, false);
}

AsnInteger32 Mib2Agent::answer(SnmpVarBind& binding, const Instance& instance, bool replaceName)
{
    m_last = {};
    UINT* name = m_lastName.data();
    std::size_t nameLength = 0;
    AsnAny value {};
    bool valueMade = true;
    switch (instance.object) {
    case Object::TcpConn:
        nameLength = m_tcp.writeName(instance.position, name);
        valueMade = setTcpValue(value, m_tcp.rows()[instance.position.row], instance.position.column);
        break;
    case Object::Udp:
        nameLength = m_udp.writeName(instance.position, name);
        valueMade = setUdpValue(value, m_udp.rows()[instance.position.row], instance.position.column);
        break;
    case Object::TcpInErrs: {
        nameLength = std::size(tcpInErrsInstance);
        std::copy_n(std::begin(tcpInErrsInstance), nameLength, name);
        const auto errors = m_source.tcpInErrors();
        if (!errors)
            return SNMP_ERRORSTATUS_GENERR;
        value.asnType = ASN_COUNTER32;
        value.asnValue.counter = *errors;
        break;
    }
    case Object::None:
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    }
    if (!valueMade)
        return SNMP_ERRORSTATUS_GENERR;
    if (replaceName) {
        UINT* ids = copyIds(name, nameLength);
        if (!ids) {
            SnmpUtilAsnAnyFree(&value);
            return SNMP_ERRORSTATUS_GENERR;
        }
        SnmpUtilOidFree(&binding.name);
        binding.name = { static_cast<UINT>(nameLength), ids };
    }
    // The previous value is the caller's to free; it is overwritten, not released.
    binding.value = value;
    m_last = instance;
    m_lastNameLength = nameLength;
    return SNMP_ERRORSTATUS_NOERROR;
}
