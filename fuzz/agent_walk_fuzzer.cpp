// Both table walks against an agent inside the process whose every reply (name, type,
// value, result and error status) comes from the fuzzer's bytes. A walk must end, free
// what the agent handed over, and never read a value as a type it does not have.

#include "fuzz/fuzz_bytes.h"
#include "scan/mib_agent.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

FuzzBytes g_bytes { nullptr, 0 };
std::size_t g_queries = 0;
UINT g_view[] { 1, 3, 6, 1, 2, 1 };
BYTE g_staticBytes[] { 127, 0, 0, 1, 10, 0, 0, 1 };

unsigned take()
{
    return g_bytes.take();
}

UINT takeId()
{
    return g_bytes.id(8);
}

BOOL init(DWORD, HANDLE* trapEvent, AsnObjectIdentifier* view)
{
    *trapEvent = nullptr;
    *view = { 6, g_view };
    return TRUE;
}

void installName(SnmpVarBind& binding, std::vector<UINT> name)
{
    SnmpUtilOidFree(&binding.name); // as agents do: the old name is freed, the old value is not
    const AsnObjectIdentifier next { static_cast<UINT>(name.size()), name.data() };
    SnmpUtilOidCpy(&binding.name, &next);
}

void installValue(AsnAny& value)
{
    static const BYTE types[] { ASN_INTEGER, ASN_OCTETSTRING, ASN_IPADDRESS, ASN_NULL, ASN_OBJECTIDENTIFIER,
        ASN_COUNTER32, ASN_GAUGE32, ASN_TIMETICKS, ASN_COUNTER64, ASN_UNSIGNED32, ASN_OPAQUE, ASN_BITS,
        ASN_SEQUENCE };
    std::memset(&value, 0, sizeof value);
    value.asnType = types[take() % sizeof types];
    switch (value.asnType) {
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BITS:
    case ASN_SEQUENCE: {
        AsnOctetString& text = value.asnValue.string;
        const unsigned form = take();
        text.length = form % 9;
        if (form & 0x80) { // static storage, which nobody frees
            text.stream = text.length ? g_staticBytes : nullptr;
        } else {
            text.stream = text.length ? static_cast<BYTE*>(SnmpUtilMemAlloc(text.length)) : nullptr;
            for (UINT i = 0; i < text.length; ++i)
                text.stream[i] = static_cast<BYTE>(take());
            text.dynamic = TRUE;
        }
        break;
    }
    case ASN_OBJECTIDENTIFIER: {
        std::vector<UINT> ids(take() % 5);
        for (UINT& id : ids)
            id = takeId();
        const AsnObjectIdentifier oid { static_cast<UINT>(ids.size()), ids.data() };
        SnmpUtilOidCpy(&value.asnValue.object, &oid);
        break;
    }
    case ASN_COUNTER64:
        value.asnValue.counter64.u.LowPart = take() * 0x01010101u;
        value.asnValue.counter64.u.HighPart = take() * 0x01010101u;
        break;
    default:
        value.asnValue.number = static_cast<LONG>(take() * 0x01000193u);
        break;
    }
}

BOOL query(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex)
{
    ++g_queries;
    if (requestType != SNMP_PDU_GETNEXT || !bindings || bindings->len != 1)
        __builtin_trap(); // the walk only ever sends a one-binding GetNext
    SnmpVarBind& binding = bindings->list[0];
    std::vector<UINT> name(binding.name.ids, binding.name.ids + binding.name.idLength);
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    if (g_bytes.empty()) { // out of bytes: the documented end of the view
        installName(binding, { 1, 3, 6, 1, 2, 2 });
        binding.value.asnType = ASN_NULL;
        *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
        *errorIndex = 1;
        return TRUE;
    }
    const unsigned step = take();
    switch (step % 8) {
    case 0: // a result of failure
        return FALSE;
    case 1: // an error status of any value
        *errorStatus = static_cast<AsnInteger32>(take() % 8);
        *errorIndex = 1;
        break;
    case 2: // the next column
        if (name.size() >= 10) {
            name.resize(11);
            ++name[9];
            name[10] = 1;
        }
        break;
    case 3: // any name at all
        name.resize(take() % 14);
        for (UINT& id : name)
            id = takeId();
        break;
    case 4: // a sub-identifier changed somewhere
        if (!name.empty())
            name[take() % name.size()] = takeId();
        break;
    default: // the next row of the column
        if (name.size() < 11)
            name.resize(11);
        name[10] += 1 + step / 64;
        break;
    }
    installName(binding, name);
    installValue(binding.value);
    return TRUE;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    g_bytes = FuzzBytes(data, size);
    g_queries = 0;
    MibAgent agent;
    agent.useEntryPoints(init, query);
    if (!agent.init())
        __builtin_trap();
    const std::size_t tcp = agent.walkTcpTable().size();
    const std::size_t queries = g_queries;
    const std::size_t udp = agent.walkUdpTable().size();
    // A record per reply at most, and no query after the bytes ran out and the view ended.
    if (tcp > queries || udp > g_queries - queries || g_queries > size + 2)
        __builtin_trap();
    return 0;
}
