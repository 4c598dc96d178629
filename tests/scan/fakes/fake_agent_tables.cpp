#include "tests/scan/fakes/fake_agent_tables.h"

#include "platform/module_loader.h"

#include <algorithm>
#include <cstring>

std::vector<UINT> tcpName(UINT column, UINT row)
{
    return { 1, 3, 6, 1, 2, 1, 6, 13, 1, column, row };
}

std::vector<UINT> udpName(UINT column, UINT row)
{
    return { 1, 3, 6, 1, 2, 1, 7, 5, 1, column, row };
}

FakeObject integerObject(std::vector<UINT> name, LONG value)
{
    FakeObject object;
    object.name = std::move(name);
    object.type = ASN_INTEGER;
    object.number = value;
    return object;
}

FakeObject addressObject(std::vector<UINT> name, std::vector<BYTE> octets)
{
    FakeObject object;
    object.name = std::move(name);
    object.type = ASN_IPADDRESS;
    object.octets = std::move(octets);
    return object;
}

namespace {

std::vector<BYTE> bytesOf(std::uint32_t address)
{
    std::vector<BYTE> bytes(4);
    std::memcpy(bytes.data(), &address, 4);
    return bytes;
}

} // namespace

std::vector<FakeObject> mibObjects(const std::vector<TcpRow>& tcp, const std::vector<UdpRow>& udp)
{
    std::vector<FakeObject> objects;
    for (UINT r = 0; r < tcp.size(); ++r) {
        const TcpRow& row = tcp[r];
        objects.push_back(integerObject(tcpName(1, r + 1), row.state));
        objects.push_back(addressObject(tcpName(2, r + 1), bytesOf(row.localAddress)));
        objects.push_back(integerObject(tcpName(3, r + 1), row.localPort));
        objects.push_back(addressObject(tcpName(4, r + 1), bytesOf(row.remoteAddress)));
        objects.push_back(integerObject(tcpName(5, r + 1), row.remotePort));
    }
    objects.push_back(integerObject({ 1, 3, 6, 1, 2, 1, 6, 14, 0 }, 0)); // tcpInErrs.0
    for (UINT r = 0; r < udp.size(); ++r) {
        objects.push_back(addressObject(udpName(1, r + 1), bytesOf(udp[r].localAddress)));
        objects.push_back(integerObject(udpName(2, r + 1), udp[r].localPort));
    }
    objects.push_back(integerObject({ 1, 3, 6, 1, 2, 1, 11, 1, 0 }, 0)); // snmpInPkts.0
    std::sort(objects.begin(), objects.end(),
        [](const FakeObject& a, const FakeObject& b) { return a.name < b.name; });
    return objects;
}

const char* scriptedAgentPath()
{
    return FAKE_AGENT_SCRIPTED_PATH;
}

const char* initOnlyAgentPath()
{
    return FAKE_AGENT_INIT_ONLY_PATH;
}

bool setScriptedAgentScript(FakeAgentScript& script)
{
    HMODULE module = LoadLibraryA(scriptedAgentPath());
    if (!module)
        return false;
    auto setScript
        = reinterpret_cast<FakeAgentSetScriptFunction>(GetProcAddress(module, "FakeAgentSetScript"));
    if (!setScript)
        return false;
    setScript(&script);
    return true;
}

bool loadScriptedAgent(MibAgent& agent, FakeAgentScript& script)
{
    return setScriptedAgentScript(script) && agent.load(scriptedAgentPath()) && agent.init();
}
