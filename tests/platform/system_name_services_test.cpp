#include "platform/system_name_services.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>

namespace {

TEST(SystemNameServices, ServiceNamesComeFromTheServicesFile)
{
    NameServices& services = systemNameServices();
    EXPECT_EQ(services.serviceByPort(htons(80), "tcp"), "http");
    EXPECT_EQ(services.serviceByPort(htons(443), "tcp"), "https");
    EXPECT_EQ(services.serviceByPort(htons(53), "udp"), "domain");
    // Port 0 is nobody's service.
    EXPECT_EQ(services.serviceByPort(htons(0), "tcp"), std::nullopt);
}

TEST(SystemNameServices, RememberedAnswersMatchTheFirstAndKeepProtocolsApart)
{
    SystemNameServices services;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(services.serviceByPort(htons(22), "tcp"), "ssh");
        EXPECT_EQ(services.serviceByPort(htons(22), "udp"), std::nullopt) << "ssh has no udp entry";
        EXPECT_EQ(services.serviceByPort(htons(123), "udp"), "ntp");
        EXPECT_EQ(services.serviceByPort(htons(61999), "tcp"), std::nullopt);
    }
}

TEST(SystemNameServices, LocalHostNameIsTheKernelsHostName)
{
    std::string kernelName;
    std::ifstream("/proc/sys/kernel/hostname") >> kernelName;
    ASSERT_FALSE(kernelName.empty());
    EXPECT_EQ(systemNameServices().localHostName(), kernelName);
}

} // namespace
