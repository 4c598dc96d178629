// The agent module's answer to any request: fuzzed PDU types, binding counts, names and
// values, through its exported SnmpExtensionQuery. It runs in a private network namespace
// (when the fuzzer runs as root) over a few sockets of its own, so its tables hold fixed rows.

#include "fuzz/fuzz_bytes.h"
#include "platform/snmp.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

extern "C" BOOL SnmpExtensionInit(DWORD timeZeroReference, HANDLE* trapEvent, AsnObjectIdentifier* view);
extern "C" BOOL SnmpExtensionQuery(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex);

namespace {

bool privateNetwork()
{
    if (unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request {};
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        close(fd);
    return up;
}

// A listener, a connection to it (both ends), a UDP socket, and the same over IPv6;
// they stay open for the whole run.
void openSockets()
{
    for (const int family : { AF_INET, AF_INET6 }) {
        sockaddr_storage address {};
        socklen_t length;
        if (family == AF_INET) {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        } else {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        }
        auto* any = reinterpret_cast<sockaddr*>(&address);
        const int listener = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0 || bind(listener, any, length) != 0 || listen(listener, 4) != 0
            || getsockname(listener, any, &length) != 0)
            continue;
        const int client = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client >= 0 && connect(client, any, length) == 0)
            accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int udp = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (family == AF_INET)
            reinterpret_cast<sockaddr_in&>(address).sin_port = 0;
        else
            reinterpret_cast<sockaddr_in6&>(address).sin6_port = 0;
        if (udp >= 0)
            bind(udp, any, length);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!privateNetwork())
        std::fprintf(
            stderr, "agent_query_fuzzer: no private network namespace (not root?): the host's tables\n");
    openSockets();
    HANDLE trap = nullptr;
    AsnObjectIdentifier view {};
    if (!SnmpExtensionInit(0, &trap, &view))
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBytes bytes(data, size);
    static const BYTE kinds[] { SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_GETNEXT, SNMP_PDU_SET,
        SNMP_PDU_GETBULK };
    const unsigned kind = bytes.take();
    const BYTE requestType = kind < 0xF0 ? kinds[kind % 5] : static_cast<BYTE>(kind);
    std::vector<SnmpVarBind> list(bytes.take() % 5);
    std::vector<std::vector<UINT>> asked;
    for (SnmpVarBind& binding : list) {
        const unsigned form = bytes.take();
        std::vector<UINT> name;
        if (form & 0x80)
            name = { 1, 3, 6, 1, 2, 1 };
        for (unsigned i = form % 20; i > 0; --i)
            name.push_back(bytes.id(32));
        const AsnObjectIdentifier oid { static_cast<UINT>(name.size()), name.data() };
        SnmpUtilOidCpy(&binding.name, &oid);
        // The agent writes over a GetNext's value without freeing it: only a Set carries one.
        const BYTE type = static_cast<BYTE>(bytes.take());
        if (requestType != SNMP_PDU_SET) {
            binding.value.asnType = ASN_NULL;
        } else if (type == ASN_OCTETSTRING || type == ASN_IPADDRESS) {
            binding.value.asnType = type;
            AsnOctetString& text = binding.value.asnValue.string;
            text.length = 4;
            text.stream = static_cast<BYTE*>(SnmpUtilMemAlloc(4));
            text.dynamic = TRUE;
        } else if (type == ASN_OBJECTIDENTIFIER) {
            binding.value.asnType = type;
            SnmpUtilOidCpy(&binding.value.asnValue.object, &oid);
        } else {
            binding.value.asnType = type == ASN_COUNTER64 ? ASN_INTEGER : type;
            binding.value.asnValue.number = static_cast<LONG>(bytes.id(32));
        }
        asked.push_back(std::move(name));
    }
    RFC1157VarBindList bindings { list.data(), static_cast<UINT>(list.size()) };
    AsnInteger32 errorStatus = -1;
    AsnInteger32 errorIndex = -1;
    const BOOL ok = SnmpExtensionQuery(requestType, &bindings, &errorStatus, &errorIndex);
    if (ok && (errorIndex < 0 || errorIndex > static_cast<AsnInteger32>(list.size())))
        __builtin_trap();
    // A GetNext that succeeds moves every name forward.
    if (ok && requestType == SNMP_PDU_GETNEXT && errorStatus == SNMP_ERRORSTATUS_NOERROR) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const AsnObjectIdentifier& name = list[i].name;
            if (!std::lexicographical_compare(
                    asked[i].begin(), asked[i].end(), name.ids, name.ids + name.idLength))
                __builtin_trap();
        }
    }
    for (SnmpVarBind& binding : list)
        SnmpUtilVarBindFree(&binding);
    return 0;
}
