#pragma once
// One scan, or a whole scanner, against the scripted agent, scripted names and a
// recording view, with its log in a scratch folder.

#include "log/connection_log.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/scanner.h"
#include "tests/scan/fakes/fake_agent_tables.h"
#include "tests/scan/fakes/recording_scan_view.h"
#include "tests/common/scripted_name_services.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

class ScanFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads the agent with the rows and makes the scanner.
    void startWith(const std::vector<TcpRow>& tcp, const std::vector<UdpRow>& udp);
    // One scan on the worker thread, started and awaited.
    void scanOnce();
    // One scan on this thread, through the same resolver and table every time.
    void runOnce();
    std::string logPath() const { return (folder / "netlog.txt").string(); }
    std::string logText() const;

    std::filesystem::path folder;
    FakeAgentScript script;
    MibAgent agent;
    FixedOptions optionsSource; // what the scanner's scans take a copy of when they start
    Options& options = optionsSource.value;
    ScriptedNameServices services;
    ConnectionLog log { [] {
        std::tm t {};
        t.tm_hour = 9;
        t.tm_min = 5;
        t.tm_sec = 7;
        return t;
    } };
    RecordingScanView view;
    NameResolver resolver { services };
    ConnectionTable table;
    std::unique_ptr<Scanner> scanner;
};
