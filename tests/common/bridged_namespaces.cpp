#include "tests/common/bridged_namespaces.h"

#include "tests/common/process.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace testns {

BridgedNamespaces::~BridgedNamespaces()
{
    for (const int fd : m_descriptors)
        close(fd);
    m_holders.clear();
}

std::string BridgedNamespaces::address(int computer) const
{
    return "10.26.0." + std::to_string(computer + 1);
}

std::string BridgedNamespaces::start(int count)
{
    std::vector<std::string> commands { "ip link add vt-bridge type bridge",
        "ip addr add 10.26.0.254/24 dev vt-bridge", "ip link set vt-bridge up" };
    for (int i = 0; i < count; ++i) {
        // The holder's own namespace is the computer's.
        m_holders.push_back(std::make_unique<testproc::SocketHolder>("vt-computer", [] {
            if (unshare(CLONE_NEWNET) != 0)
                throw 1;
        }));
        const pid_t pid = m_holders.back()->pid();
        if (pid <= 0)
            return "a namespace's holder did not start";
        const std::string path = "/proc/" + std::to_string(pid) + "/ns/net";
        m_descriptors.push_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (m_descriptors.back() < 0)
            return "cannot open " + path;
        const std::string veth = "vt-" + std::to_string(i);
        const std::string inside = "nsenter -t " + std::to_string(pid) + " -n ";
        for (const std::string& command :
            { "ip link add " + veth + " type veth peer name eth0 netns " + std::to_string(pid),
                "ip link set " + veth + " master vt-bridge", "ip link set " + veth + " up",
                inside + "ip addr add " + address(i) + "/24 dev eth0", inside + "ip link set eth0 up",
                inside + "ip link set lo up" })
            commands.push_back(command);
    }
    for (const std::string& command : commands) {
        const testproc::CommandRun run = testproc::runCommand(command);
        if (run.status != 0)
            return command + ": " + (run.err.empty() ? std::string("failed") : run.err.front());
    }
    return {};
}

} // namespace testns
