#include "tests/scan/fakes/scan_fixture.h"

#include "scan/run_scan.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

void ScanFixture::SetUp()
{
    char pattern[] = "/tmp/veltran-scan-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    folder = made;
    log.setActiveLogName(logPath());
    options.graphicView = false; // the grid's effects are the ones most tests read
}

void ScanFixture::TearDown()
{
    scanner.reset();
    std::filesystem::remove_all(folder);
}

void ScanFixture::startWith(const std::vector<TcpRow>& tcp, const std::vector<UdpRow>& udp)
{
    script.objects = mibObjects(tcp, udp);
    ASSERT_TRUE(loadScriptedAgent(agent, script));
    scanner = std::make_unique<Scanner>(agent, optionsSource, services, log, view);
}

void ScanFixture::scanOnce()
{
    ASSERT_EQ(scanner->startScan(), 0);
    ASSERT_TRUE(scanner->waitForIdle(30000));
}

void ScanFixture::runOnce()
{
    runScan(agent, options, resolver, log, view, table);
}

std::string ScanFixture::logText() const
{
    std::ifstream in(logPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
