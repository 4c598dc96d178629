#pragma once
// Ordering of object identifiers as GetNext walks them: sub-identifier by
// sub-identifier, and a prefix before everything that extends it.

#include "platform/snmp.h"

#include <span>

using OidSpan = std::span<const UINT>;

// <0, 0 or >0 as first sorts before, with or after second.
int compareOids(OidSpan first, OidSpan second);

// True when prefix is a leading part of (or equal to) oid.
bool hasOidPrefix(OidSpan oid, OidSpan prefix);

// The ids of a binding name; an identifier without an array reads as the empty one.
OidSpan oidSpan(const AsnObjectIdentifier& oid);
