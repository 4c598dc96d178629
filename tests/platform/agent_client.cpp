#include "tests/platform/agent_client.h"

#include "platform/module_loader.h"
#include "platform/winsock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <map>
#include <tuple>

namespace agenttest {

namespace {

    const Oid tcpEntryOid = { 1, 3, 6, 1, 2, 1, 6, 13, 1 };
    const Oid udpEntryOid = { 1, 3, 6, 1, 2, 1, 7, 5, 1 };

    struct Reply
    {
        Oid name;
        BYTE type;
        LONG number;
        std::string address;
    };

    std::string dotted(const BYTE* bytes)
    {
        return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2])
            + '.' + std::to_string(bytes[3]);
    }

    std::string dotted(const UINT* ids)
    {
        return std::to_string(ids[0]) + '.' + std::to_string(ids[1]) + '.' + std::to_string(ids[2]) + '.'
            + std::to_string(ids[3]);
    }

    std::string text(const Oid& oid)
    {
        std::string out;
        for (UINT id : oid) {
            if (!out.empty())
                out += '.';
            out += std::to_string(id);
        }
        return out;
    }

    // One walk as the scanner makes it: from column 1 until a name outside the table, a
    // failed query or a reply that does not advance; every name and value freed on the way.
    template <typename Entry>
    std::vector<Reply> walkReplies(PFNSNMPEXTENSIONQUERY query, const Oid& entry, Walk<Entry>& walk)
    {
        Oid start = entry;
        start.push_back(1);
        SnmpVarBind binding {};
        const AsnObjectIdentifier startName { static_cast<UINT>(start.size()), start.data() };
        SnmpUtilOidCpy(&binding.name, &startName);
        RFC1157VarBindList list { &binding, 1 };
        std::vector<Reply> replies;
        Oid previous = start;
        for (;;) {
            AsnInteger32 status = 0;
            AsnInteger32 index = 0;
            const BOOL ok = query(SNMP_PDU_GETNEXT, &list, &status, &index);
            ++walk.queries;
            Reply reply { Oid(binding.name.ids, binding.name.ids + binding.name.idLength),
                binding.value.asnType, 0, {} };
            if (reply.type == ASN_IPADDRESS || reply.type == ASN_OCTETSTRING) {
                if (binding.value.asnValue.address.length == 4)
                    reply.address = dotted(binding.value.asnValue.address.stream);
                else
                    walk.problems.push_back(
                        "address of length " + std::to_string(binding.value.asnValue.address.length));
            } else {
                reply.number = binding.value.asnValue.number;
            }
            SnmpUtilAsnAnyFree(&binding.value);
            if (walk.queries == 1)
                walk.firstName = reply.name;
            // The table ends where the names leave its entry: other tables follow it.
            const bool inTable = reply.name.size() > entry.size()
                && std::equal(entry.begin(), entry.end(), reply.name.begin());
            if (!ok || status != 0 || !inTable || reply.name <= previous) {
                if (ok && status == 0 && inTable)
                    walk.problems.push_back("walk went back to " + text(reply.name));
                walk.endName = reply.name;
                walk.endStatus = status;
                break;
            }
            previous = reply.name;
            replies.push_back(std::move(reply));
        }
        SnmpUtilVarBindFree(&binding);
        return replies;
    }

    void expectType(const Reply& reply, BYTE type, std::vector<std::string>& problems)
    {
        if (reply.type != type)
            problems.push_back(text(reply.name) + " has type " + std::to_string(reply.type));
    }

} // namespace

std::ostream& operator<<(std::ostream& out, const TcpEntry& entry)
{
    return out << "{" << entry.state << " " << entry.localAddress << ":" << entry.localPort << " -> "
               << entry.remoteAddress << ":" << entry.remotePort << "}";
}

std::ostream& operator<<(std::ostream& out, const UdpEntry& entry)
{
    return out << "{" << entry.localAddress << ":" << entry.localPort << "}";
}

namespace {

    std::uint32_t hostOrder(const std::string& address)
    {
        in_addr parsed {};
        inet_pton(AF_INET, address.c_str(), &parsed);
        return ntohl(parsed.s_addr);
    }

} // namespace

std::vector<TcpEntry> inIndexOrder(std::vector<TcpEntry> rows)
{
    std::sort(rows.begin(), rows.end(), [](const TcpEntry& a, const TcpEntry& b) {
        return std::tuple(hostOrder(a.localAddress), a.localPort, hostOrder(a.remoteAddress), a.remotePort)
            < std::tuple(hostOrder(b.localAddress), b.localPort, hostOrder(b.remoteAddress), b.remotePort);
    });
    return rows;
}

std::vector<UdpEntry> inIndexOrder(std::vector<UdpEntry> rows)
{
    std::sort(rows.begin(), rows.end(), [](const UdpEntry& a, const UdpEntry& b) {
        return std::tuple(hostOrder(a.localAddress), a.localPort)
            < std::tuple(hostOrder(b.localAddress), b.localPort);
    });
    return rows;
}

std::string endpointText(const Oid& ids, std::size_t& at)
{
    if (at + 2 > ids.size() || at + 2 + ids[at + 1] + 1 > ids.size())
        return {};
    const UINT type = ids[at];
    const UINT length = ids[at + 1];
    unsigned char octets[16] {};
    for (UINT i = 0; i < length && i < 16; ++i)
        octets[i] = static_cast<unsigned char>(ids[at + 2 + i]);
    char address[INET6_ADDRSTRLEN] = "";
    std::string out;
    if (type == 1 && length == 4 && inet_ntop(AF_INET, octets, address, sizeof address))
        out = std::string("ipv4 ") + address;
    else if (type == 2 && length == 16 && inet_ntop(AF_INET6, octets, address, sizeof address))
        out = std::string("ipv6 [") + address + "]";
    else if (type == 0 && length == 0)
        out = "unknown ";
    else
        return {};
    out += ":" + std::to_string(ids[at + 2 + length]);
    at += 3 + length;
    return out;
}

Walk<Value> AgentClient::walkSubtree(const Oid& prefix)
{
    Walk<Value> walk;
    SnmpVarBind binding {};
    const AsnObjectIdentifier startName { static_cast<UINT>(prefix.size()),
        const_cast<UINT*>(prefix.data()) };
    SnmpUtilOidCpy(&binding.name, &startName);
    RFC1157VarBindList list { &binding, 1 };
    Oid previous = prefix;
    for (;;) {
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        const BOOL ok = query(SNMP_PDU_GETNEXT, &list, &status, &index);
        ++walk.queries;
        Value value { Oid(binding.name.ids, binding.name.ids + binding.name.idLength), binding.value.asnType,
            {} };
        const AsnAny& any = binding.value;
        switch (any.asnType) {
        case ASN_OCTETSTRING:
            value.text.assign(
                reinterpret_cast<const char*>(any.asnValue.string.stream), any.asnValue.string.length);
            break;
        case ASN_OBJECTIDENTIFIER:
            value.text
                = text(Oid(any.asnValue.object.ids, any.asnValue.object.ids + any.asnValue.object.idLength));
            break;
        case ASN_UNSIGNED32:
        case ASN_GAUGE32:
        case ASN_COUNTER32:
            value.text = std::to_string(any.asnValue.unsigned32);
            break;
        case ASN_COUNTER64:
            value.text = std::to_string(any.asnValue.counter64.QuadPart);
            break;
        default:
            value.text = std::to_string(any.asnValue.number);
            break;
        }
        SnmpUtilAsnAnyFree(&binding.value);
        const bool inside = value.name.size() > prefix.size()
            && std::equal(prefix.begin(), prefix.end(), value.name.begin());
        if (!ok || status != 0 || !inside) {
            walk.endName = value.name;
            walk.endStatus = status;
            break;
        }
        if (value.name <= previous) {
            walk.problems.push_back("walk went back to " + text(value.name));
            break;
        }
        previous = value.name;
        walk.rows.push_back(std::move(value));
    }
    SnmpUtilVarBindFree(&binding);
    return walk;
}

std::string AgentClient::load()
{
    HMODULE module = LoadLibraryA("inetmib1.dll");
    if (!module)
        return "inetmib1.dll not found";
    init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(module, "SnmpExtensionInit"));
    query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(module, "SnmpExtensionQuery"));
    endScan = reinterpret_cast<void (*)()>(GetProcAddress(module, "VeltranEndScan"));
    if (!init || !query || !endScan)
        return "entry points missing";
    if (!init(GetTickCount(), &trapEvent, &view))
        return "SnmpExtensionInit failed";
    return {};
}

Walk<TcpEntry> AgentClient::walkTcp()
{
    Walk<TcpEntry> walk;
    const std::vector<Reply> replies = walkReplies(query, tcpEntryOid, walk);
    // Column 1 makes the rows; every later column must name the same indexes in the same order.
    std::vector<Oid> indexes;
    std::size_t cursor = 0;
    UINT column = 0;
    for (const Reply& reply : replies) {
        if (reply.name.size() != 20
            || !std::equal(tcpEntryOid.begin(), tcpEntryOid.end(), reply.name.begin())) {
            walk.problems.push_back("not a tcpConnTable instance: " + text(reply.name));
            continue;
        }
        const Oid index(reply.name.begin() + 10, reply.name.end());
        if (reply.name[9] != column) {
            if (column != 0 && cursor != indexes.size())
                walk.problems.push_back("column " + std::to_string(column) + " is short");
            column = reply.name[9];
            cursor = 0;
        }
        if (column == 1) {
            expectType(reply, ASN_INTEGER, walk.problems);
            indexes.push_back(index);
            walk.rows.push_back({ reply.number, dotted(index.data()), static_cast<int>(index[4]),
                dotted(index.data() + 5), static_cast<int>(index[9]) });
            ++cursor;
            continue;
        }
        if (cursor >= indexes.size() || indexes[cursor] != index) {
            walk.problems.push_back(
                "column " + std::to_string(column) + " names another row: " + text(reply.name));
            continue;
        }
        const TcpEntry& row = walk.rows[cursor++];
        const bool address = column == 2 || column == 4;
        expectType(reply, address ? ASN_IPADDRESS : ASN_INTEGER, walk.problems);
        const bool matches = column == 2 ? reply.address == row.localAddress
            : column == 3                ? reply.number == row.localPort
            : column == 4                ? reply.address == row.remoteAddress
                                         : reply.number == row.remotePort;
        if (!matches)
            walk.problems.push_back("value of " + text(reply.name) + " disagrees with its index");
    }
    if (column != 5 && !walk.rows.empty())
        walk.problems.push_back("walk ended in column " + std::to_string(column));
    return walk;
}

Walk<UdpEntry> AgentClient::walkUdp()
{
    Walk<UdpEntry> walk;
    const std::vector<Reply> replies = walkReplies(query, udpEntryOid, walk);
    std::vector<Oid> indexes;
    std::size_t cursor = 0;
    UINT column = 0;
    for (const Reply& reply : replies) {
        if (reply.name.size() != 15
            || !std::equal(udpEntryOid.begin(), udpEntryOid.end(), reply.name.begin())) {
            walk.problems.push_back("not a udpTable instance: " + text(reply.name));
            continue;
        }
        const Oid index(reply.name.begin() + 10, reply.name.end());
        if (reply.name[9] != column) {
            column = reply.name[9];
            cursor = 0;
        }
        if (column == 1) {
            expectType(reply, ASN_IPADDRESS, walk.problems);
            if (reply.address != dotted(index.data()))
                walk.problems.push_back("address of " + text(reply.name) + " disagrees with its index");
            indexes.push_back(index);
            walk.rows.push_back({ dotted(index.data()), static_cast<int>(index[4]) });
            ++cursor;
            continue;
        }
        expectType(reply, ASN_INTEGER, walk.problems);
        if (cursor >= indexes.size() || indexes[cursor] != index
            || reply.number != static_cast<LONG>(index[4]))
            walk.problems.push_back("column 2 value disagrees: " + text(reply.name));
        ++cursor;
    }
    if (cursor != indexes.size() || (column != 2 && !walk.rows.empty()))
        walk.problems.push_back("udpLocalPort column is incomplete");
    return walk;
}

} // namespace agenttest
