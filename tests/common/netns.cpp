#include "tests/common/netns.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testns {

std::string enterPrivateNetworkNamespace()
{
    if (unshare(CLONE_NEWNET) != 0)
        return std::string("unshare(CLONE_NEWNET) failed (tests that read the kernel's tables run as root): ")
            + std::strerror(errno);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("socket: ") + std::strerror(errno);
    ifreq req {};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    std::string error;
    if (ioctl(fd, SIOCGIFFLAGS, &req) != 0) {
        error = std::string("SIOCGIFFLAGS: ") + std::strerror(errno);
    } else {
        req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP | IFF_RUNNING);
        if (ioctl(fd, SIOCSIFFLAGS, &req) != 0)
            error = std::string("SIOCSIFFLAGS: ") + std::strerror(errno);
    }
    close(fd);
    return error;
}

namespace {

    class FreshNamespacePerTest final : public ::testing::EmptyTestEventListener
    {
    public:
        void OnTestStart(const ::testing::TestInfo&) override
        {
            const std::string error = enterPrivateNetworkNamespace();
            if (!error.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                std::abort();
            }
        }
    };

} // namespace

void PrivateNamespaceEnvironment::SetUp()
{
    const std::string error = enterPrivateNetworkNamespace();
    ASSERT_EQ(error, "") << "cannot make a private network namespace";
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshNamespacePerTest);
}

} // namespace testns
