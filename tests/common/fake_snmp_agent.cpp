#include "tests/common/fake_snmp_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fakesnmp {

namespace {

    std::string lengthOf(std::size_t length)
    {
        if (length < 0x80)
            return std::string(1, static_cast<char>(length));
        std::string bytes;
        for (; length > 0; length >>= 8)
            bytes.insert(bytes.begin(), static_cast<char>(length & 0xff));
        return static_cast<char>(0x80 | bytes.size()) + bytes;
    }

    // A reader of the few structures a request holds; any fault makes it fail, never crash.
    class Reader
    {
    public:
        explicit Reader(std::string_view bytes)
            : m_bytes(bytes)
        {
        }
        bool ok() const { return m_ok; }
        bool atEnd() const { return m_bytes.empty(); }

        // The content of the next value, which must carry tag.
        std::string_view take(std::uint8_t tag)
        {
            if (m_bytes.size() < 2 || static_cast<std::uint8_t>(m_bytes[0]) != tag)
                return fail();
            std::size_t length = static_cast<std::uint8_t>(m_bytes[1]);
            std::size_t header = 2;
            if (length & 0x80) {
                const std::size_t count = length & 0x7f;
                if (count > 4 || m_bytes.size() < 2 + count)
                    return fail();
                length = 0;
                for (std::size_t i = 0; i < count; ++i)
                    length = length << 8 | static_cast<std::uint8_t>(m_bytes[2 + i]);
                header += count;
            }
            if (m_bytes.size() < header + length)
                return fail();
            const std::string_view content = m_bytes.substr(header, length);
            m_bytes.remove_prefix(header + length);
            return content;
        }
        std::int64_t integer()
        {
            const std::string_view content = take(0x02);
            std::int64_t value = !content.empty() && static_cast<signed char>(content[0]) < 0 ? -1 : 0;
            for (const char c : content)
                value = static_cast<std::int64_t>(
                    static_cast<std::uint64_t>(value) << 8 | static_cast<std::uint8_t>(c));
            return value;
        }
        Oid objectId()
        {
            const std::string_view content = take(0x06);
            Oid oid;
            std::uint32_t id = 0;
            for (const char c : content) {
                id = id << 7 | (static_cast<std::uint8_t>(c) & 0x7f);
                if (static_cast<std::uint8_t>(c) & 0x80)
                    continue;
                if (oid.empty()) {
                    oid.push_back(id < 80 ? id / 40 : 2);
                    oid.push_back(id < 80 ? id % 40 : id - 80);
                } else {
                    oid.push_back(id);
                }
                id = 0;
            }
            return oid;
        }

    private:
        std::string_view fail()
        {
            m_ok = false;
            m_bytes = {};
            return {};
        }
        std::string_view m_bytes;
        bool m_ok = true;
    };

    std::optional<Request> parseRequest(std::string_view packet)
    {
        Reader message(Reader(packet).take(0x30));
        message.integer(); // version
        message.take(0x04); // community
        if (!message.ok() || message.atEnd())
            return std::nullopt;
        Request request;
        for (const std::uint8_t type : { 0xa0, 0xa1, 0xa5 }) {
            Reader probe = message;
            const std::string_view content = probe.take(type);
            if (!probe.ok())
                continue;
            request.type = type;
            Reader pdu(content);
            request.id = pdu.integer();
            pdu.integer();
            request.maxRepetitions = pdu.integer();
            Reader bindings(pdu.take(0x30));
            while (bindings.ok() && !bindings.atEnd()) {
                Reader binding(bindings.take(0x30));
                request.names.push_back(binding.objectId());
            }
            if (pdu.ok() && bindings.ok())
                return request;
        }
        return std::nullopt;
    }

} // namespace

std::string tlv(std::uint8_t tag, const std::string& content)
{
    return static_cast<char>(tag) + lengthOf(content.size()) + content;
}

std::string integer(std::int64_t value, std::uint8_t tag)
{
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xff));
        value >>= 8;
    } while (value != 0 && value != -1);
    // The sign bit of the first byte must say the sign.
    if ((value == 0) != (static_cast<signed char>(bytes[0]) >= 0))
        bytes.insert(bytes.begin(), static_cast<char>(value == 0 ? 0 : 0xff));
    return tlv(tag, bytes);
}

std::string counter64(std::uint64_t value)
{
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xff));
        value >>= 8;
    } while (value != 0);
    if (static_cast<signed char>(bytes[0]) < 0)
        bytes.insert(bytes.begin(), '\0');
    return tlv(0x46, bytes);
}

std::string octets(const std::string& bytes, std::uint8_t tag)
{
    return tlv(tag, bytes);
}

std::string objectId(const Oid& oid)
{
    std::string bytes;
    auto put = [&](std::uint32_t id) {
        std::string sub(1, static_cast<char>(id & 0x7f));
        for (id >>= 7; id > 0; id >>= 7)
            sub.insert(sub.begin(), static_cast<char>(0x80 | (id & 0x7f)));
        bytes += sub;
    };
    put(oid.size() >= 2 ? oid[0] * 40 + oid[1] : 0);
    for (std::size_t i = 2; i < oid.size(); ++i)
        put(oid[i]);
    return tlv(0x06, bytes);
}

Next table(std::map<Oid, std::string> view)
{
    return [view = std::move(view)](const Oid& after) -> std::optional<std::pair<Oid, std::string>> {
        const auto found = view.upper_bound(after);
        if (found == view.end())
            return std::nullopt;
        return *found;
    };
}

std::optional<std::pair<Oid, std::string>> endlessTcpTable(const Oid& after)
{
    static const Oid sysName { 1, 3, 6, 1, 2, 1, 1, 5, 0 };
    static const Oid column { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
    if (after < sysName)
        return std::pair { sysName, octets("endless") };
    std::uint32_t n = 0;
    if (after.size() == column.size() + 10 && std::equal(column.begin(), column.end(), after.begin()))
        n = (after[11] << 16 | after[12] << 8 | after[13]) + 1;
    else if (after > column)
        return std::nullopt;
    Oid name = column;
    name.insert(name.end(), { 10, n >> 16 & 255, n >> 8 & 255, n & 255, 1, 0, 0, 0, 0, 0 });
    return std::pair { name, integer(2) };
}

std::string responseMessage(std::int64_t id, const std::vector<std::pair<Oid, std::string>>& bindings)
{
    std::string list;
    for (const auto& [name, value] : bindings)
        list += tlv(0x30, objectId(name) + value);
    const std::string pdu = integer(id) + integer(0) + integer(0) + tlv(0x30, list);
    return tlv(0x30, integer(1) + octets("public") + tlv(0xa2, pdu));
}

std::string response(const Request& request, const Next& next)
{
    std::vector<std::pair<Oid, std::string>> bindings;
    const std::string endOfView = tlv(0x82, {});
    for (const Oid& name : request.names) {
        if (request.type == 0xa0) {
            // The name just before the one asked: its next is the name itself, if served.
            Oid before = name;
            if (!before.empty() && before.back() == 0) {
                before.pop_back();
            } else if (!before.empty()) {
                --before.back();
                before.push_back(0xffffffff);
            }
            const auto found = next(before);
            bindings.emplace_back(name, found && found->first == name ? found->second : tlv(0x81, {}));
            continue;
        }
        const std::int64_t count
            = request.type == 0xa5 ? std::max<std::int64_t>(request.maxRepetitions, 1) : 1;
        Oid after = name;
        for (std::int64_t i = 0; i < count; ++i) {
            const auto found = next(after);
            if (!found) {
                bindings.emplace_back(after, endOfView);
                break;
            }
            bindings.push_back(*found);
            after = found->first;
        }
    }
    return responseMessage(request.id, bindings);
}

namespace {

    int loopbackSocket(int& port)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return -1;
        port = ntohs(address.sin_port);
        return fd;
    }

} // namespace

Agent::Agent(Respond respond)
    : m_respond(std::move(respond))
{
    int otherPort = 0;
    m_socket = loopbackSocket(m_port);
    m_otherSocket = loopbackSocket(otherPort);
    m_thread = std::thread([this] { serve(); });
}

Agent::Agent(const Next& next)
    : Agent([next](const Request& request) { return response(request, next); })
{
}

Agent::~Agent()
{
    m_stop = true;
    m_thread.join();
    ::close(m_socket);
    ::close(m_otherSocket);
}

std::string Agent::peer() const
{
    return "udp:127.0.0.1:" + std::to_string(m_port);
}

void Agent::serve()
{
    std::string packet(65536, '\0');
    while (!m_stop) {
        pollfd ready { m_socket, POLLIN, 0 };
        if (::poll(&ready, 1, 20) <= 0)
            continue;
        sockaddr_storage from {};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(
            m_socket, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0)
            continue;
        const auto request = parseRequest(std::string_view(packet.data(), static_cast<std::size_t>(got)));
        if (!request)
            continue;
        ++m_requests;
        const std::string answer = m_respond(*request);
        if (!answer.empty())
            ::sendto(m_otherPort ? m_otherSocket : m_socket, answer.data(), answer.size(), 0,
                reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

} // namespace fakesnmp
