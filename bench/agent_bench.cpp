// The agent module's walks as whole processes, against `ss` and the floors, on a mix like a
// real machine's (TCP of both families, listeners, UDP of both families, held by processes
// other than the benchmark) of 2,000 and 20,000 pairs in a private network namespace:
//   - the tables a scan without processes walks (tcpConnTable, udpTable, ipv6TcpConnTable,
//     ipv6UdpTable) against `ss -tuan` and the sock_diag floor, and against the same walks
//     through a baseline module (an earlier build, given as the first argument);
//   - every table, owning processes and hrSWRunTable included, against `ss -tuanp` and the
//     owner floor.
// Each contender is a process of its own (this program again, with --walk), its CPU taken
// from wait4; rounds take the commands in turn. Needs root.
//
//   agent_bench [BASELINE_MODULE|-] [ROUNDS, default 21]

#include "bench/median.h"
#include "platform/module_loader.h"
#include "platform/snmp.h"
#include "platform/winsock.h"
#include "tests/common/connection_holders.h"
#include "tests/common/measured_run.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// One walk of a table as a scanner makes it, from start until a name outside prefix;
// returns the number of values received, or -1 when a query failed.
long walk(PFNSNMPEXTENSIONQUERY query, std::initializer_list<UINT> start, std::size_t prefixLength)
{
    std::vector<UINT> startIds(start);
    const AsnObjectIdentifier startName { static_cast<UINT>(startIds.size()), startIds.data() };
    SnmpVarBind binding {};
    SnmpUtilOidCpy(&binding.name, &startName);
    RFC1157VarBindList list { &binding, 1 };
    long values = 0;
    for (;;) {
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        if (!query(SNMP_PDU_GETNEXT, &list, &status, &index)) {
            values = -1;
            break;
        }
        SnmpUtilAsnAnyFree(&binding.value);
        const UINT* ids = binding.name.ids;
        if (status != 0 || binding.name.idLength <= prefixLength
            || !std::equal(startIds.begin(), startIds.begin() + static_cast<long>(prefixLength), ids))
            break;
        ++values;
    }
    SnmpUtilVarBindFree(&binding);
    return values;
}

// The --walk mode: loads the module and walks the tables of a scan without processes
// ("plain") or every table ("every"); the exit status says whether every walk worked.
int walkMode(const std::string& tables, const char* module)
{
    HMODULE library = LoadLibraryA(module);
    auto init = library ? reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(library, "SnmpExtensionInit"))
                        : nullptr;
    auto query = library
        ? reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(library, "SnmpExtensionQuery"))
        : nullptr;
    HANDLE trap = nullptr;
    AsnObjectIdentifier view {};
    if (!init || !query || !init(GetTickCount(), &trap, &view))
        return 1;
    std::vector<long> values { walk(query, { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 }, 9),
        walk(query, { 1, 3, 6, 1, 2, 1, 7, 5, 1, 1 }, 9) };
    if (tables == "plain") {
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 6, 16, 1, 6 }, 10));
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 7, 6, 1, 3 }, 10));
    } else {
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 6, 19, 1 }, 9));
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 6, 20, 1 }, 9));
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 7, 7, 1 }, 9));
        values.push_back(walk(query, { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 }, 10));
    }
    return std::all_of(values.begin(), values.end(), [](long count) { return count >= 0; }) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--walk") == 0)
        return walkMode(argv[2], argc > 3 ? argv[3] : "inetmib1.dll");
    const char* baseline = argc > 1 && std::strcmp(argv[1], "-") != 0 ? argv[1] : nullptr;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "agent_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string self = testproc::executableFolder() + "/agent_bench";
    const std::string floor = testproc::executableFolder() + "/sock_diag_floor";
    std::vector<testproc::Contender> contenders {
        { "agent, a scan's tables", { self, "--walk", "plain" } },
        { "ss -tuan", { "ss", "-tuan" } },
        { "sock_diag floor", { floor } },
        { "agent, every table", { self, "--walk", "every" } },
        { "ss -tuanp", { "ss", "-tuanp" } },
        { "owner floor", { floor, "--owners" } },
    };
    if (baseline)
        contenders.push_back({ "baseline module, a scan's tables", { self, "--walk", "plain", baseline } });
    std::printf("The agent module's walks, whole processes, on TCP of both families, listeners and UDP\n"
                "held by other processes; CPU from wait4, median of %d rounds taking the commands in\n"
                "turn, [interquartile range] of the per-round ratios:\n",
        rounds);
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    for (const std::size_t pairs : { 2000u, 20000u }) {
        if (!testproc::measureWithPairs(holders, pairs, contenders, rounds))
            return 1;
        const auto cpu = [&contenders](std::size_t c) { return contenders[c].cpuMs; };
        std::printf("%zu pairs:\n", pairs);
        printRatio("agent, a scan's tables / ss -tuan", "ms", cpu(0), cpu(1));
        printRatio("agent, a scan's tables / sock_diag floor", "ms", cpu(0), cpu(2));
        printRatio("agent, every table with owners / ss -tuanp", "ms", cpu(3), cpu(4));
        printRatio("agent, every table with owners / owner floor", "ms", cpu(3), cpu(5));
        if (baseline)
            printRatio("agent, a scan's tables / baseline module", "ms", cpu(0), cpu(6));
    }
    return 0;
}
