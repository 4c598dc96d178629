#include "platform/module_loader.h"
#include "platform/winsock.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

TEST(ModuleLoader, PlatformNamesMapToSharedObjects)
{
    const std::pair<const char*, const char*> cases[] = {
        { "inetmib1.dll", "libinetmib1.so" },
        { "INETMIB1.DLL", "libinetmib1.so" },
        { "fake.Dll", "libfake.so" },
        { "libz.so.1", "libz.so.1" },
        { ".dll", ".dll" },
        { "/opt/agents/x.dll", "/opt/agents/x.dll" }, // a path is taken as it is
        { "./inetmib1.dll", "./inetmib1.dll" },
    };
    for (const auto& [name, file] : cases)
        EXPECT_EQ(moduleFileName(name), file) << name;
}

TEST(ModuleLoader, FindsTheAgentBesideTheExecutable)
{
    // The test runs from the bin folder, outside the library search path.
    HMODULE module = LoadLibraryA("inetmib1.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "SnmpExtensionInit"), nullptr);
    EXPECT_NE(GetProcAddress(module, "SnmpExtensionQuery"), nullptr);
    // Only the two entry points are visible from outside.
    EXPECT_EQ(GetProcAddress(module, "SnmpUtilMemAlloc"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "SnmpExtensionTrap"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "SnmpExtensionInit"), nullptr);
    EXPECT_NE(FreeLibrary(module), 0);
}

TEST(ModuleLoader, LoadsByFullPathAndFailsCleanly)
{
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof(exe) - 1), 0);
    std::string folder(exe);
    folder.resize(folder.rfind('/'));
    HMODULE module = LoadLibraryA((folder + "/libinetmib1.so").c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "SnmpExtensionQuery"), nullptr);
    FreeLibrary(module);

    EXPECT_EQ(LoadLibraryA("no-such-agent.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA((folder + "/no-such-agent.so").c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    // Not a shared object at all.
    const std::string bogus = testing::TempDir() + "/bogus-agent.so";
    std::ofstream(bogus) << "not an ELF file";
    EXPECT_EQ(LoadLibraryA(bogus.c_str()), nullptr);
    std::remove(bogus.c_str());
}

TEST(ModuleLoader, AModuleCutShortFailsTheLoadWithoutASignal)
{
    // dlopen would map the missing segments and die of SIGBUS touching them.
    std::ifstream whole("libinetmib1.so", std::ios::binary);
    std::string agent((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    ASSERT_GT(agent.size(), 20000u);
    const std::string cut = testing::TempDir() + "/libinetmib1-cut.so";
    for (const std::size_t length : { 20000, 4096, 64 }) {
        std::ofstream(cut, std::ios::binary | std::ios::trunc) << agent.substr(0, length);
        EXPECT_EQ(LoadLibraryA(cut.c_str()), nullptr) << length;
    }
    std::remove(cut.c_str());
    EXPECT_EQ(LoadLibraryA(testing::TempDir().c_str()), nullptr); // a folder
}

TEST(Winsock, StartupAcceptsVersionOneOne)
{
    WSADATA data;
    EXPECT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    EXPECT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(0x0101, nullptr), WSAEFAULT);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(Winsock, TickCountIsTheTimeSinceBoot)
{
    double uptimeSeconds = 0;
    std::ifstream("/proc/uptime") >> uptimeSeconds;
    ASSERT_GT(uptimeSeconds, 0);
    const double ticks = GetTickCount();
    const double expected = static_cast<double>(static_cast<std::uint32_t>(uptimeSeconds * 1000.0));
    EXPECT_NEAR(ticks, expected, 2000.0);
}

} // namespace
