// A stand-in agent module for the tests. FAKE_AGENT_KIND picks what it exports:
// 0 scripted (both entry points and FakeAgentSetScript), 1 only SnmpExtensionInit.

#include "tests/scan/fakes/fake_agent_script.h"

#include <algorithm>
#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

FakeAgentScript* g_script = nullptr;
UINT g_view[] { 1, 3, 6, 1, 2, 1 };

#if FAKE_AGENT_KIND == 0

std::vector<UINT> namesOf(const AsnObjectIdentifier& oid)
{
    return oid.ids ? std::vector<UINT>(oid.ids, oid.ids + oid.idLength) : std::vector<UINT>();
}

void install(SnmpVarBind& binding, const FakeObject& object)
{
    // As the platform's agents do: the old name is freed, the old value is not.
    SnmpUtilOidFree(&binding.name);
    const AsnObjectIdentifier name { static_cast<UINT>(object.name.size()),
        const_cast<UINT*>(object.name.data()) };
    SnmpUtilOidCpy(&binding.name, &name);
    std::memset(&binding.value, 0, sizeof binding.value);
    binding.value.asnType = object.type;
    if (object.type == ASN_OCTETSTRING || object.type == ASN_IPADDRESS) {
        AsnOctetString& text = binding.value.asnValue.string;
        text.length = static_cast<UINT>(object.octets.size());
        text.stream = static_cast<BYTE*>(SnmpUtilMemAlloc(text.length));
        if (text.length > 0)
            std::memcpy(text.stream, object.octets.data(), text.length);
        text.dynamic = TRUE;
    } else if (object.type == ASN_OBJECTIDENTIFIER) {
        const AsnObjectIdentifier value { static_cast<UINT>(object.oid.size()),
            const_cast<UINT*>(object.oid.data()) };
        SnmpUtilOidCpy(&binding.value.asnValue.object, &value);
    } else if (object.type == ASN_COUNTER64) {
        binding.value.asnValue.counter64.QuadPart = object.counter64;
    } else {
        binding.value.asnValue.number = object.number;
    }
}

#endif

} // namespace

FAKE_EXPORT BOOL SnmpExtensionInit(DWORD, HANDLE* trapEvent, AsnObjectIdentifier* firstSupportedView)
{
    *trapEvent = nullptr;
    firstSupportedView->idLength = sizeof g_view / sizeof g_view[0];
    firstSupportedView->ids = g_view;
    if (!g_script)
        return FALSE;
    ++g_script->initCalls;
    return g_script->initResult;
}

#if FAKE_AGENT_KIND == 0

FAKE_EXPORT void FakeAgentSetScript(FakeAgentScript* script)
{
    g_script = script;
}

FAKE_EXPORT BOOL SnmpExtensionQuery(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex)
{
    if (!g_script || requestType != SNMP_PDU_GETNEXT || bindings->len != 1)
        return FALSE;
    SnmpVarBind& binding = bindings->list[0];
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    const auto& objects = g_script->objects;
    const long long k = g_script->queries++;
    if (g_script->mode == FakeAgentScript::Mode::Endless) {
        // objects[0] itself carries the growing name: no copy per query, as walks run to millions.
        FakeObject& object = g_script->objects.at(0);
        if (k == 0)
            object.name.push_back(0);
        object.name.back() = static_cast<UINT>(k + 1);
        install(binding, object);
        return TRUE;
    }
    const std::vector<UINT> asked = namesOf(binding.name);
    g_script->askedNames.push_back(asked);

    if (g_script->mode == FakeAgentScript::Mode::Sequence) {
        if (static_cast<std::size_t>(k) >= objects.size() || objects[k].failQuery) {
            *errorStatus = SNMP_ERRORSTATUS_GENERR;
            *errorIndex = 1;
            return FALSE;
        }
        install(binding, objects[k]);
        return TRUE;
    }
    // Table mode keeps the objects sorted by name.
    const auto next = std::upper_bound(objects.begin(), objects.end(), asked,
        [](const std::vector<UINT>& name, const FakeObject& o) { return name < o.name; });
    if (next == objects.end()) {
        // The documented end of a view: the name just past it, and noSuchName.
        FakeObject past;
        past.name = { 1, 3, 6, 1, 2, 1, 99 };
        past.type = ASN_NULL;
        install(binding, past);
        *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
        *errorIndex = 1;
        return TRUE;
    }
    install(binding, *next);
    return TRUE;
}

#endif
