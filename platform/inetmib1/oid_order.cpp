#include "platform/inetmib1/oid_order.h"

#include <algorithm>

int compareOids(OidSpan first, OidSpan second)
{
    const size_t common = std::min(first.size(), second.size());
    for (size_t i = 0; i < common; ++i) {
        if (first[i] != second[i])
            return first[i] < second[i] ? -1 : 1;
    }
    if (first.size() == second.size())
        return 0;
    return first.size() < second.size() ? -1 : 1;
}

bool hasOidPrefix(OidSpan oid, OidSpan prefix)
{
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

OidSpan oidSpan(const AsnObjectIdentifier& oid)
{
    if (!oid.ids)
        return {};
    return { oid.ids, oid.idLength };
}
