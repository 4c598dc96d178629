#pragma once
// The SNMP extension-agent types and calls as the platform's snmp.h declares them.
// The layout must match byte for byte: agent modules are loaded at run time and
// exchange these structures across the module boundary.

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using HANDLE = void*;
using AsnInteger32 = LONG;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#pragma pack(push, 4)

struct AsnOctetString
{
    BYTE* stream;
    UINT length;
    BOOL dynamic;
};

struct AsnObjectIdentifier
{
    UINT idLength;
    UINT* ids;
};

union ULARGE_INTEGER {
    struct
    {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    std::uint64_t QuadPart;
};

struct AsnAny
{
    BYTE asnType;
    union {
        LONG number;
        ULONG unsigned32;
        ULARGE_INTEGER counter64;
        AsnOctetString string;
        AsnOctetString bits;
        AsnOctetString sequence;
        AsnOctetString address;
        AsnOctetString arbitrary;
        AsnObjectIdentifier object;
        ULONG counter;
        ULONG gauge;
        ULONG ticks;
    } asnValue;
};

struct SnmpVarBind
{
    AsnObjectIdentifier name;
    AsnAny value;
};
using RFC1157VarBind = SnmpVarBind;

struct SnmpVarBindList
{
    SnmpVarBind* list;
    UINT len;
};
using RFC1157VarBindList = SnmpVarBindList;

#pragma pack(pop)

static_assert(sizeof(AsnOctetString) == 16);
static_assert(sizeof(AsnObjectIdentifier) == 12 && offsetof(AsnObjectIdentifier, ids) == 4);
static_assert(sizeof(AsnAny) == 20 && offsetof(AsnAny, asnValue) == 4);
static_assert(sizeof(SnmpVarBind) == 32 && offsetof(SnmpVarBind, value) == 12);
static_assert(sizeof(SnmpVarBindList) == 12);

// ASN.1 type tags.
inline constexpr BYTE ASN_INTEGER = 0x02;
inline constexpr BYTE ASN_INTEGER32 = ASN_INTEGER;
inline constexpr BYTE ASN_BITS = 0x03;
inline constexpr BYTE ASN_OCTETSTRING = 0x04;
inline constexpr BYTE ASN_NULL = 0x05;
inline constexpr BYTE ASN_OBJECTIDENTIFIER = 0x06;
inline constexpr BYTE ASN_SEQUENCE = 0x30;
inline constexpr BYTE ASN_IPADDRESS = 0x40;
inline constexpr BYTE ASN_COUNTER32 = 0x41;
inline constexpr BYTE ASN_GAUGE32 = 0x42;
inline constexpr BYTE ASN_TIMETICKS = 0x43;
inline constexpr BYTE ASN_OPAQUE = 0x44;
inline constexpr BYTE ASN_COUNTER64 = 0x46;
inline constexpr BYTE ASN_UNSIGNED32 = 0x47;

// PDU types.
inline constexpr BYTE SNMP_PDU_GET = 0xA0;
inline constexpr BYTE SNMP_PDU_GETNEXT = 0xA1;
inline constexpr BYTE SNMP_PDU_RESPONSE = 0xA2;
inline constexpr BYTE SNMP_PDU_SET = 0xA3;
inline constexpr BYTE SNMP_PDU_GETBULK = 0xA5;

// Error status values.
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_NOERROR = 0;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_TOOBIG = 1;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_NOSUCHNAME = 2;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_BADVALUE = 3;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_READONLY = 4;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_GENERR = 5;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_NOACCESS = 6;
inline constexpr AsnInteger32 SNMP_ERRORSTATUS_WRONGVALUE = 10;

// Entry points an extension agent module exports (C linkage, looked up by name).
using PFNSNMPEXTENSIONINIT
    = BOOL (*)(DWORD timeZeroReference, HANDLE* trapEvent, AsnObjectIdentifier* firstSupportedView);
using PFNSNMPEXTENSIONQUERY = BOOL (*)(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex);

// One allocator for everything that crosses between an agent and its caller.
extern "C" {
void* SnmpUtilMemAlloc(UINT bytes); // zero-filled
void SnmpUtilMemFree(void* memory);
// Copies src into dst with a freshly allocated ids array; nonzero on success.
int SnmpUtilOidCpy(AsnObjectIdentifier* dst, const AsnObjectIdentifier* src);
// Frees the ids array and sets the length to 0.
void SnmpUtilOidFree(AsnObjectIdentifier* oid);
// Frees the value (a string only when dynamic, an identifier always) and the name.
void SnmpUtilVarBindFree(SnmpVarBind* binding);
// Frees a value as SnmpUtilVarBindFree does and leaves it ASN_NULL, ready for reuse.
void SnmpUtilAsnAnyFree(AsnAny* any);
// Orders two identifiers sub-identifier by sub-identifier, a prefix first: <0, 0 or >0.
int SnmpUtilOidCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second);
}
