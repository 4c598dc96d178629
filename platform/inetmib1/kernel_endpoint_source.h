#pragma once
// The live tables of the calling process's network namespace.

#include "platform/inetmib1/endpoint_source.h"
#include "platform/inetmib1/sock_diag_reader.h"
#include "platform/inetmib1/socket_owners.h"

class KernelEndpointSource final : public EndpointSource
{
public:
    // False when the kernel's socket tables cannot be read at all.
    bool open() { return m_reader.open(); }

    bool readTcp(std::vector<TcpConnRow>& rows) override { return m_reader.readTcp(rows); }
    bool readUdp(std::vector<UdpRow>& rows) override { return m_reader.readUdp(rows); }
    std::optional<std::uint32_t> tcpInErrors() override;

    bool readTcpConnections(std::vector<TcpConnectionRow>& rows) override;
    bool readTcpListeners(std::vector<TcpListenerRow>& rows) override;
    bool readUdpEndpoints(std::vector<UdpEndpointRow>& rows) override;
    bool readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows) override;
    std::optional<TcpSegments> tcpSegments() override;
    void findOwners(std::span<const SocketRef> sockets, std::span<std::uint32_t> owners) override;
    std::optional<UdpDatagrams> udpDatagrams() override;
    bool readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows) override;

private:
    // One kernel read of a protocol's sockets in the given states (a mask of 1 << state).
    bool readSockets(int protocol, std::uint32_t states = ~0u);

    SockDiagReader m_reader;
    SocketOwners m_owners;
    std::vector<KernelSocket> m_sockets;
};
