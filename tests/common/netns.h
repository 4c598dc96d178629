#pragma once
// Private network namespaces for tests that open real sockets and read the kernel's
// tables: only the test's own sockets exist there, so the whole table is predictable.

#include <gtest/gtest.h>

#include <string>

namespace testns {

// Moves the calling thread, and every thread or process it starts afterwards, into
// a new, empty network namespace with the loopback interface up. Needs root;
// returns an error text on failure, empty on success.
std::string enterPrivateNetworkNamespace();

// Enters the namespace before the first test of the executable, and fails the run
// when it cannot; listing the tests needs no privileges.
class PrivateNamespaceEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override;
};

} // namespace testns
