// Loopback connection churn for bench/soak.sh: keeps a ring of open connections and
// replaces the oldest one at a steady rate, so the monitor's tables keep changing
// without growing. Closing with a reset leaves no TIME_WAIT rows to pile up.
// Prints the number of connections made when it gets SIGTERM or SIGINT.
//
//   soak_churn [connections per second, default 20] [open at once, default 40]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>
#include <utility>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void closeWithReset(int fd)
{
    const linger reset { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    const int rate = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::size_t openAtOnce = argc > 2 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[2]))) : 40;
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::signal(SIGINT, [](int) { g_stop = 1; });

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 128) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("soak_churn: listener");
        return 1;
    }

    std::deque<std::pair<int, int>> open; // client, accepted
    unsigned long long made = 0;
    const auto step = std::chrono::microseconds(1000000 / rate);
    auto next = std::chrono::steady_clock::now();
    while (!g_stop) {
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("soak_churn: connect");
            return 1;
        }
        const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0) {
            std::perror("soak_churn: accept");
            return 1;
        }
        open.emplace_back(client, accepted);
        ++made;
        if (open.size() > openAtOnce) {
            closeWithReset(open.front().first);
            ::close(open.front().second);
            open.pop_front();
        }
        next += step;
        std::this_thread::sleep_until(next);
    }
    std::printf("%llu\n", made);
    return 0;
}
