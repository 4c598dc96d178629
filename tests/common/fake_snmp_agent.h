#pragma once
// An SNMP v2c agent that answers in hand-made BER on a loopback UDP port, from a thread
// of the test: it serves whatever a test makes of it, endless tables, values of the wrong
// type or range, replies cut short, so the client can be tried as a hostile agent would.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fakesnmp {

using Oid = std::vector<std::uint32_t>;

// BER of one value or structure.
std::string tlv(std::uint8_t tag, const std::string& content);
std::string integer(std::int64_t value, std::uint8_t tag = 0x02); // also Counter32, Gauge32...
std::string counter64(std::uint64_t value);
std::string octets(const std::string& bytes, std::uint8_t tag = 0x04); // also IpAddress (0x40)
std::string objectId(const Oid& oid);

// What the client asked: the PDU's type, id, GetBulk's repetitions, and the names.
struct Request
{
    std::uint8_t type = 0;
    std::int64_t id = 0;
    std::int64_t maxRepetitions = 0;
    std::vector<Oid> names;
};

// The name after `after` in the agent's view and its value as BER; nullopt past the end.
using Next = std::function<std::optional<std::pair<Oid, std::string>>(const Oid& after)>;
// A fixed view: names in order, values as BER.
Next table(std::map<Oid, std::string> view);

// A view of sysName.0 and a tcpConnTable whose first column never ends: a new row after
// every name asked, as an agent that means to fill the client's memory.
std::optional<std::pair<Oid, std::string>> endlessTcpTable(const Oid& after);

// The ordinary response to a request over a view: GetNext, GetBulk and Get.
std::string response(const Request& request, const Next& next);
// A Response PDU with these varbinds (name, BER value) in a v2c message.
std::string responseMessage(std::int64_t id, const std::vector<std::pair<Oid, std::string>>& bindings);

class Agent
{
public:
    // Answers each request with what respond gives; "" answers nothing.
    using Respond = std::function<std::string(const Request&)>;

    explicit Agent(Respond respond);
    // The ordinary agent over a view.
    explicit Agent(const Next& next);
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    // "udp:127.0.0.1:PORT"
    std::string peer() const;
    // Answers from another port than the one asked, as a spoofer or a multi-homed agent would.
    void answerFromOtherPort(bool on) { m_otherPort = on; }
    int requests() const { return m_requests; }

private:
    void serve();

    Respond m_respond;
    int m_socket = -1;
    int m_otherSocket = -1;
    int m_port = 0;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_otherPort { false };
    std::atomic<int> m_requests { 0 };
    std::thread m_thread;
};

} // namespace fakesnmp
