#pragma once
// The nine user options, read at the moment of use. The options dialog is the one
// copy of the values; the scanner, the resolvers and the log read them through this.
// Every getter may be called from the scan worker thread.

#include <string>

class Settings
{
public:
    virtual ~Settings() = default;
    virtual std::string refreshSecondsText() const = 0; // the refresh field's text
    virtual bool showListening() const = 0;
    virtual bool showTcp() const = 0;
    virtual bool showUdp() const = 0;
    virtual bool lookupHostNames() const = 0;
    virtual bool lookupPortNames() const = 0;
    virtual bool cacheDns() const = 0;
    virtual bool logEnabled() const = 0;
    virtual std::string logFileName() const = 0; // the log name field's text
    // The window's filter: rows that do not contain the text (any case) stay out of
    // the table, as do loopback rows while hideLoopback is on. Empty and off keep all.
    virtual std::string filterText() const { return std::string(); }
    virtual bool hideLoopback() const { return false; }
    // IPv6 endpoints beside the IPv4 ones; the owning process of every row, and whether
    // the grid shows it in a column of its own.
    virtual bool showIpv6Endpoints() const { return true; }
    virtual bool showProcessColumn() const { return false; }
    virtual bool attributeProcesses() const { return true; }
};

// The defaults, for the command-line scanner and for tests.
class DefaultSettings : public Settings
{
public:
    std::string refreshSecondsText() const override { return "1"; }
    bool showListening() const override { return true; }
    bool showTcp() const override { return true; }
    bool showUdp() const override { return true; }
    bool lookupHostNames() const override { return true; }
    bool lookupPortNames() const override { return true; }
    bool cacheDns() const override { return true; }
    bool logEnabled() const override { return false; }
    std::string logFileName() const override { return "netlog.txt"; }
};
