#pragma once
// What a scripted fake agent module answers. The test owns the script and hands its
// address to the module through FakeAgentSetScript; module and test are built by the
// same compiler, so the standard types cross the boundary unchanged.

#include "platform/snmp.h"

#include <vector>

struct FakeObject
{
    std::vector<UINT> name;
    BYTE type = ASN_INTEGER;
    LONG number = 0;
    std::vector<BYTE> octets; // for string-like types
    bool failQuery = false; // Sequence mode: this reply reports failure (FALSE, genErr)
};

struct FakeAgentScript
{
    enum class Mode
    {
        Table, // GetNext semantics over objects sorted by name; past the last: noSuchName
        Sequence, // the k-th query gets objects[k] whatever it asks; past the last: FALSE
    };
    Mode mode = Mode::Table;
    std::vector<FakeObject> objects;
    BOOL initResult = TRUE;

    // Filled by the module.
    int initCalls = 0;
    std::vector<std::vector<UINT>> askedNames;
};

using FakeAgentSetScriptFunction = void (*)(FakeAgentScript* script);
