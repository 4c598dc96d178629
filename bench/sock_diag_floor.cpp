// The floors veltran-scan is measured against: the least a program can do to read this
// namespace's TCP and UDP sockets of both families (one sock_diag dump per protocol and
// family, nothing kept), and with --owners also one pass over every /proc/*/fd link, as
// any search for the sockets' processes must make. Prints the counts.

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long dump(int fd, int family, int protocol)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message {};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = static_cast<unsigned char>(family);
    message.request.sdiag_protocol = static_cast<unsigned char>(protocol);
    message.request.idiag_states = ~0u;
    if (send(fd, &message, sizeof message, 0) != sizeof message)
        return -1;
    static char buffer[64 * 1024];
    long sockets = 0;
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return -1;
        int left = static_cast<int>(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE)
                return sockets;
            if (header->nlmsg_type == NLMSG_ERROR)
                return -1;
            ++sockets;
        }
    }
}

long socketLinks()
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return -1;
    long links = 0;
    char path[64], target[64];
    while (const dirent* process = readdir(proc)) {
        if (process->d_name[0] < '0' || process->d_name[0] > '9')
            continue;
        std::snprintf(path, sizeof path, "/proc/%s/fd", process->d_name);
        const int fds = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* directory = fds >= 0 ? fdopendir(fds) : nullptr;
        if (!directory)
            continue;
        while (const dirent* entry = readdir(directory)) {
            const ssize_t length = readlinkat(fds, entry->d_name, target, sizeof target);
            links += length > 7 && std::memcmp(target, "socket:", 7) == 0;
        }
        closedir(directory);
    }
    closedir(proc);
    return links;
}

} // namespace

int main(int argc, char** argv)
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return 1;
    long sockets = 0;
    for (const int protocol : { IPPROTO_TCP, IPPROTO_UDP }) {
        for (const int family : { AF_INET, AF_INET6 }) {
            const long got = dump(fd, family, protocol);
            if (got < 0)
                return 1;
            sockets += got;
        }
    }
    std::printf("%ld sockets\n", sockets);
    if (argc > 1 && std::strcmp(argv[1], "--owners") == 0)
        std::printf("%ld socket links\n", socketLinks());
    return 0;
}
