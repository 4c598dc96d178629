// The window tests scan the real kernel tables through the real agent module, so
// they run in a private network namespace where only their own sockets exist.
#include "tests/common/netns.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests must work without privileges; running them must not skip.
    if (!::testing::GTEST_FLAG(list_tests)) {
        const std::string error = testns::enterPrivateNetworkNamespace();
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
