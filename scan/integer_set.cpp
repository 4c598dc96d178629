#include "scan/integer_set.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

IntegerSet::IntegerSet(std::vector<std::uint32_t> name, long value)
    : m_name(std::move(name))
    , m_value(value)
{
}

snmp_pdu* IntegerSet::request(long, int)
{
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_SET);
    const std::vector<oid> name(m_name.begin(), m_name.end());
    snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_INTEGER, &m_value, sizeof(m_value));
    return pdu;
}

SnmpOperation::Step IntegerSet::consume(const snmp_pdu& response)
{
    m_answered = true;
    if (response.errstat != SNMP_ERR_NOERROR) {
        failure = snmp_errstring(static_cast<int>(response.errstat));
        return Step::Failed;
    }
    return Step::Done;
}
