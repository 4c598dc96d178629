// The remote walk's decoding: responses whose varbinds (names, types, lengths, values and
// error status) come from the bytes, taken in by a column walk of one of the tables the
// program reads, then made into records with every value checked. Nothing may crash or
// leak, the walk must stay within its caps, and every record kept must hold values in range.

#include "fuzz/fuzz_bytes.h"
#include "scan/remote_row_decoder.h"
#include "scan/scan_budget.h"
#include "scan/snmp_session.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <vector>

namespace {

struct Table
{
    std::vector<std::uint32_t> entry;
    std::vector<std::uint32_t> columns;
};

const Table kTables[] {
    { { 1, 3, 6, 1, 2, 1, 6, 13, 1 }, { 1, 2, 3, 4, 5 } },
    { { 1, 3, 6, 1, 2, 1, 7, 5, 1 }, { 1, 2 } },
    { { 1, 3, 6, 1, 2, 1, 6, 19, 1 }, { 7, 8 } },
    { { 1, 3, 6, 1, 2, 1, 6, 20, 1 }, { 4 } },
    { { 1, 3, 6, 1, 2, 1, 7, 7, 1 }, { 8 } },
    { { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 }, { 2, 4, 5 } },
};

const std::uint8_t kTypes[] { ASN_INTEGER, ASN_OCTET_STR, ASN_IPADDRESS, ASN_NULL, ASN_OBJECT_ID, ASN_COUNTER,
    ASN_GAUGE, ASN_TIMETICKS, ASN_COUNTER64, ASN_UINTEGER, ASN_OPAQUE, ASN_BIT_STR, SNMP_ENDOFMIBVIEW,
    SNMP_NOSUCHOBJECT };

// A name inside the table most of the time (so the walk goes on), anything sometimes.
std::vector<oid> takeName(FuzzBytes& bytes, const Table& table)
{
    std::vector<oid> name;
    const unsigned form = bytes.take();
    if (form < 0xe0)
        name.assign(table.entry.begin(), table.entry.end());
    const unsigned extra = bytes.take() % 24;
    for (unsigned i = 0; i < extra; ++i)
        name.push_back(bytes.id(form < 0x40 ? 6 : 260));
    if (name.empty())
        name.push_back(1);
    return name;
}

void addValue(FuzzBytes& bytes, netsnmp_pdu& pdu, const Table& table)
{
    const std::vector<oid> name = takeName(bytes, table);
    const std::uint8_t type = kTypes[bytes.take() % sizeof kTypes];
    std::vector<std::uint8_t> value(bytes.take() % 40);
    for (std::uint8_t& byte : value)
        byte = static_cast<std::uint8_t>(bytes.take());
    long number = 0;
    counter64 wide {};
    oid ids[8] {};
    const void* data = value.data();
    std::size_t length = value.size();
    switch (type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        for (const std::uint8_t byte : value)
            number = static_cast<long>(static_cast<unsigned long>(number) << 8 | byte);
        data = &number;
        length = sizeof number;
        break;
    case ASN_COUNTER64:
        wide.high = value.size() > 0 ? value[0] * 0x1010101u : 0;
        wide.low = value.size() > 1 ? value[1] * 0x1010101u : 0;
        data = &wide;
        length = sizeof wide;
        break;
    case ASN_OBJECT_ID:
        length = (value.size() % 8) * sizeof(oid);
        data = ids;
        break;
    case SNMP_ENDOFMIBVIEW:
    case SNMP_NOSUCHOBJECT:
    case ASN_NULL:
        data = nullptr;
        length = 0;
        break;
    default:
        break;
    }
    snmp_varlist_add_variable(&pdu.variables, name.data(), name.size(), type, data, length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBytes bytes(data, size);
    const Table& table = kTables[bytes.take() % std::size(kTables)];
    RemoteAgentSettings settings;
    settings.maxRowsPerTable = 200;
    settings.maxScanBytes = 64 * 1024;
    ScanBudget budget(settings);
    ColumnWalk walk(table.entry, table.columns, budget);
    SnmpOperation::Step step = SnmpOperation::Step::Continue;
    while (!bytes.empty() && step == SnmpOperation::Step::Continue) {
        netsnmp_pdu* response = snmp_pdu_create(SNMP_MSG_RESPONSE);
        response->errstat = bytes.take() < 0xf8 ? SNMP_ERR_NOERROR : static_cast<long>(bytes.take() % 20);
        const unsigned count = bytes.take() % 12;
        for (unsigned i = 0; i < count && !bytes.empty(); ++i)
            addValue(bytes, *response, table);
        step = walk.consume(*response);
        snmp_free_pdu(response);
    }
    if (walk.rows().size() > settings.maxRowsPerTable)
        std::abort();

    RemoteRowDecoder decoder;
    const std::vector<MibRow>& rows = walk.rows();
    const std::size_t kind = static_cast<std::size_t>(&table - kTables);
    std::size_t kept = 0;
    switch (kind) {
    case 0:
        for (const MibEndpoint& record : decoder.tcpRecords(rows)) {
            if (record.stateValue < 1 || record.stateValue > 12 || record.localPortNumber < 0
                || record.localPortNumber > 65535 || record.remotePortNumber < 0
                || record.remotePortNumber > 65535)
                std::abort();
            ++kept;
        }
        break;
    case 1:
        kept = decoder.udpRecords(rows).size();
        break;
    case 2:
        for (const InetEndpointRecord& record : decoder.tcpConnections(rows)) {
            if (record.stateValue < 1 || record.stateValue > 12)
                std::abort();
            ++kept;
        }
        break;
    case 3:
        kept = decoder.tcpListeners(rows).size();
        break;
    case 4:
        kept = decoder.udpEndpoints(rows).size();
        break;
    default:
        kept = decoder.processes(rows).size();
        break;
    }
    // Every row is either kept, refused, or had gone away (a column without its value).
    if (kept + static_cast<std::size_t>(decoder.refused()) > rows.size())
        std::abort();
    return 0;
}
