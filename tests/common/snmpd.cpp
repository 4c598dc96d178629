#include "tests/common/snmpd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsnmp {

namespace {

    std::string systemError(const std::string& what)
    {
        return what + ": " + std::strerror(errno);
    }

    // A loopback UDP port nobody holds right now; snmpd binds it a moment later.
    int freeUdpPort()
    {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = -1;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0
            && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        close(fd);
        return port;
    }

    void appendLength(std::string& out, std::size_t length)
    {
        if (length < 0x80) {
            out += static_cast<char>(length);
        } else {
            out += static_cast<char>(0x82);
            out += static_cast<char>(length >> 8);
            out += static_cast<char>(length & 0xff);
        }
    }

    std::string tlv(unsigned char tag, const std::string& content)
    {
        std::string out(1, static_cast<char>(tag));
        appendLength(out, content.size());
        return out + content;
    }

    // A v2c get of sysUpTime.0, written out by hand so the fixture needs no SNMP library.
    std::string probePacket(const std::string& community)
    {
        const std::string integerZero = tlv(0x02, std::string(1, '\0'));
        const std::string oid = tlv(0x06, std::string("\x2b\x06\x01\x02\x01\x01\x03\x00", 8));
        const std::string binding = tlv(0x30, oid + tlv(0x05, {}));
        const std::string pdu = tlv(0xa0, tlv(0x02, "\x01") + integerZero + integerZero + tlv(0x30, binding));
        return tlv(0x30, tlv(0x02, "\x01") + tlv(0x04, community) + pdu);
    }

    // True once the agent on port answers the probe (any reply will do).
    bool answers(const std::string& host, int port, const std::string& community)
    {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_in address {};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const std::string packet = probePacket(community);
        bool answered = false;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && send(fd, packet.data(), packet.size(), 0) == static_cast<ssize_t>(packet.size())) {
            pollfd waiting { fd, POLLIN, 0 };
            char reply[1500];
            answered = poll(&waiting, 1, 100) == 1 && recv(fd, reply, sizeof reply, 0) > 0;
        }
        close(fd);
        return answered;
    }

    std::string quoted(const std::string& text)
    {
        return "\"" + text + "\"";
    }

} // namespace

SnmpdProcess::~SnmpdProcess()
{
    stop();
}

std::string SnmpdProcess::start(const SnmpdConfig& config)
{
    stop();
    m_config = config;
    m_port = config.port > 0 ? config.port : freeUdpPort();
    if (m_port <= 0)
        return systemError("no free UDP port");
    char folderTemplate[] = "/tmp/veltran-snmpd-XXXXXX";
    if (!mkdtemp(folderTemplate))
        return systemError("mkdtemp");
    m_folder = folderTemplate;
    const std::string configFile = m_folder + "/snmpd.conf";
    {
        std::ofstream out(configFile);
        out << "agentAddress udp:127.0.0.1:" << m_port << ",udp6:[::1]:" << m_port;
        if (!config.address.empty())
            out << ",udp:" << config.address << ":" << m_port << "\n"
                << "rocommunity " << config.community << " default";
        out << "\n"
            << "rocommunity " << config.community << " 127.0.0.1\n"
            << "rocommunity6 " << config.community << " ::1\n"
            << "createUser " << config.user << " SHA " << quoted(config.authPassphrase) << " AES "
            << quoted(config.privPassphrase) << "\n"
            << "rouser " << config.user << " priv\n"
            << "sysName veltran-agent-" << m_port << "\n";
        if (!config.writeCommunity.empty())
            out << "rwcommunity " << config.writeCommunity << " 127.0.0.1\n";
        if (!out)
            return "cannot write " + configFile;
    }
    const std::string logFile = m_folder + "/snmpd.log";
    const std::string persistentFolder = m_folder + "/persist";
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0)
        return systemError("pipe");
    m_pid = fork();
    if (m_pid < 0) {
        close(channel[0]);
        close(channel[1]);
        return systemError("fork");
    }
    if (m_pid == 0) {
        // A test that aborts (a sanitizer's report, a crash) runs no destructor: the agent
        // goes with it all the same.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        if (config.networkNamespace >= 0 && setns(config.networkNamespace, CLONE_NEWNET) != 0)
            _exit(126);
        pid_t agent = getpid();
        if (config.ownProcessesOnly) {
            if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0)
                _exit(126);
            agent = fork();
            if (agent < 0)
                _exit(126);
            if (agent > 0) {
                // Stays as the agent's parent, so that the test can wait for this process.
                if (write(channel[1], &agent, sizeof agent) != sizeof agent)
                    _exit(126);
                int status = 0;
                while (waitpid(agent, &status, 0) < 0 && errno == EINTR) { }
                _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            }
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            // The first process of the new namespace: a /proc of its own shows only it.
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
                _exit(126);
        } else if (write(channel[1], &agent, sizeof agent) != sizeof agent) {
            _exit(126);
        }
        setenv("SNMP_PERSISTENT_DIR", persistentFolder.c_str(), 1);
        setenv("MIBS", "", 1);
        // -C: no system configuration; -I -smux: no SMUX listener on TCP port 199, so the
        // agent adds nothing but its own UDP port to the tables the tests read.
        execlp("snmpd", "snmpd", "-f", "-Lo", "-C", "-c", configFile.c_str(), "-I", "-smux", nullptr);
        _exit(127);
    }
    close(channel[1]);
    m_agentPid = -1;
    const bool told = read(channel[0], &m_agentPid, sizeof m_agentPid) == sizeof m_agentPid;
    close(channel[0]);
    if (!told) {
        stop();
        return "snmpd could not be started in a namespace of its own";
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_agentPid = -1;
            const std::string text = "snmpd exited at start-up: " + log();
            stop();
            return text;
        }
        if (answers(config.address.empty() ? "127.0.0.1" : config.address, m_port, config.community))
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string text = "snmpd did not answer within 10 s: " + log();
    stop();
    return text;
}

void SnmpdProcess::stop()
{
    if (m_pid > 0) {
        ::kill(m_agentPid, SIGCONT); // a paused agent cannot act on SIGTERM
        ::kill(m_agentPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_agentPid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        m_agentPid = -1;
    }
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
        m_folder.clear();
    }
}

void SnmpdProcess::pause()
{
    if (m_pid > 0)
        ::kill(m_agentPid, SIGSTOP);
}

void SnmpdProcess::resume()
{
    if (m_pid > 0)
        ::kill(m_agentPid, SIGCONT);
}

void SnmpdProcess::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_agentPid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    m_agentPid = -1;
}

std::string SnmpdProcess::peer() const
{
    return "udp:" + (m_config.address.empty() ? std::string("127.0.0.1") : m_config.address) + ":"
        + std::to_string(m_port);
}

std::string SnmpdProcess::peer6() const
{
    return "udp6:[::1]:" + std::to_string(m_port);
}

std::string SnmpdProcess::v2cOptions() const
{
    return "-v2c -c " + m_config.community;
}

std::string SnmpdProcess::v3Options() const
{
    return "-v3 -l authPriv -u " + m_config.user + " -a SHA -A " + m_config.authPassphrase + " -x AES -X "
        + m_config.privPassphrase;
}

std::string SnmpdProcess::log() const
{
    if (m_folder.empty())
        return {};
    std::ifstream in(m_folder + "/snmpd.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace testsnmp
