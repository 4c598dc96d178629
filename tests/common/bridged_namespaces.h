#pragma once
// Several computers for tests: network namespaces joined by a bridge in the caller's own
// (private) namespace, computer i at 10.26.0.(i+1)/24 on its eth0, the caller at 10.26.0.254.
// Each namespace is held by a child process, ended with this object.

#include "tests/common/socket_holder.h"

#include <memory>
#include <string>
#include <vector>

namespace testns {

class BridgedNamespaces
{
public:
    BridgedNamespaces() = default;
    ~BridgedNamespaces();
    BridgedNamespaces(const BridgedNamespaces&) = delete;
    BridgedNamespaces& operator=(const BridgedNamespaces&) = delete;

    // Makes count computers; "" on success, else what failed. Needs root and iproute2.
    std::string start(int count);
    std::string address(int computer) const;
    // An open descriptor of the computer's namespace, for setns.
    int descriptor(int computer) const { return m_descriptors.at(static_cast<std::size_t>(computer)); }

private:
    std::vector<std::unique_ptr<testproc::SocketHolder>> m_holders;
    std::vector<int> m_descriptors;
};

} // namespace testns
