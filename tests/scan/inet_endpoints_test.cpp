// IPv6 host texts and their cache keys, and the later tables' indexes and owners.

#include "scan/inet_endpoints.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "tests/common/scripted_name_services.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <random>

namespace {

Ipv6Address v6(std::initializer_list<std::uint8_t> tail)
{
    Ipv6Address address {};
    std::copy(tail.begin(), tail.end(), address.end() - static_cast<std::ptrdiff_t>(tail.size()));
    return address;
}

Ipv6Address linkLocal(std::uint8_t last)
{
    Ipv6Address address {};
    address[0] = 0xfe;
    address[1] = 0x80;
    address[15] = last;
    return address;
}

TEST(Ipv6Text, CompressedFormAsInetNtop)
{
    EXPECT_EQ(ipv6Text(v6({})), "::");
    EXPECT_EQ(ipv6Text(v6({ 1 })), "::1");
    EXPECT_EQ(ipv6Text(linkLocal(1)), "fe80::1");
    EXPECT_EQ(ipv6Text(v6({ 0xff, 0xff, 10, 0, 0, 2 })), "::ffff:10.0.0.2");
    EXPECT_TRUE(isIpv4Mapped(v6({ 0xff, 0xff, 10, 0, 0, 2 })));
    EXPECT_FALSE(isIpv4Mapped(v6({ 1 })));
    EXPECT_EQ(ipv4Of(2, v6({ 0xff, 0xff, 10, 0, 0, 2 })), ipv4(10, 0, 0, 2));

    // The text is written without inet_ntop, so it is checked against it: groups drawn
    // mostly zero give runs of every length and place, ties, and both embedded IPv4 forms.
    std::mt19937 random(4898);
    for (int i = 0; i < 20000; ++i) {
        Ipv6Address address {};
        for (std::size_t group = 0; group < 8; ++group) {
            const unsigned pick = random() % 8;
            const unsigned value = pick < 4 ? 0 : pick == 4 ? 0xffff : pick == 5 ? 1 : random() & 0xffff;
            address[2 * group] = static_cast<std::uint8_t>(value >> 8);
            address[2 * group + 1] = static_cast<std::uint8_t>(value);
        }
        char expected[INET6_ADDRSTRLEN];
        ASSERT_NE(inet_ntop(AF_INET6, address.data(), expected, sizeof expected), nullptr);
        ASSERT_EQ(ipv6Text(address), expected);
    }
}

class Ipv6Names : public ::testing::Test
{
protected:
    Ipv6Names()
    {
        services.setLocalName("alpha");
        services.addHost6(linkLocal(2), "gamma.example");
        services.addHost(ipv4(0, 0, 0, 0), "never");
    }
    Options options;
    ScriptedNameServices services;
    NameResolver resolver { services };
};

TEST_F(Ipv6Names, WildcardAndLoopbackFollowTheIpv4Rules)
{
    EXPECT_EQ(resolver.resolveHostName(true, v6({})), "alpha");
    EXPECT_EQ(resolver.resolveHostName(true, v6({ 1 })), "alpha");
    Options fresh;
    ScriptedNameServices freshServices;
    NameResolver remote(freshServices);
    remote.useOptions(fresh);
    EXPECT_EQ(remote.resolveHostName(false, v6({})), "::");
    EXPECT_EQ(remote.resolveHostName(false, v6({ 1 })), "localhost");
    EXPECT_EQ(freshServices.host6Lookups(), 0);
    EXPECT_EQ(resolver.resolveHostName(false, linkLocal(2)), "gamma.example");
    EXPECT_EQ(resolver.resolveHostName(false, linkLocal(3)), "fe80::3"); // no name: the numbers
    options.lookupHostNames = false;
    resolver.useOptions(options);
    EXPECT_EQ(resolver.resolveHostName(false, linkLocal(2)), "fe80::2");
}

TEST_F(Ipv6Names, TheCacheKeysByFamilyAndSharesTheRing)
{
    // :: and 0.0.0.0 have the same zero bytes, but are different keys.
    EXPECT_EQ(resolver.resolveHostName(false, 0u), "0.0.0.0");
    EXPECT_EQ(resolver.resolveHostName(false, v6({})), "::");
    EXPECT_EQ(resolver.cache().position(), 2);
    resolver.resolveHostName(false, linkLocal(2));
    resolver.resolveHostName(false, linkLocal(2));
    EXPECT_EQ(services.host6Lookups(), 1);
    EXPECT_EQ(resolver.cache().position(), 3);
    // IPv6 entries take slots of the same 200-slot ring: after a wrap the address is asked again.
    for (int i = 1; i <= 200; ++i)
        resolver.resolveHostName(
            false, ipv4(10, 1, static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i)));
    EXPECT_EQ(resolver.cache().position(), 3);
    resolver.resolveHostName(false, linkLocal(2));
    EXPECT_EQ(services.host6Lookups(), 2);
}

TEST(LaterTableIndex, DecodesBothFamiliesAndRefusesMisfits)
{
    InetEndpointRecord record;
    // tcpConnectionTable: ipv4 127.0.0.1:80 to ipv6 ::1 port 5, then an IPv6 pair.
    ASSERT_TRUE(decodeTcpConnectionIndex(
        std::vector<std::uint32_t> { 1, 4, 127, 0, 0, 1, 80, 1, 4, 10, 0, 0, 2, 443 }, record));
    EXPECT_EQ(record.localType, 1);
    EXPECT_EQ(ipv4Of(record.localType, record.localAddress), ipv4(127, 0, 0, 1));
    EXPECT_EQ(record.remotePort, 443);
    std::vector<std::uint32_t> six { 2, 16 };
    for (int i = 0; i < 15; ++i)
        six.push_back(0);
    six.push_back(1);
    std::vector<std::uint32_t> index = six;
    index.push_back(9090);
    index.insert(index.end(), six.begin(), six.end());
    index.push_back(40000);
    ASSERT_TRUE(decodeTcpConnectionIndex(index, record));
    EXPECT_TRUE(isPureIpv6(record));
    EXPECT_EQ(ipv6Text(record.remoteAddress), "::1");
    // A dual-stack wildcard listener: type 0, zero-length address.
    ASSERT_TRUE(decodeTcpListenerIndex(std::vector<std::uint32_t> { 0, 0, 22 }, record));
    EXPECT_EQ(record.localType, 0);
    EXPECT_EQ(record.stateValue, 2);
    // udpEndpointTable ends with the instance.
    EXPECT_TRUE(decodeUdpEndpointIndex(
        std::vector<std::uint32_t> { 1, 4, 0, 0, 0, 0, 53, 1, 4, 0, 0, 0, 0, 0, 77 }, record));
    // Misfits: a length that does not fit the type, an octet over 255, a port over 65535, extra ids.
    EXPECT_FALSE(decodeTcpListenerIndex(std::vector<std::uint32_t> { 1, 16, 0, 0, 0, 0, 22 }, record));
    EXPECT_FALSE(decodeTcpListenerIndex(std::vector<std::uint32_t> { 1, 4, 256, 0, 0, 1, 22 }, record));
    EXPECT_FALSE(decodeTcpListenerIndex(std::vector<std::uint32_t> { 1, 4, 127, 0, 0, 1, 70000 }, record));
    EXPECT_FALSE(decodeTcpListenerIndex(std::vector<std::uint32_t> { 1, 4, 127, 0, 0, 1, 22, 0 }, record));
    EXPECT_FALSE(decodeUdpEndpointIndex(std::vector<std::uint32_t> { 1, 4, 0, 0, 0, 0, 53 }, record));
}

TEST(ProcessIndex, Ipv4RowsFindTheirOwnersThroughMappedAndDualStackEntries)
{
    InetEndpointRecord mapped;
    mapped.localType = mapped.remoteType = 2;
    mapped.localAddress = mapped.remoteAddress = v6({ 0xff, 0xff, 127, 0, 0, 1 });
    mapped.localPort = 9091;
    mapped.remotePort = 40000;
    mapped.pid = 11;
    InetEndpointRecord dualListener;
    dualListener.localPort = 9091;
    dualListener.pid = 12;
    InetEndpointRecord pure = mapped;
    pure.localAddress = pure.remoteAddress = v6({ 1 });
    pure.pid = 13;
    InetEndpointRecord udpUnowned;
    udpUnowned.localType = 1;
    udpUnowned.localPort = 53;
    InetEndpointRecord udpOwned = udpUnowned;
    udpOwned.remotePort = 99; // connected: the IPv4 walk does not tell the remote end
    udpOwned.pid = 14;

    ProcessIndex owners;
    owners.setProcesses({ { 12, "srv", "/usr/bin/srv", "-x" }, { 11, "peer", "", "" } });
    owners.addTcp({ mapped, dualListener, pure });
    owners.addUdp({ udpUnowned, udpOwned });
    EXPECT_EQ(owners.tcpOwner(ipv4(127, 0, 0, 1), 9091, ipv4(127, 0, 0, 1), 40000), 11u);
    EXPECT_EQ(owners.tcpOwner(0, 9091, 0, 0), 12u);
    EXPECT_EQ(owners.tcpOwner(ipv4(127, 0, 0, 1), 9091, ipv4(127, 0, 0, 1), 40001), 0u);
    EXPECT_EQ(owners.udpOwner(0, 53), 14u);
    EXPECT_EQ(owners.udpOwner(0, 54), 0u);
    ASSERT_NE(owners.process(12), nullptr);
    EXPECT_EQ(owners.process(12)->path, "/usr/bin/srv");
    EXPECT_EQ(owners.process(13), nullptr);
}

} // namespace
