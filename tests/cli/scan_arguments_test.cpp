#include "cli/printing_scan_view.h"
#include "cli/scan_arguments.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>
#include <string>
#include <vector>

namespace {

ScanArguments parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "veltran-scan");
    return parseScanArguments(static_cast<int>(arguments.size()), arguments.data());
}

TEST(ScanArguments, EachFlagSwitchesOffItsOwnOptionOnly)
{
    const ScanArguments none = parse({});
    EXPECT_EQ(none.action, ScanArguments::Action::Scan);
    const Options defaults;
    EXPECT_EQ(none.options.showTcp, defaults.showTcp);
    EXPECT_EQ(none.options.showUdp, defaults.showUdp);
    EXPECT_EQ(none.options.showListening, defaults.showListening);
    EXPECT_EQ(none.options.lookupHostNames, defaults.lookupHostNames);
    EXPECT_EQ(none.options.lookupPortNames, defaults.lookupPortNames);
    EXPECT_EQ(none.options.cacheDns, defaults.cacheDns);
    EXPECT_FALSE(none.options.logEnabled);
    EXPECT_FALSE(none.options.attributeProcesses); // the owners' search only when asked
    EXPECT_TRUE(parse({ "--processes" }).options.attributeProcesses);

    struct Case
    {
        const char* flag;
        bool Options::*option;
    };
    const Case cases[] {
        { "--no-host-names", &Options::lookupHostNames },
        { "--no-port-names", &Options::lookupPortNames },
        { "--no-listening", &Options::showListening },
        { "--no-tcp", &Options::showTcp },
        { "--no-udp", &Options::showUdp },
        { "--no-ipv6", &Options::showIpv6Endpoints },
    };
    for (const Case& c : cases) {
        const ScanArguments parsed = parse({ c.flag });
        ASSERT_EQ(parsed.action, ScanArguments::Action::Scan) << c.flag;
        for (const Case& other : cases)
            EXPECT_EQ(parsed.options.*other.option, other.flag != c.flag) << c.flag << " " << other.flag;
    }
}

TEST(ScanArguments, HelpAndUnknownFlags)
{
    EXPECT_EQ(parse({ "--no-tcp", "--help" }).action, ScanArguments::Action::Help);
    const ScanArguments wrong = parse({ "--no-tcp", "--no-ipx", "--help" });
    EXPECT_EQ(wrong.action, ScanArguments::Action::Error);
    EXPECT_NE(wrong.error.find("--no-ipx"), std::string::npos);
    EXPECT_EQ(parse({ "" }).action, ScanArguments::Action::Error);
    EXPECT_EQ(parse({ "-v9", "host" }).action, ScanArguments::Action::Error);
    EXPECT_EQ(parse({ "-v2c", "-c", "public" }).action, ScanArguments::Action::Error); // no host
}

TEST(ScanArguments, SnmpOptionsAndHostsAreSplitByNetSnmpsParser)
{
    struct Case
    {
        std::vector<const char*> arguments;
        std::vector<std::string> options;
        std::vector<std::string> hosts;
    };
    const Case cases[] {
        { { "no-tcp" }, {}, { "no-tcp" } },
        { { "-v2c", "-c", "public", "--no-udp", "a", "udp:b:1161", "udp6:[::1]:1161" },
            { "-v2c", "-c", "public" }, { "a", "udp:b:1161", "udp6:[::1]:1161" } },
        // A value may start with a dash or two; hosts may come between options.
        { { "-v3", "-l", "authPriv", "-u", "me", "host1", "-a", "SHA", "-A", "--secret-pass", "-x", "AES",
              "-X", "-priv-pass-", "host2" },
            { "-v3", "-l", "authPriv", "-u", "me", "-a", "SHA", "-A", "--secret-pass", "-x", "AES", "-X",
                "-priv-pass-" },
            { "host1", "host2" } },
    };
    for (const Case& c : cases) {
        const ScanArguments parsed = parse(c.arguments);
        ASSERT_EQ(parsed.action, ScanArguments::Action::Scan) << c.arguments.front() << " " << parsed.error;
        EXPECT_EQ(parsed.snmpOptions, c.options);
        EXPECT_EQ(parsed.hosts, c.hosts);
    }
    EXPECT_FALSE(parse({ "-v2c", "-c", "x", "--no-udp", "h" }).options.showUdp);
}

} // namespace

namespace {

TEST(ScanArguments, TrafficAndRates)
{
    EXPECT_FALSE(parse({}).options.showTraffic);
    const ScanArguments traffic = parse({ "--traffic" });
    EXPECT_TRUE(traffic.options.showTraffic);
    EXPECT_EQ(traffic.rateSeconds, 0);
    const ScanArguments rates = parse({ "--rates=5" });
    EXPECT_TRUE(rates.options.showTraffic);
    EXPECT_EQ(rates.rateSeconds, 5);
    for (const char* bad : { "0", "-1", "1.5", "3601", "" })
        EXPECT_EQ(parse({ "--rates", bad }).action, ScanArguments::Action::Error) << bad;
}

TEST(ScanArguments, VersionAndFormats)
{
    EXPECT_EQ(parse({ "--version" }).action, ScanArguments::Action::Version);
    EXPECT_EQ(parse({}).format, OutputFormat::Tsv);
    EXPECT_EQ(parse({ "--format", "csv" }).format, OutputFormat::Csv);
    EXPECT_EQ(parse({ "--format=json", "--no-udp" }).format, OutputFormat::Json);
    EXPECT_FALSE(parse({ "--format=json", "--no-udp" }).options.showUdp);
    EXPECT_EQ(parse({ "--format", "xml" }).action, ScanArguments::Action::Error);
    EXPECT_EQ(parse({ "--format" }).action, ScanArguments::Action::Error);
}

TEST(PrintingScanView, CsvQuotesAsRfc4180AndJsonKeysCellsByColumnName)
{
    std::ostringstream errors;
    PrintingScanView view(errors);
    GridRow row { "1", "10.0.0.1", "http", "a,b", "say \"hi\"", "TCP", "Established" };
    view.setGridContent({ row }, {});

    std::ostringstream csv;
    view.print(csv, OutputFormat::Csv);
    EXPECT_EQ(csv.str(),
        "No,Local IP,Local Port,Remote Port,Remote IP,Protocol,State\r\n"
        "1,10.0.0.1,http,\"a,b\",\"say \"\"hi\"\"\",TCP,Established\r\n");

    std::ostringstream json;
    view.print(json, OutputFormat::Json);
    EXPECT_EQ(json.str(),
        "[\n  {\"No\": \"1\", \"Local IP\": \"10.0.0.1\", \"Local Port\": \"http\", \"Remote Port\": "
        "\"a,b\", "
        "\"Remote IP\": \"say \\\"hi\\\"\", \"Protocol\": \"TCP\", \"State\": \"Established\"}\n]\n");

    std::ostringstream tsv;
    view.print(tsv);
    EXPECT_EQ(tsv.str(),
        "No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState\n"
        "1\t10.0.0.1\thttp\ta,b\tsay \"hi\"\tTCP\tEstablished\n");

    view.setGridContent({}, {});
    std::ostringstream empty;
    view.print(empty, OutputFormat::Json);
    EXPECT_EQ(empty.str(), "[]\n");
}

// Printed from the scan's table, row by row, the rows read as a copy of their cells would.
TEST(PrintingScanView, ATablePrintsAsACopyOfItsCellsWould)
{
    ConnectionTable table;
    for (const int port : { 22, 5000 }) {
        ConnectionRow& row = *table.append();
        setField(row.localHost, "10.0.0.1");
        setField(row.localPort, std::to_string(port));
        setField(row.remoteHost, port == 22 ? "0.0.0.0" : "10.0.0.2");
        setField(row.remotePort, port == 22 ? "0" : "443");
        setField(row.protocol, "TCP");
        setField(row.state, port == 22 ? "Listening" : "Established");
        row.pid = std::uint32_t(port);
        setField(row.processName, port == 22 ? "sshd" : "curl");
        row.trafficKnown = port != 22;
        row.bytesSent = 1000;
    }
    const auto printed = [&](bool fromTable, bool noneMatches, const ConnectionTable& rows) {
        std::ostringstream errors, out;
        PrintingScanView view(errors);
        view.setProcessColumn(true);
        view.setTrafficColumns(true, false);
        if (fromTable)
            view.setGridTable(rows, noneMatches);
        else
            view.ScanView::setGridTable(rows, noneMatches); // the copies every other view is given
        view.print(out);
        return out.str();
    };
    const std::string copied = printed(false, false, table);
    EXPECT_NE(copied.find("5000	443	10.0.0.2	TCP	Established	curl"), std::string::npos) << copied;
    EXPECT_EQ(printed(true, false, table), copied);
    const ConnectionTable none;
    EXPECT_EQ(printed(true, false, none), printed(false, false, none)) << "the one empty row";
    const std::string filteredOut = printed(true, true, none);
    EXPECT_EQ(std::count(filteredOut.begin(), filteredOut.end(), '\n'), 1) << "a filter that kept nothing";
}

} // namespace

namespace {

TEST(ScanArguments, LinksNeedHostsAndJsonIsItsFormat)
{
    const ScanArguments links = parse({ "--links", "--json", "-v2c", "-c", "public", "a", "b" });
    ASSERT_EQ(links.action, ScanArguments::Action::Scan) << links.error;
    EXPECT_TRUE(links.links);
    EXPECT_EQ(links.format, OutputFormat::Json);
    EXPECT_EQ(links.hosts, (std::vector<std::string> { "a", "b" }));
    const ScanArguments alone = parse({ "--links" });
    EXPECT_EQ(alone.action, ScanArguments::Action::Error);
    EXPECT_NE(alone.error.find("HOST"), std::string::npos);
}

} // namespace
