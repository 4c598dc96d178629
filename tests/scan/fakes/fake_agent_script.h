#pragma once
// What a scripted fake agent module answers. The test owns the script and hands its
// address to the module through FakeAgentSetScript; module and test are built by the
// same compiler, so the standard types cross the boundary unchanged.

#include "platform/snmp.h"

#include <cstdint>
#include <vector>

struct FakeObject
{
    std::vector<UINT> name;
    BYTE type = ASN_INTEGER;
    LONG number = 0;
    std::vector<BYTE> octets; // for string-like types
    std::vector<UINT> oid; // for ASN_OBJECTIDENTIFIER
    std::uint64_t counter64 = 0; // for ASN_COUNTER64
    bool failQuery = false; // Sequence mode: this reply reports failure (FALSE, genErr)
};

struct FakeAgentScript
{
    enum class Mode
    {
        Table, // GetNext semantics over objects sorted by name; past the last: noSuchName
        Sequence, // the k-th query gets objects[k] whatever it asks; past the last: FALSE
        Endless, // the k-th query gets objects[0] with k+1 appended to its name, for ever
    };
    Mode mode = Mode::Table;
    std::vector<FakeObject> objects;
    BOOL initResult = TRUE;

    // Filled by the module.
    int initCalls = 0;
    std::vector<std::vector<UINT>> askedNames; // not kept in Endless mode
    long long queries = 0;
};

using FakeAgentSetScriptFunction = void (*)(FakeAgentScript* script);
