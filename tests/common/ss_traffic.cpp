#include "tests/common/ss_traffic.h"

#include "tests/common/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/socket.h>
#include <thread>

namespace sstraffic {

std::pair<std::string, std::string> ssBytes(int localPort, int remotePort)
{
    const testproc::CommandRun run = testproc::runCommand("ss -tinH state established src 127.0.0.1:"
        + std::to_string(localPort) + " dst 127.0.0.1:" + std::to_string(remotePort));
    std::string all;
    for (const std::string& line : run.out)
        all += line + " ";
    const auto field = [&all](const std::string& name) {
        const std::size_t at = all.find(" " + name + ":");
        if (at == std::string::npos) // ss leaves out a count that is 0
            return std::string(all.empty() ? "none" : "0");
        const std::size_t from = at + name.size() + 2;
        return all.substr(from, all.find_first_not_of("0123456789", from) - from);
    };
    return { field("bytes_acked"), field("bytes_received") };
}

bool sendAll(const loopback::Socket& socket, std::size_t bytes)
{
    const std::string chunk(4096, 'x');
    while (bytes > 0) {
        const ssize_t sent = send(socket.fd(), chunk.data(), std::min(bytes, chunk.size()), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receiveAll(const loopback::Socket& socket, std::size_t bytes)
{
    char buffer[4096];
    while (bytes > 0) {
        const ssize_t got = recv(socket.fd(), buffer, std::min(bytes, sizeof buffer), 0);
        if (got <= 0)
            return false;
        bytes -= static_cast<std::size_t>(got);
    }
    return true;
}

int readError(const loopback::Socket& socket)
{
    char byte;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (recv(socket.fd(), &byte, 1, MSG_DONTWAIT) < 0 && errno != EAGAIN)
            return errno;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

} // namespace sstraffic
