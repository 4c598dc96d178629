// veltran-scan as a whole process against the real agent, inside a private network
// namespace where only this test's own sockets exist.

#include "tests/common/netns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

struct ScanRun
{
    int status = -1;
    std::vector<std::string> lines;
};

ScanRun runProgram(const std::string& program, const std::string& arguments)
{
    ScanRun run;
    const std::string command = program + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c == '\n') {
            run.lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ScanRun runScan(const std::string& arguments)
{
    return runProgram(VELTRAN_SCAN_PATH, arguments);
}

// A socket bound to 127.0.0.1 on a port the kernel picks; returns the port.
int boundSocket(int type, int& fd)
{
    fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

class VeltranScanEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        listenPort = boundSocket(SOCK_STREAM, listener);
        ASSERT_GT(listenPort, 0);
        ASSERT_EQ(listen(listener, 4), 0);
        udpPort = boundSocket(SOCK_DGRAM, udp);
        ASSERT_GT(udpPort, 0);
        clientPort = boundSocket(SOCK_STREAM, client);
        ASSERT_GT(clientPort, 0);
        sockaddr_in server {};
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        server.sin_port = htons(static_cast<std::uint16_t>(listenPort));
        ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
        accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(accepted, 0);
    }
    void TearDown() override
    {
        for (int fd : { accepted, client, udp, listener })
            if (fd >= 0)
                close(fd);
    }

    int listener = -1, udp = -1, client = -1, accepted = -1;
    int listenPort = 0, udpPort = 0, clientPort = 0;
};

const std::string kHeader = "No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState";

// The rows without their number, sorted, and the numbers in order.
std::vector<std::string> cellsAfterNumber(
    const std::vector<std::string>& rows, std::vector<std::string>& numbers)
{
    std::vector<std::string> cells;
    for (const std::string& row : rows) {
        const auto tab = row.find('\t');
        numbers.push_back(row.substr(0, tab));
        cells.push_back(tab == std::string::npos ? row : row.substr(tab + 1));
    }
    std::sort(cells.begin(), cells.end());
    return cells;
}

TEST_F(VeltranScanEndToEnd, ListsTheSocketsThisTestOpened)
{
    const ScanRun run = runScan("--no-host-names --no-port-names");
    ASSERT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), kHeader);

    const std::vector<std::string> rows(run.lines.begin() + 1, run.lines.end());
    std::vector<std::string> numbers;
    const std::string lo = "127.0.0.1";
    const std::string listen = std::to_string(listenPort);
    const std::string peer = std::to_string(clientPort);
    std::vector<std::string> expected {
        lo + "\t" + listen + "\tnone\tnone\tTCP\tListening",
        lo + "\t" + listen + "\t" + peer + "\t" + lo + "\tTCP\tEstablished",
        lo + "\t" + peer + "\t" + listen + "\t" + lo + "\tTCP\tEstablished",
        lo + "\t" + std::to_string(udpPort) + "\tnone\tnone\tUDP\tnone",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(cellsAfterNumber(rows, numbers), expected);
    EXPECT_EQ(numbers, (std::vector<std::string> { "1", "2", "3", "4" }));
    // Established rows come first.
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_NE(rows[0].find("\tEstablished"), std::string::npos);
    EXPECT_NE(rows[1].find("\tEstablished"), std::string::npos);
}

TEST_F(VeltranScanEndToEnd, FlagsChooseWhatIsListed)
{
    struct Case
    {
        const char* flags;
        std::size_t rows;
        const char* absent;
    };
    const Case cases[] {
        { "--no-host-names --no-port-names --no-listening", 3, "\tListening" },
        { "--no-host-names --no-port-names --no-udp", 3, "\tUDP\t" },
        { "--no-host-names --no-port-names --no-tcp", 1, "\tTCP\t" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const ScanRun run = runScan(c.flags);
        ASSERT_EQ(run.status, 0);
        ASSERT_EQ(run.lines.size(), c.rows + 1);
        for (const std::string& line : run.lines)
            EXPECT_EQ(line.find(c.absent), std::string::npos) << line;
    }

    // Nothing to list: the grid's one blank row.
    const ScanRun none = runScan("--no-tcp --no-udp");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.lines, (std::vector<std::string> { kHeader, "\t\t\t\t\t\t" }));
}

TEST_F(VeltranScanEndToEnd, HostNamesShowTheComputerForLoopback)
{
    // Loopback is never looked up: it is the local computer's name, so no query leaves the host.
    char name[256] {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    const ScanRun run = runScan("--no-port-names --no-udp --no-listening");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 3u);
    for (std::size_t i = 1; i < run.lines.size(); ++i) {
        const std::string& line = run.lines[i];
        EXPECT_EQ(line.find("127.0.0.1"), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("\t") + name + "\t"), std::string::npos) << line;
    }
}

TEST(VeltranScanCommandLine, HelpAndUnknownFlags)
{
    const ScanRun help = runScan("--help");
    EXPECT_EQ(help.status, 0);
    std::string text;
    for (const std::string& line : help.lines)
        text += line + "\n";
    for (const char* flag :
        { "--no-host-names", "--no-port-names", "--no-listening", "--no-tcp", "--no-udp" })
        EXPECT_NE(text.find(flag), std::string::npos) << flag;

    const ScanRun wrong = runScan("--no-tcp --frobnicate");
    EXPECT_EQ(wrong.status, 2);
    ASSERT_FALSE(wrong.lines.empty());
    EXPECT_NE(wrong.lines.front().find("--frobnicate"), std::string::npos);
}

// A folder of its own under /tmp for copies of the program and its modules, removed at the end.
struct TempFolder
{
    std::filesystem::path path = [] {
        char pattern[] = "/tmp/veltran-scan-XXXXXX";
        return std::filesystem::path(mkdtemp(pattern) ? pattern : "");
    }();
    ~TempFolder()
    {
        if (!path.empty())
            std::filesystem::remove_all(path);
    }
};

const std::filesystem::path kBuilt = std::filesystem::path(VELTRAN_SCAN_PATH).parent_path();

TEST(VeltranScanCommandLine, WithoutTheAgentModuleItSaysSoAndFails)
{
    const TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    std::filesystem::copy_file(VELTRAN_SCAN_PATH, folder.path / "veltran-scan");
    const ScanRun run = runProgram((folder.path / "veltran-scan").string(), "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines, std::vector<std::string> { "Could not load extension DLL !" });
}

TEST(VeltranScanCommandLine, ATruncatedAgentModuleFailsTheLoadWithoutASignal)
{
    // The program's own folder holds the first 20,000 bytes of the agent, as a broken copy would.
    const TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    std::filesystem::copy_file(VELTRAN_SCAN_PATH, folder.path / "veltran-scan");
    std::string agent(20000, '\0');
    std::ifstream(kBuilt / "libinetmib1.so", std::ios::binary)
        .read(agent.data(), static_cast<std::streamsize>(agent.size()));
    std::ofstream(folder.path / "libinetmib1.so", std::ios::binary) << agent;
    const ScanRun run = runProgram((folder.path / "veltran-scan").string(), "--no-host-names");
    EXPECT_EQ(run.status, 1); // through the shell, SIGBUS reads 135
    EXPECT_EQ(run.lines, std::vector<std::string> { "Could not load extension DLL !" });
}

TEST(VeltranScanCommandLine, AnAgentEarlierOnTheLibrarySearchPathDoesNotReplaceItsOwn)
{
    // A module of the same name that would refuse the load, first on LD_LIBRARY_PATH.
    const TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    std::filesystem::copy_file(FAKE_AGENT_DECOY_PATH, folder.path / "libinetmib1.so");
    const ScanRun run
        = runProgram("LD_LIBRARY_PATH=" + folder.path.string() + " " VELTRAN_SCAN_PATH, "--no-host-names");
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), kHeader);
}

} // namespace

TEST(VeltranScanProcess, LoadsNeitherQtNorNetSnmpToReadThisComputer)
{
    // What the dynamic loader maps, not what the build meant to link.
    const ScanRun run = runProgram("LD_TRACE_LOADED_OBJECTS=1", VELTRAN_SCAN_PATH);
    ASSERT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    for (const std::string& line : run.lines) {
        EXPECT_EQ(line.find("libQt6"), std::string::npos) << line;
        EXPECT_EQ(line.find("libnetsnmp"), std::string::npos) << line;
        EXPECT_EQ(line.find("libcrypto"), std::string::npos) << line;
    }

    // Without its remote module beside it, this computer still scans; a host is refused, saying why.
    const TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    std::filesystem::copy_file(VELTRAN_SCAN_PATH, folder.path / "veltran-scan");
    std::filesystem::copy_file(kBuilt / "libinetmib1.so", folder.path / "libinetmib1.so");
    const std::string program = (folder.path / "veltran-scan").string();
    const ScanRun local = runProgram(program, "--no-host-names --no-port-names");
    const ScanRun remote = runProgram(program, "-v2c -c public udp:127.0.0.1:1");
    EXPECT_EQ(local.status, 0);
    EXPECT_EQ(remote.status, 2);
    ASSERT_FALSE(remote.lines.empty());
    EXPECT_EQ(remote.lines.front(), "libveltran-remote.so cannot be loaded");
}
