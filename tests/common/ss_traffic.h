#pragma once
// What `ss -ti` says a loopback TCP connection has moved, and transfers of known size.

#include "tests/common/loopback_sockets.h"

#include <cstddef>
#include <string>
#include <utility>

namespace sstraffic {

// bytes_acked and bytes_received of the established connection 127.0.0.1:local to
// 127.0.0.1:remote as `ss -tiH` prints them; "none" for both without such a connection.
std::pair<std::string, std::string> ssBytes(int localPort, int remotePort);

// Sends bytes on a blocking socket; false when a send fails.
bool sendAll(const loopback::Socket& socket, std::size_t bytes);
// Reads exactly bytes; false when the connection ends or fails first.
bool receiveAll(const loopback::Socket& socket, std::size_t bytes);
// What the socket's next read says within a second: ECONNRESET after a reset, 0 while nothing came.
int readError(const loopback::Socket& socket);

} // namespace sstraffic
