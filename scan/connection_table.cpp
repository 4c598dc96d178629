#include "scan/connection_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

ConnectionRow* ConnectionTable::append()
{
    if (m_capacity != kUnbounded && m_count >= m_capacity) {
        ++m_notStored;
        return nullptr;
    }
    ++m_count;
    if (static_cast<std::size_t>(m_count) == m_rows.size())
        m_rows.emplace_back();
    return &m_rows[static_cast<std::size_t>(m_count)];
}

void ConnectionTable::dropLast()
{
    if (m_count > 0)
        --m_count;
}

namespace {

// A new field of a row is moved here and exchanged in swap below: the size tells of one.
static_assert(sizeof(ConnectionRow) == 208 || sizeof(void*) != 8);

// Field by field, as swap below: the implicit move copied the fixed texts a byte at a time,
// which was most of a large reorder.
void moveRow(ConnectionRow& to, ConnectionRow& from)
{
    to.localHost = std::move(from.localHost);
    to.localPort = std::move(from.localPort);
    to.remoteHost = std::move(from.remoteHost);
    to.remotePort = std::move(from.remotePort);
    std::memcpy(to.protocol, from.protocol, sizeof to.protocol);
    to.state = std::move(from.state);
    to.localAddress = std::move(from.localAddress);
    to.remoteAddress = std::move(from.remoteAddress);
    to.localPortNumber = from.localPortNumber;
    to.remotePortNumber = from.remotePortNumber;
    to.pid = from.pid;
    to.processName = std::move(from.processName);
    to.commandLine = std::move(from.commandLine);
    to.dualStack = from.dualStack;
    to.trafficKnown = from.trafficKnown;
    to.bytesSent = from.bytesSent;
    to.bytesReceived = from.bytesReceived;
    to.sendRate = from.sendRate;
    to.receiveRate = from.receiveRate;
    to.rttMs = from.rttMs;
    to.retransmits = from.retransmits;
}

} // namespace

void ConnectionTable::reorder(const std::vector<int>& order)
{
    // Each cycle of the permutation is walked once, every row moved once: a row's texts move
    // as pointers, and a swap at every step moved each row three times.
    std::vector<bool> placed(order.size() + 1);
    for (int start = 1; start <= static_cast<int>(order.size()); ++start) {
        if (placed[static_cast<std::size_t>(start)])
            continue;
        ConnectionRow held = std::move(m_rows[static_cast<std::size_t>(start)]);
        for (int at = start;;) {
            placed[static_cast<std::size_t>(at)] = true;
            const int from = order[static_cast<std::size_t>(at - 1)];
            if (from == start) {
                moveRow(m_rows[static_cast<std::size_t>(at)], held);
                break;
            }
            moveRow(m_rows[static_cast<std::size_t>(at)], m_rows[static_cast<std::size_t>(from)]);
            at = from;
        }
    }
}

void ConnectionTable::swap(int i, int j)
{
    if (i == j)
        return;
    ConnectionRow& a = m_rows[i];
    ConnectionRow& b = m_rows[j];
    // Field by field; the protocol through one temporary text, only as far as the longer
    // text and its terminator, since nothing reads a field past its end.
    char temp[sizeof a.protocol];
    auto exchange = [&temp](char* x, char* y, std::size_t width) {
        const std::size_t used = std::max(strnlen(x, width - 1), strnlen(y, width - 1)) + 1;
        std::memcpy(temp, x, used);
        std::memcpy(x, y, used);
        std::memcpy(y, temp, used);
    };
    a.localHost.swap(b.localHost);
    a.localPort.swap(b.localPort);
    a.remoteHost.swap(b.remoteHost);
    a.remotePort.swap(b.remotePort);
    exchange(a.protocol, b.protocol, sizeof a.protocol);
    a.state.swap(b.state);
    a.localAddress.swap(b.localAddress);
    a.remoteAddress.swap(b.remoteAddress);
    std::swap(a.localPortNumber, b.localPortNumber);
    std::swap(a.remotePortNumber, b.remotePortNumber);
    std::swap(a.pid, b.pid);
    std::swap(a.dualStack, b.dualStack);
    std::swap(a.trafficKnown, b.trafficKnown);
    std::swap(a.bytesSent, b.bytesSent);
    std::swap(a.bytesReceived, b.bytesReceived);
    std::swap(a.sendRate, b.sendRate);
    std::swap(a.receiveRate, b.receiveRate);
    std::swap(a.rttMs, b.rttMs);
    std::swap(a.retransmits, b.retransmits);
    a.processName.swap(b.processName);
    a.commandLine.swap(b.commandLine);
}
