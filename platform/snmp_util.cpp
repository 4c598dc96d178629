#include "platform/snmp.h"

#include <cstdlib>
#include <cstring>

extern "C" {

void* SnmpUtilMemAlloc(UINT bytes)
{
    // A zero-byte request still yields a distinct block, so a null result always means failure.
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

// Everything handed across is freed here, so whatever is allocated with malloc may cross.
void SnmpUtilMemFree(void* memory)
{
    std::free(memory);
}

int SnmpUtilOidCpy(AsnObjectIdentifier* dst, const AsnObjectIdentifier* src)
{
    if (!dst)
        return 0;
    dst->idLength = 0;
    dst->ids = nullptr;
    if (!src || (src->idLength > 0 && !src->ids))
        return 0;
    if (src->idLength == 0)
        return 1;
    auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(src->idLength * sizeof(UINT)));
    if (!ids)
        return 0;
    std::memcpy(ids, src->ids, src->idLength * sizeof(UINT));
    dst->ids = ids;
    dst->idLength = src->idLength;
    return 1;
}

void SnmpUtilOidFree(AsnObjectIdentifier* oid)
{
    if (!oid)
        return;
    SnmpUtilMemFree(oid->ids);
    oid->ids = nullptr;
    oid->idLength = 0;
}

int SnmpUtilOidCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second)
{
    const UINT common = first->idLength < second->idLength ? first->idLength : second->idLength;
    for (UINT i = 0; i < common; ++i) {
        if (first->ids[i] != second->ids[i])
            return first->ids[i] < second->ids[i] ? -1 : 1;
    }
    if (first->idLength == second->idLength)
        return 0;
    return first->idLength < second->idLength ? -1 : 1;
}

void SnmpUtilAsnAnyFree(AsnAny* any)
{
    if (!any)
        return;
    switch (any->asnType) {
    case ASN_OBJECTIDENTIFIER:
        SnmpUtilOidFree(&any->asnValue.object);
        break;
    case ASN_OCTETSTRING:
    case ASN_BITS:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
        if (any->asnValue.string.dynamic)
            SnmpUtilMemFree(any->asnValue.string.stream);
        break;
    default:
        break;
    }
    // Leave a value that a second free or a reuse of the binding handles safely.
    std::memset(&any->asnValue, 0, sizeof(any->asnValue));
    any->asnType = ASN_NULL;
}

void SnmpUtilVarBindFree(SnmpVarBind* binding)
{
    if (!binding)
        return;
    SnmpUtilAsnAnyFree(&binding->value);
    SnmpUtilOidFree(&binding->name);
}

} // extern "C"
