#pragma once
// The live tables of the calling process's network namespace.

#include "platform/inetmib1/endpoint_source.h"
#include "platform/inetmib1/sock_diag_reader.h"

class KernelEndpointSource final : public EndpointSource
{
public:
    // False when the kernel's socket tables cannot be read at all.
    bool open() { return m_reader.open(); }

    bool readTcp(std::vector<TcpConnRow>& rows) override { return m_reader.readTcp(rows); }
    bool readUdp(std::vector<UdpRow>& rows) override { return m_reader.readUdp(rows); }
    std::optional<std::uint32_t> tcpInErrors() override;

private:
    SockDiagReader m_reader;
};
