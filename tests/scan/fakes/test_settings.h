#pragma once
// Options a test can switch while a scan runs, as the dialog's boxes can be.

#include "scan/settings.h"

#include <atomic>
#include <mutex>

class TestSettings final : public Settings
{
public:
    std::string refreshSecondsText() const override { return "1"; }
    bool showListening() const override { return listening; }
    bool showTcp() const override { return tcp; }
    bool showUdp() const override { return udp; }
    bool lookupHostNames() const override { return hostNames; }
    bool lookupPortNames() const override { return portNames; }
    bool cacheDns() const override { return cache; }
    bool logEnabled() const override { return logging; }
    std::string logFileName() const override { return "netlog.txt"; }
    std::string filterText() const override
    {
        std::lock_guard lock(m_filterMutex);
        return m_filter;
    }
    bool hideLoopback() const override { return loopbackHidden; }
    bool showIpv6Endpoints() const override { return ipv6; }
    void setFilter(std::string text)
    {
        std::lock_guard lock(m_filterMutex);
        m_filter = std::move(text);
    }

    std::atomic<bool> listening { true };
    std::atomic<bool> tcp { true };
    std::atomic<bool> udp { true };
    std::atomic<bool> hostNames { true };
    std::atomic<bool> portNames { true };
    std::atomic<bool> cache { true };
    std::atomic<bool> logging { false };
    std::atomic<bool> loopbackHidden { false };
    std::atomic<bool> ipv6 { true };

private:
    mutable std::mutex m_filterMutex;
    std::string m_filter;
};
