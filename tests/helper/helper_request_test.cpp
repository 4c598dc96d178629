// The helper runs with root's rights on a user's word: only its two forms pass, every word checked.

#include "helper/helper_request.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

std::optional<HelperRequest> parse(const std::vector<std::string>& words)
{
    const std::vector<std::string_view> views(words.begin(), words.end());
    return parseHelperRequest(views);
}

std::string addressText(const InetEndpoint& end)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(end.type == InetAddressType::Ipv6 ? AF_INET6 : AF_INET, end.address.data(), text, sizeof(text));
    return text;
}

TEST(HelperRequest, TakesTheFormsTheWindowBuilds)
{
    const auto v4 = parse(closeHelperArguments("192.0.2.1", 1, "127.0.0.1", 65535));
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->kind, HelperRequest::Kind::Close);
    EXPECT_EQ(v4->local.type, InetAddressType::Ipv4);
    EXPECT_EQ(addressText(v4->local), "192.0.2.1");
    EXPECT_EQ(addressText(v4->remote), "127.0.0.1");
    EXPECT_EQ(v4->local.port, 1);
    EXPECT_EQ(v4->remote.port, 65535);

    const auto v6 = parse(closeHelperArguments("2001:db8::1", 443, "::ffff:10.0.0.1", 50000));
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->remote.type, InetAddressType::Ipv6);
    EXPECT_EQ(addressText(v6->local), "2001:db8::1");
    EXPECT_EQ(addressText(v6->remote), "::ffff:10.0.0.1");
    EXPECT_EQ(v6->local.port, 443);

    const auto stop = parse(stopHelperArguments(4194304, 18446744073709551615u));
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->kind, HelperRequest::Kind::Stop);
    EXPECT_EQ(stop->pid, 4194304u);
    EXPECT_EQ(stop->startTime, 18446744073709551615u);
    EXPECT_TRUE(parse({ "stop", "2", "0" }));
}

TEST(HelperRequest, RefusesEveryOtherForm)
{
    const std::vector<std::vector<std::string>> refused {
        {},
        { "close" },
        { "close", "tcp", "127.0.0.1:80" },
        { "close", "tcp", "127.0.0.1:80", "127.0.0.1:81", "extra" },
        { "close", "udp", "127.0.0.1:80", "127.0.0.1:81" },
        { "close", "TCP", "127.0.0.1:80", "127.0.0.1:81" },
        { "--close", "tcp", "127.0.0.1:80", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1:0", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1:65536", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1:080", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1:+80", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1: 80", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1:80:81", "127.0.0.1:81" },
        { "close", "tcp", "127.0.0.1", "127.0.0.1:81" },
        { "close", "tcp", "localhost:80", "127.0.0.1:81" },
        { "close", "tcp", "127.1:80", "127.0.0.1:81" },
        { "close", "tcp", "0177.0.0.1:80", "127.0.0.1:81" },
        { "close", "tcp", "::1:80", "[::1]:81" },
        { "close", "tcp", "[::1]80", "[::1]:81" },
        { "close", "tcp", "[fe80::1%lo]:80", "[::1]:81" },
        { "close", "tcp", "[127.0.0.1]:80", "[::1]:81" },
        { "close", "tcp", "127.0.0.1:80", "[::1]:81" }, // two families
        { "close", "tcp", "127.0.0.1:80", "127.0.0.1:81;reboot" },
        { "close", "tcp", std::string(60, '1') + ".0.0.1:80", "127.0.0.1:81" },
        { "stop", "1234" },
        { "stop", "1234", "5", "6" },
        { "stop", "1", "5" }, // init
        { "stop", "0", "5" },
        { "stop", "4194305", "5" },
        { "stop", "-1", "5" },
        { "stop", "12a", "5" },
        { "stop", "1234", "18446744073709551616" },
        { "stop", "1234", "" },
        { "kill", "1234", "5" },
    };
    for (const auto& words : refused) {
        std::string shown;
        for (const auto& word : words)
            shown += '"' + word + "\" ";
        EXPECT_FALSE(parse(words)) << shown;
    }
}

} // namespace
