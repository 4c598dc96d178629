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

// Gives every test of the executable a fresh namespace of its own, whether CTest
// runs the tests one per process or a developer runs them all in one: sockets and
// TIME_WAIT entries of one test never show in the next. Listing the tests needs no
// privileges; a namespace that cannot be made fails the run.
class PrivateNamespaceEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override;
};

} // namespace testns
