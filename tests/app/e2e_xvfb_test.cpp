// End to end: the real `veltran` on a real X server (Xvfb), in a private network
// namespace with a few sockets of the test's own; its screen is read back from
// screenshots, first the map, then the grid after the mode button was pressed, then
// the grid narrowed by a filter typed into the toolbar. A busy machine: the capacity
// box, a filter term, a selection across refreshes and a stalled agent.
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/snmpd.h"
#include "tests/common/test_sockets.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

int run(const std::string& command)
{
    return std::system(command.c_str());
}

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Screenshots are left beside the test executable, to look at when a check fails.
QImage screenshot(const std::string& display, const std::string& name)
{
    const std::string file = testproc::executableFolder() + "/e2e-" + name + ".png";
    run("DISPLAY=" + display + " timeout 10 import -window root " + file + " 2>/dev/null");
    return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
}

int countPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    }
    return n;
}

// Runs of rows in which a column has a pixel of the colour: one per drawn cell band.
int bandsInColumn(const QImage& image, int x, QRgb colour)
{
    int bands = 0;
    bool inside = false;
    for (int y = 0; y < image.height(); ++y) {
        const bool hit = (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        if (hit && !inside)
            ++bands;
        inside = hit;
    }
    return bands;
}

// The leftmost column whose pixels hold the colour in the most rows.
int columnWithMost(const QImage& image, QRgb colour)
{
    int best = -1;
    int bestCount = 0;
    for (int x = 0; x < image.width(); ++x) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        if (n > bestCount) {
            bestCount = n;
            best = x;
        }
    }
    return best;
}

// The program in a folder of its own, so no options.dat of a developer's build is read,
// with the given veltran.ini (none when empty), on the given X display.
class ProgramRun
{
public:
    ProgramRun(const std::string& display, const QByteArray& settings,
        const std::vector<std::pair<std::string, std::string>>& environment = {})
    {
        const QString bin = QString::fromStdString(testproc::executableFolder());
        for (const char* file : { "veltran", "libinetmib1.so", "libveltran-remote.so", "help.htm" })
            QFile::copy(bin + QLatin1Char('/') + QString::fromLatin1(file),
                m_dir.filePath(QString::fromLatin1(file)));
        chmod(m_dir.filePath(QStringLiteral("veltran")).toLocal8Bit().constData(), 0755);
        QFile ini(m_dir.filePath(QStringLiteral("veltran.ini")));
        if (!settings.isEmpty() && ini.open(QIODevice::WriteOnly))
            ini.write(settings);
        ini.close();
        std::vector<std::pair<std::string, std::string>> variables { { "DISPLAY", display },
            { "QT_QPA_PLATFORM", "xcb" } };
        variables.insert(variables.end(), environment.begin(), environment.end());
        m_pid = testproc::spawn({ m_dir.filePath(QStringLiteral("veltran")).toStdString() }, variables);
    }
    ~ProgramRun()
    {
        // Nothing of it is kept: killed at once, whatever it is doing.
        if (m_pid > 0)
            kill(m_pid, SIGKILL);
        const testproc::ProcessGuard guard(m_pid);
    }
    bool alive() const
    {
        int status = 0;
        return m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == 0;
    }

private:
    QTemporaryDir m_dir;
    pid_t m_pid = -1;
};

// Tries a check every 250 ms for at most `seconds`.
template <typename Check> bool waitUntilTrue(Check check, int seconds = 20)
{
    for (int attempt = 0; attempt < seconds * 4; ++attempt) {
        if (check())
            return true;
        pause(250);
    }
    return false;
}

// Takes screenshots until one satisfies the check, for at most 20 s; the last one.
template <typename Check> QImage screenUntil(const std::string& display, const std::string& name, Check check)
{
    QImage image;
    waitUntilTrue([&] {
        image = screenshot(display, name);
        return !image.isNull() && check(image);
    });
    return image;
}

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kSilver = qRgb(192, 192, 192);
constexpr QRgb kSelected = qRgb(0, 128, 255);

// The grid's header row: its top edge and left end, from the first row of silver.
QPoint gridOrigin(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        int left = -1;
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            const bool silver = (image.pixel(x, y) & 0xFFFFFF) == (kSilver & 0xFFFFFF);
            if (silver && left < 0)
                left = x;
            run += silver ? 1 : 0;
        }
        if (run > 400)
            return QPoint(left, y);
    }
    return QPoint(-1, -1);
}

// A fresh X server for each test, and xdotool on it.
class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_xvfb = testproc::startXvfb();
        ASSERT_GT(m_xvfb.pid, 0) << "Xvfb did not start";
        m_xvfbGuard = std::make_unique<testproc::ProcessGuard>(m_xvfb.pid);
    }
    // Bounded: xdotool waits for ever on a window that never takes the focus.
    int x(const std::string& arguments)
    {
        return run("DISPLAY=" + display + " timeout 10 xdotool " + arguments);
    }

    testproc::XServer m_xvfb;
    std::unique_ptr<testproc::ProcessGuard> m_xvfbGuard;
    const std::string& display = m_xvfb.display;
};

TEST_F(EndToEnd, TheMonitorShowsTheSocketsOfThisNamespaceAsMapAndGrid)
{
    TestSockets sockets;
    const std::uint16_t port = sockets.listen();
    sockets.connectTo(port);
    sockets.connectTo(port);
    sockets.udp(1);

    ProgramRun program(display, {});
    // The first scan shows the map: wait for its grey lines.
    const QImage map = screenUntil(
        display, "map", [](const QImage& image) { return countPixels(image, qRgb(136, 136, 136)) > 300; });
    ASSERT_TRUE(program.alive()) << "veltran ended early";

    // The map: grey lines, yellow protocol texts and remote host names.
    ASSERT_FALSE(map.isNull()) << "no screenshot";
    EXPECT_GT(countPixels(map, qRgb(136, 136, 136)), 300) << "no connection lines";
    EXPECT_GT(countPixels(map, qRgb(255, 255, 0)), 50) << "no yellow texts";

    // Press "Graphic/Text mode": its picture holds the only pure red on the map screen.
    QPoint modeButton(-1, -1);
    for (int y = 0; y < map.height() && modeButton.x() < 0; ++y)
        for (int x = 0; x < map.width() && modeButton.x() < 0; ++x)
            if ((map.pixel(x, y) & 0xFFFFFF) == 0xFF0000)
                modeButton = QPoint(x, y);
    ASSERT_GE(modeButton.x(), 0) << "mode button not found";
    EXPECT_EQ(
        x("mousemove " + std::to_string(modeButton.x()) + " " + std::to_string(modeButton.y()) + " click 1"),
        0);

    // The next scan shows the grid.
    const QImage grid = screenUntil(
        display, "grid", [](const QImage& image) { return countPixels(image, qRgb(255, 255, 255)) > 20000; });
    ASSERT_FALSE(grid.isNull());
    // The header row in silver and white cells; "Established" cells in red, one band
    // per established row: both ends of two connections.
    EXPECT_GT(countPixels(grid, kSilver), 2000) << "no header row";
    EXPECT_GT(countPixels(grid, qRgb(255, 255, 255)), 20000) << "no white cells";
    const int stateColumn = columnWithMost(grid, kRed);
    ASSERT_GE(stateColumn, 0) << "no Established cells";
    EXPECT_EQ(bandsInColumn(grid, stateColumn, kRed), 4);

    // A filter typed into the toolbar's field narrows the grid at once: "udp" keeps the
    // UDP socket alone, so no Established cell is left; Escape brings them back.
    EXPECT_EQ(x("key ctrl+f"), 0);
    EXPECT_EQ(x("type --delay 50 udp"), 0);
    const QImage filtered = screenUntil(display, "filtered",
        [&](const QImage& image) { return bandsInColumn(image, stateColumn, kRed) == 0; });
    ASSERT_FALSE(filtered.isNull());
    EXPECT_EQ(bandsInColumn(filtered, stateColumn, kRed), 0) << "the filter left Established rows";
    EXPECT_GT(countPixels(filtered, kSilver), 2000) << "no header row";

    EXPECT_EQ(x("key Escape"), 0);
    const QImage cleared = screenUntil(display, "cleared",
        [&](const QImage& image) { return bandsInColumn(image, stateColumn, kRed) == 4; });
    EXPECT_EQ(bandsInColumn(cleared, stateColumn, kRed), 4) << "Escape did not clear the filter";
}

TEST_F(EndToEnd, ABusyMachineKeepsShowingFilteringSelectingAndTellsAStalledAgent)
{
    TestSockets sockets;
    const std::uint16_t first = sockets.listen();
    sockets.connectTo(first);
    sockets.connectTo(first);
    const std::uint16_t second = sockets.listen();
    sockets.connectTo(second);

    const QByteArray textView = "[Window]\nRememberLayout=true\nGraphicView=false\n";
    {
        ProgramRun program(display, textView);
        QImage grid = screenUntil(display, "busy-grid", [](const QImage& image) {
            const int column = columnWithMost(image, kRed);
            return column >= 0 && bandsInColumn(image, column, kRed) == 6;
        });
        const int stateColumn = columnWithMost(grid, kRed);
        ASSERT_GE(stateColumn, 0) << "no Established cells";

        // A block dragged over four rows stays while the count of endpoints changes.
        const QPoint origin = gridOrigin(grid);
        ASSERT_GE(origin.x(), 0) << "no header row";
        const auto at = [&](int column, int row) {
            const int left[] = { 0, 43, 174, 282 };
            return std::to_string(origin.x() + left[column] + 20) + " "
                + std::to_string(origin.y() + 16 * row + 8);
        };
        EXPECT_EQ(x("mousemove " + at(1, 1) + " mousedown 1 mousemove " + at(2, 2) + " mousemove " + at(2, 4)
                      + " mouseup 1"),
            0);
        const QImage selected = screenUntil(display, "busy-selected",
            [](const QImage& image) { return countPixels(image, kSelected) > 3000; });
        const int blue = countPixels(selected, kSelected);
        ASSERT_GT(blue, 3000) << "no block selected";
        for (int refresh = 0; refresh < 3; ++refresh) {
            sockets.udp(1);
            pause(1200);
        }
        const QImage kept = screenshot(display, "busy-kept");
        EXPECT_NEAR(countPixels(kept, kSelected), blue, blue / 20)
            << "the block did not survive the refreshes";

        // More endpoints than the 200 rows: the capacity box is up and the grid shows the
        // rows all the same.
        sockets.udp(210);
        ASSERT_TRUE(waitUntilTrue([&] {
            return x("search --onlyvisible --name '^VELTRAN 3[.]3 [(]' >/dev/null") == 0;
        })) << "no capacity box";
        grid = screenshot(display, "busy-box");
        EXPECT_EQ(bandsInColumn(grid, stateColumn, kRed), 6) << "no rows while the box is up";
        // Moved aside; without a window manager it kept the keyboard: back to the main window.
        // Its title has one blank where the main window's caption has two.
        EXPECT_EQ(x("search --onlyvisible --name '^VELTRAN 3[.]3 [(]' windowmove %@ 980 740"), 0);
        EXPECT_EQ(x("search --onlyvisible --name '^VELTRAN 3[.]3  [(]' windowfocus %1"), 0);
        pause(300);
        ASSERT_TRUE(program.alive());

        // A field term: the second listener's port keeps its one connection's two ends.
        EXPECT_EQ(x("key ctrl+f"), 0);
        EXPECT_EQ(x("type --delay 50 port:" + std::to_string(second)), 0);
        const QImage filtered = screenUntil(display, "busy-filtered",
            [&](const QImage& image) { return bandsInColumn(image, stateColumn, kRed) == 2; });
        ASSERT_EQ(bandsInColumn(filtered, stateColumn, kRed), 2) << "port:" << second;
    }

    // Another computer's agent, which stops answering: its rows go grey, and come back.
    testsnmp::SnmpdProcess snmpd;
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true;
    ASSERT_EQ(snmpd.start(config), "");
    ProgramRun program(display,
        textView + "[watch]\nsource=snmpAgent\nhost=" + QByteArray::fromStdString(snmpd.peer())
            + "\nsnmpOptions=" + QByteArray::fromStdString(snmpd.v2cOptions()) + " -t 1 -r 0\n");
    int stateColumn = -1;
    const auto redBands = [&stateColumn](const QImage& image) {
        return stateColumn < 0 ? 0 : bandsInColumn(image, stateColumn, kRed);
    };
    const QImage live = screenUntil(display, "agent-live", [&](const QImage& image) {
        stateColumn = columnWithMost(image, kRed);
        return redBands(image) >= 6;
    });
    ASSERT_GE(redBands(live), 6) << "the agent's connections";
    snmpd.pause();
    const QImage stale
        = screenUntil(display, "agent-stale", [&](const QImage& image) { return redBands(image) == 0; });
    snmpd.resume();
    EXPECT_EQ(redBands(stale), 0) << "the stalled agent's rows still look alive";
    EXPECT_GT(countPixels(stale, qRgb(0xd8, 0xa0, 0xa0)), 500) << "no faded Established cells";
    EXPECT_GT(countPixels(stale, kSilver), 2000) << "the grid went away";
    const QImage back
        = screenUntil(display, "agent-back", [&](const QImage& image) { return redBands(image) >= 6; });
    EXPECT_GE(redBands(back), 6);
}

} // namespace

namespace {

// A CSV file's lines cut at the commas (the fields compared hold none; empty ones at the end
// are dropped); nothing until the file is there and whole.
std::vector<std::vector<std::string>> csvLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::vector<std::string>> lines;
    if (!text.str().ends_with("\r\n"))
        return lines;
    for (std::string line; std::getline(text, line);) {
        std::vector<std::string>& fields = lines.emplace_back();
        std::stringstream cut(line.substr(0, line.size() - 1)); // without its \r
        for (std::string field; std::getline(cut, field, ',');)
            fields.push_back(field);
    }
    return lines;
}

// The window records while the Preferences say so: each connection's life once, the
// closed one closed, as veltran-scan --history reads the same file; Ctrl+H opens History,
// which lists them, groups them by process, and exports both as they were.
TEST_F(EndToEnd, TheWindowRecordsEachConnectionsLifeAndOpensItsHistory)
{
    QTemporaryDir state;
    const std::string history = "XDG_STATE_HOME=" + state.path().toStdString() + " timeout 20 "
        + testproc::executableFolder() + "/veltran-scan --history --since 1h ";
    loopback::Socket listener = loopback::tcpListener("127.0.0.1", 0);
    loopback::Socket client = loopback::tcpClient("127.0.0.1", listener.localPort());
    loopback::Socket server = loopback::acceptOne(listener);
    // Qt's own file dialog, whatever desktop the tests are started from.
    ProgramRun program(display, "[History]\nRecord=true\n",
        { { "XDG_STATE_HOME", state.path().toStdString() }, { "QT_QPA_PLATFORMTHEME", "" },
            { "XDG_CURRENT_DESKTOP", "" }, { "DESKTOP_SESSION", "" } });
    const std::string self = "app_e2e_tests\t";
    const auto processLine = [&] {
        for (const std::string& line : testproc::runCommand(history + "--group process").out) {
            if (line.starts_with(self))
                return line;
        }
        return std::string();
    };
    ASSERT_TRUE(waitUntilTrue([&] { return processLine().starts_with(self + "3\t"); }))
        << "the listener and both ends: " << processLine();

    const std::string firstPort = std::to_string(client.localPort());
    loopback::abortClose(client);
    server.reset();
    loopback::Socket again = loopback::tcpClient("127.0.0.1", listener.localPort());
    loopback::Socket againServer = loopback::acceptOne(listener);
    ASSERT_TRUE(waitUntilTrue([&] { return processLine().starts_with(self + "5\t"); })) << processLine();
    int closed = 0;
    for (const std::string& line : testproc::runCommand(history + "--csv --filter '!state:listen'").out)
        closed += line.find(",app_e2e_tests,") != std::string::npos && !line.ends_with(",,,\r") ? 1 : 0;
    EXPECT_EQ(closed, 2) << "both ends of the first connection closed, the second's open";

    // The keys go to the window that has the focus: the monitor's, clicked first.
    EXPECT_EQ(x("mousemove 300 300 click 1"), 0);
    EXPECT_EQ(x("key ctrl+h"), 0);
    const std::string historyWindow = "search --name '^VELTRAN - History$'";
    ASSERT_TRUE(waitUntilTrue([&] { return x(historyWindow + " >/dev/null") == 0; }));

    // Through the window's own keys and Qt's file dialog, as a user exports.
    QTemporaryDir exports;
    const auto exportShown = [&](const std::string& name) {
        const std::string path = exports.filePath(QString::fromStdString(name)).toStdString();
        // The button is offered once the window's read has ended: pressed until the dialog is up.
        const bool asked = waitUntilTrue(
            [&] {
                x(historyWindow + " windowfocus");
                x("key alt+e");
                return waitUntilTrue([&] { return x("search --name '^Export CSV$' >/dev/null") == 0; }, 5);
            },
            60);
        if (!asked)
            return std::vector<std::vector<std::string>> {};
        x("search --name '^Export CSV$' windowfocus");
        x("key ctrl+a");
        x("type --delay 20 '" + path + "'");
        x("key Return");
        std::vector<std::vector<std::string>> lines;
        waitUntilTrue([&] { return !(lines = csvLines(path)).empty(); }, 30);
        return lines;
    };

    // The last hour's connections: this test's five, as they opened and closed.
    const auto listed = exportShown("connections.csv");
    ASSERT_FALSE(listed.empty()) << "no file exported";
    const std::string port = std::to_string(listener.localPort());
    const std::string secondPort = std::to_string(again.localPort());
    std::multiset<std::string> ours;
    for (const auto& fields : listed) {
        // Local port, remote port, and whether closed.
        if (fields.size() > 12 && fields[7] == "app_e2e_tests")
            ours.insert(fields[3] + " " + fields[5] + (fields[12].empty() ? " open" : " closed"));
    }
    EXPECT_EQ(ours,
        (std::multiset<std::string> { port + " - open", firstPort + " " + port + " closed",
            port + " " + firstPort + " closed", secondPort + " " + port + " open",
            port + " " + secondPort + " open" }))
        << "exported from " << listed.size() << " lines";

    // Grouped by process in the window: the same connections, five of them this test's.
    EXPECT_EQ(x(historyWindow + " windowfocus"), 0);
    EXPECT_EQ(x("key alt+g Down"), 0);
    const auto grouped = exportShown("groups.csv");
    ASSERT_FALSE(grouped.empty()) << "no file exported";
    EXPECT_EQ(grouped.front().front(), "Process");
    std::string ourCount;
    std::size_t counted = 0;
    for (std::size_t line = 1; line < grouped.size(); ++line) {
        if (grouped[line].front() == "app_e2e_tests")
            ourCount = grouped[line][1];
        counted += std::stoul(grouped[line][1]);
    }
    EXPECT_EQ(ourCount, "5");
    EXPECT_EQ(counted, listed.size() - 1) << "the groups hold every connection listed";
    screenshot(display, "history");
    EXPECT_TRUE(program.alive());
}

} // namespace
