#include "platform/system_name_services.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "tests/common/netns.h"
#include "tests/common/scripted_name_services.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const std::uint32_t kLoopback = ipv4(127, 0, 0, 1);
const std::uint32_t kAny = 0;

class NameResolverTest : public ::testing::Test
{
protected:
    NameResolverTest()
    {
        services.setLocalName("alpha");
        services.addHost(ipv4(10, 0, 0, 2), "beta.example");
        services.addService(80, "tcp", "http");
        services.addService(53, "udp", "domain");
    }

    Options options;
    ScriptedNameServices services;
    NameResolver resolver { services };
};

TEST_F(NameResolverTest, PortsByNameOrInDecimal)
{
    struct Case
    {
        bool lookup;
        std::int32_t port;
        const char* protocol;
        std::string text;
    };
    const Case cases[] {
        { false, 80, "tcp", "80" },
        { true, 80, "tcp", "http" },
        { true, 53, "udp", "domain" },
        { true, 80, "udp", "80" }, // the protocol is part of the key
        { true, 51234, "tcp", "51234" }, // no service entry
        { true, 0, "tcp", "0" },
        { true, 65536 + 80, "tcp", "http" }, // cut to 16 bits for the look-up
        { false, 65536 + 80, "tcp", "65616" },
    };
    for (const Case& c : cases) {
        options.lookupPortNames = c.lookup;
        resolver.useOptions(options);
        EXPECT_EQ(resolver.resolvePortName(c.port, c.protocol), c.text) << c.port << "/" << c.protocol;
    }
}

TEST_F(NameResolverTest, LookUpsOffGiveDottedQuadsAndStillRefreshTheComputerName)
{
    options.lookupHostNames = false;
    resolver.useOptions(options);
    EXPECT_EQ(resolver.resolveHostName(true, ipv4(192, 168, 1, 20)), "192.168.1.20");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 2)), "10.0.0.2");
    EXPECT_EQ(resolver.resolveHostName(true, kLoopback), "127.0.0.1");
    EXPECT_EQ(resolver.resolveHostName(false, kAny), "0.0.0.0");
    EXPECT_EQ(services.hostLookups(), 0);
    EXPECT_EQ(resolver.cache().position(), 0);
    EXPECT_EQ(resolver.localComputerName(), "alpha");

    // Asked once a scan: a rename shows from the next scan on.
    services.setLocalName("renamed");
    resolver.resolveHostName(true, ipv4(192, 168, 1, 20));
    EXPECT_EQ(resolver.localComputerName(), "alpha");
    resolver.useOptions(options);
    resolver.resolveHostName(false, ipv4(192, 168, 1, 20)); // a remote address does not refresh it
    EXPECT_EQ(resolver.localComputerName(), "alpha");
    resolver.resolveHostName(true, ipv4(192, 168, 1, 20));
    EXPECT_EQ(resolver.localComputerName(), "renamed");
    EXPECT_EQ(services.localNameCalls(), 2);
}

TEST_F(NameResolverTest, WildcardAndLoopbackRulesInBothOrders)
{
    struct Step
    {
        bool isLocal;
        std::uint32_t address;
        std::string text;
    };
    struct Case
    {
        const char* what;
        bool cache;
        std::vector<Step> steps;
    };
    const Case cases[] {
        { "local wildcard first", true, { { true, kAny, "alpha" }, { false, kAny, "alpha" } } },
        { "remote wildcard first", true, { { false, kAny, "0.0.0.0" }, { true, kAny, "0.0.0.0" } } },
        { "local loopback first", true, { { true, kLoopback, "alpha" }, { false, kLoopback, "alpha" } } },
        { "remote loopback first", true,
            { { false, kLoopback, "localhost" }, { true, kLoopback, "localhost" } } },
        { "cache off", false,
            { { false, kLoopback, "localhost" }, { true, kLoopback, "alpha" }, { false, kAny, "0.0.0.0" },
                { true, kAny, "alpha" }, { false, kLoopback, "localhost" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options fresh;
        fresh.cacheDns = c.cache;
        NameResolver own(services);
        own.useOptions(fresh);
        for (const Step& step : c.steps)
            EXPECT_EQ(own.resolveHostName(step.isLocal, step.address), step.text);
    }
    EXPECT_EQ(services.hostLookups(), 0); // neither address is ever looked up
}

TEST_F(NameResolverTest, CacheAnswersRepeatsAndStoresFailedLookUpsToo)
{
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 2)), "beta.example");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 9)), "10.0.0.9");
    services.addHost(ipv4(10, 0, 0, 9), "late.example"); // not seen while cached
    EXPECT_EQ(resolver.resolveHostName(true, ipv4(10, 0, 0, 2)), "beta.example");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 9)), "10.0.0.9");
    EXPECT_EQ(services.hostLookups(), 2);
    EXPECT_EQ(resolver.cache().position(), 2);

    // Switched off, the cache is bypassed but kept; back on, its slots answer again.
    options.cacheDns = false;
    resolver.useOptions(options);
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 9)), "late.example");
    EXPECT_EQ(resolver.cache().position(), 2);
    options.cacheDns = true;
    resolver.useOptions(options);
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 9)), "10.0.0.9");
    EXPECT_EQ(services.hostLookups(), 3);
}

TEST_F(NameResolverTest, TheRingWrapsAfter200Addresses)
{
    auto address = [](int i) {
        return ipv4(10, 1, static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i % 256));
    };
    for (int i = 1; i <= 201; ++i)
        resolver.resolveHostName(false, address(i));
    EXPECT_EQ(services.hostLookups(), 201);
    EXPECT_EQ(resolver.cache().position(), 1);
    EXPECT_EQ(resolver.cache().address(1), address(201));
    EXPECT_EQ(resolver.cache().address(2), address(2)); // still held, but above position

    resolver.resolveHostName(false, address(201)); // slot 1 answers
    EXPECT_EQ(services.hostLookups(), 201);
    resolver.resolveHostName(false, address(2)); // left behind by the wrap: looked up again
    EXPECT_EQ(services.hostLookups(), 202);
    EXPECT_EQ(services.askedAddresses().back(), address(2));
    EXPECT_EQ(resolver.cache().position(), 2);
}

TEST_F(NameResolverTest, LongNamesAreCutAndNamesAreNeverFormats)
{
    services.addHost(ipv4(10, 0, 0, 3), std::string(300, 'n'));
    services.addHost(ipv4(10, 0, 0, 4), "%s%n%x.example");
    services.addService(81, "tcp", std::string(300, 's'));
    services.setLocalName(std::string(300, 'c'));

    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 3)), std::string(254, 'n'));
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 3)), std::string(254, 'n')); // from the cache
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 4)), "%s%n%x.example");
    EXPECT_EQ(resolver.resolvePortName(81, "tcp"), std::string(254, 's'));
    EXPECT_EQ(resolver.resolveHostName(true, kAny), std::string(254, 'c'));
    EXPECT_EQ(resolver.localComputerName(), std::string(200, 'c'));
}

TEST_F(NameResolverTest, NamesThatWouldShowNothingGiveNumbers)
{
    services.addHost(ipv4(10, 0, 0, 5), "");
    services.addHost(ipv4(10, 0, 0, 6), "\xe2\x80\x8b \xc2\xa0"); // zero-width space, blanks
    services.addHost(ipv4(10, 0, 0, 7), "\x1b[2J");
    services.addService(82, "tcp", "");
    services.setLocalName("");

    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 5)), "10.0.0.5");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 6)), "10.0.0.6");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 7)), "\\x1b[2J");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(10, 0, 0, 7)), "\\x1b[2J"); // from the cache
    EXPECT_EQ(resolver.resolvePortName(82, "tcp"), "82");
    EXPECT_EQ(resolver.resolveHostName(true, kAny), "0.0.0.0");
    EXPECT_EQ(resolver.resolveHostName(true, kLoopback), "127.0.0.1");
}

// The system's own name services over a crafted hosts file and computer name, in private
// mount, host-name and network namespaces: nothing outside sees them, no query leaves.
TEST(NameResolverSystem, CraftedHostsFileAndComputerNameReachRowsSafe)
{
    ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
    ASSERT_EQ(unshare(CLONE_NEWNS | CLONE_NEWUTS), 0) << std::strerror(errno);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
    const std::string computer = "pc\x1b[2J";
    ASSERT_EQ(sethostname(computer.data(), computer.size()), 0) << std::strerror(errno);

    std::string longName = "a";
    for (int i = 0; i < 150; ++i)
        longName += "\xc3\xa9"; // 301 bytes
    const std::string rightToLeft = "abc\xe2\x80\xaegnp.exe";
    const std::string hostsFile = testing::TempDir() + "/crafted-hosts";
    std::ofstream(hostsFile) << "127.0.0.1 localhost\n"
                             << "192.0.2.1 ctl\x1b]0;owned\x07name\n"
                             << "192.0.2.2 " << rightToLeft << "\n"
                             << "192.0.2.3 \xe2\x80\x8b\n" // a zero-width space alone
                             << "192.0.2.4 " << longName << "\n";
    ASSERT_EQ(mount(hostsFile.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);

    SystemNameServices services;
    Options options;
    NameResolver resolver(services);
    ASSERT_EQ(services.hostByAddress(ipv4(192, 0, 2, 2)), rightToLeft)
        << "the file reaches the resolver as it is";
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(192, 0, 2, 1)), "ctl\\x1b]0;owned\\x07name");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(192, 0, 2, 2)), "abc\\u202egnp.exe");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(192, 0, 2, 3)), "192.0.2.3");
    EXPECT_EQ(resolver.resolveHostName(false, ipv4(192, 0, 2, 4)), longName.substr(0, 253));
    EXPECT_EQ(resolver.resolveHostName(true, kAny), "pc\\x1b[2J");
    EXPECT_EQ(resolver.localComputerName(), "pc\\x1b[2J");
    umount2("/etc/hosts", MNT_DETACH);
    std::remove(hostsFile.c_str());
}

} // namespace
