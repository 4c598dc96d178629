#pragma once
// net-snmp's snmpd as a real remote agent for tests: started in the calling process's
// current network namespace (a private one in tests), on a loopback UDP port, with a
// generated configuration that has a v2c community and a v3 authPriv user. It listens on
// 127.0.0.1 and ::1.

#include <sys/types.h>

#include <string>

namespace testsnmp {

struct SnmpdConfig
{
    std::string community = "public";
    std::string writeCommunity; // a v2c community that may SET, from loopback; "": none
    std::string user = "veltran"; // v3 authPriv, SHA and AES
    std::string authPassphrase = "veltran-auth-pass";
    std::string privPassphrase = "veltran-priv-pass";
    int port = 0; // 0: a free loopback port is picked
    // The agent in a process namespace of its own: it sees no other process, so it has no
    // process ids to give, but its first table read does not scan every descriptor of
    // every process on the machine (seconds on a busy one).
    bool ownProcessesOnly = false;
    // The agent in another network namespace (a descriptor of it, open in the caller), and
    // an address of that namespace it answers at too, for anyone; -1 and "": the caller's.
    int networkNamespace = -1;
    std::string address;
};

class SnmpdProcess
{
public:
    SnmpdProcess() = default;
    ~SnmpdProcess();
    SnmpdProcess(const SnmpdProcess&) = delete;
    SnmpdProcess& operator=(const SnmpdProcess&) = delete;

    // Writes the configuration, starts snmpd and waits until it answers a v2c get.
    // Returns "" on success, else what went wrong (with the end of snmpd's log).
    std::string start(const SnmpdConfig& config = {});
    // Ends the agent (SIGTERM, then SIGKILL if it lingers) and removes its files.
    void stop();
    // SIGSTOP / SIGCONT: the agent keeps its port but stops answering, as a hung host does.
    void pause();
    void resume();
    // SIGKILL at once, as a crash: the port is closed afterwards.
    void kill();

    bool running() const { return m_pid > 0; }
    // The agent's process id, as this process sees it.
    pid_t pid() const { return m_agentPid; }
    int port() const { return m_port; }
    // net-snmp's peer name of the agent, "udp:127.0.0.1:PORT" (or at the configured address).
    std::string peer() const;
    // The same agent over IPv6, "udp6:[::1]:PORT" (the port is free on ::1 as well).
    std::string peer6() const;
    // Client options in snmpwalk syntax for the configured community and v3 user.
    std::string v2cOptions() const;
    std::string v3Options() const;
    const SnmpdConfig& config() const { return m_config; }
    // What snmpd wrote to its log so far.
    std::string log() const;

private:
    SnmpdConfig m_config;
    pid_t m_pid = -1; // the child to wait for: the agent, or the one that waits for it in its namespace
    pid_t m_agentPid = -1;
    int m_port = 0;
    std::string m_folder;
};

} // namespace testsnmp
