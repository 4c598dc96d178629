// The installed program: `cmake --install` into a temporary prefix, the desktop files
// validated, the installed commands run; the window program started under Xvfb from a
// read-only mount of that prefix, so its files must go to the user's XDG folders.
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/test_sockets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

struct Outcome
{
    int status = -1;
    std::string out;
};

// Runs a shell command line and returns its exit status and standard output.
Outcome run(const std::string& command)
{
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    std::array<char, 4096> buffer;
    while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        outcome.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool waitFor(const std::function<bool()>& done, int seconds = 20)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

class Installed : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_prefix = new QTemporaryDir;
        const Outcome installed
            = run(std::string(CMAKE_COMMAND) + " --install " + BUILD_DIR + " --prefix " + prefix() + " 2>&1");
        ASSERT_EQ(installed.status, 0) << installed.out;
    }
    static void TearDownTestSuite()
    {
        delete s_prefix;
        s_prefix = nullptr;
    }
    static std::string prefix() { return s_prefix->path().toStdString(); }
    static QString file(const char* relative) { return s_prefix->filePath(QString::fromLatin1(relative)); }

    static inline QTemporaryDir* s_prefix = nullptr;
};

TEST_F(Installed, FilesAreInTheirPlacesAndTheDesktopFilesValidate)
{
    for (const char* relative : { "bin/veltran", "bin/veltran-scan", "lib/veltran/libinetmib1.so",
             "lib/veltran/libveltran-remote.so", "share/veltran/help.htm", "share/man/man1/veltran.1",
             "share/man/man1/veltran-scan.1", "share/icons/hicolor/16x16/apps/example.veltran.Veltran.png",
             "share/icons/hicolor/256x256/apps/example.veltran.Veltran.png", "libexec/veltran-close-helper" })
        EXPECT_TRUE(QFile::exists(file(relative))) << relative;
    // pkexec matches the helper to its action by this path alone.
    const QString policy = file("share/polkit-1/actions/example.veltran.Veltran.policy");
    EXPECT_TRUE(
        contentOf(policy).contains("policykit.exec.path\">" + file("libexec/veltran-close-helper").toUtf8() + "<"));
    const Outcome wellFormed = run("xmllint --noout --nonet " + policy.toStdString() + " 2>&1");
    EXPECT_EQ(wellFormed.status, 0) << wellFormed.out;
    const Outcome desktop = run("desktop-file-validate "
        + file("share/applications/example.veltran.Veltran.desktop").toStdString() + " 2>&1");
    EXPECT_EQ(desktop.status, 0) << desktop.out;
    const Outcome metainfo = run("appstreamcli validate --no-net "
        + file("share/metainfo/example.veltran.Veltran.metainfo.xml").toStdString() + " 2>&1");
    EXPECT_EQ(metainfo.status, 0) << metainfo.out;
}

TEST(DebianPackage, HoldsTheInstalledFilesAndNamesItsDependencies)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const std::string folder = out.path().toStdString();
    const Outcome packed
        = run("cd " + std::string(BUILD_DIR) + " && " + CPACK_COMMAND + " -G DEB -B " + folder + " 2>&1");
    ASSERT_EQ(packed.status, 0) << packed.out;
    const std::string deb = folder + "/veltran_3.3_amd64.deb";
    const Outcome contents = run("dpkg-deb -c " + deb);
    ASSERT_EQ(contents.status, 0);
    for (const char* path : { "./usr/bin/veltran\n", "./usr/bin/veltran-scan\n",
             "./usr/lib/veltran/libinetmib1.so\n", "./usr/lib/veltran/libveltran-remote.so\n",
             "./usr/share/veltran/help.htm\n", "./usr/share/applications/example.veltran.Veltran.desktop\n",
             "./usr/share/metainfo/example.veltran.Veltran.metainfo.xml\n",
             "./usr/share/man/man1/veltran.1\n", "./usr/libexec/veltran-close-helper\n",
             "./usr/share/polkit-1/actions/example.veltran.Veltran.policy\n" })
        EXPECT_NE(contents.out.find(path), std::string::npos) << path;
    const std::string depends = run("dpkg-deb -f " + deb + " Depends").out;
    for (const char* package :
        { "fonts-liberation", "xdg-utils", "libqt6widgets6", "libjpeg62-turbo", "libsnmp40" })
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
}

TEST_F(Installed, TheInstalledScanFindsItsAgentAndTheWindowProgramAnswersWithoutAWindow)
{
    TestSockets sockets;
    const std::uint16_t port = sockets.listen();
    const Outcome scan = run(prefix() + "/bin/veltran-scan --no-host-names --no-port-names --format csv");
    EXPECT_EQ(scan.status, 0);
    EXPECT_NE(scan.out.find("127.0.0.1," + std::to_string(port) + ",none,none,TCP,Listening\r\n"),
        std::string::npos)
        << scan.out;
    EXPECT_EQ(run(prefix() + "/bin/veltran-scan --version").out, "veltran-scan 3.3\n");

    // No display at all: had they opened a window, they would have failed instead.
    const std::string noDisplay
        = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + prefix() + "/bin/veltran";
    const Outcome help = run(noDisplay + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
    const Outcome version = run(noDisplay + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "veltran 3.3\n");
    const Outcome none = run(noDisplay + " 2>&1");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(std::count(none.out.begin(), none.out.end(), '\n'), 1) << none.out;
    EXPECT_NE(none.out.find("no display"), std::string::npos) << none.out;
    // A display that cannot be reached ends it the same way, instead of Qt's abort.
    const Outcome unreachable = run("env -u QT_QPA_PLATFORM DISPLAY=:999 " + prefix() + "/bin/veltran 2>&1");
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_EQ(
        unreachable.out, "veltran: no display to show the window on (could not connect to display :999)\n");
}

TEST_F(Installed, FromAReadOnlyPrefixTheFilesGoToTheUsersFolders)
{
    TestSockets sockets;
    sockets.connectTo(sockets.listen()); // established: the log gets entries
    QTemporaryDir user;
    ASSERT_TRUE(user.isValid());
    const std::string home = user.filePath(QStringLiteral("home")).toStdString();
    const QString config = user.filePath(QStringLiteral("config/veltran"));
    const QString state = user.filePath(QStringLiteral("state/veltran"));

    const testproc::XServer xvfb = testproc::startXvfb();
    ASSERT_GT(xvfb.pid, 0) << "Xvfb did not start";
    const testproc::ProcessGuard xvfbGuard(xvfb.pid);
    // A mount namespace of the program's own, where the prefix is read-only even to root.
    const pid_t program
        = testproc::spawn({ "unshare", "-m", "sh", "-c",
                              "mount --bind -o ro \"$0\" \"$0\" && exec \"$0/bin/veltran\"", prefix() },
            { { "DISPLAY", xvfb.display }, { "QT_QPA_PLATFORM", "xcb" }, { "HOME", home },
                { "XDG_CONFIG_HOME", user.filePath(QStringLiteral("config")).toStdString() },
                { "XDG_STATE_HOME", user.filePath(QStringLiteral("state")).toStdString() } });
    const testproc::ProcessGuard programGuard(program);
    const std::string x = "DISPLAY=" + xvfb.display + " xdotool ";

    const Outcome main = run(x + "search --sync --name 'VELTRAN 3.3' | head -1");
    ASSERT_EQ(main.status, 0);
    const std::string window = main.out.substr(0, main.out.find('\n'));
    ASSERT_FALSE(window.empty());
    // The first toolbar button, Options, lies below the menu bar at the window's left.
    EXPECT_EQ(run(x + "mousemove --window " + window + " 20 45 click 1").status, 0);
    const Outcome dialog = run(x + "search --sync --name 'VELTRAN - Options' | head -1");
    const std::string options = dialog.out.substr(0, dialog.out.find('\n'));
    ASSERT_FALSE(options.empty());
    // Tick "Logfile name", then Ok.
    EXPECT_EQ(run(x + "mousemove --window " + options + " 40 200 click 1").status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(run(x + "mousemove --window " + options + " 60 244 click 1").status, 0);

    EXPECT_TRUE(waitFor([&] { return contentOf(state + QStringLiteral("/netlog.txt")).contains("]  "); }))
        << contentOf(state + QStringLiteral("/netlog.txt")).toStdString();
    // The log starts with the tick, before Ok saves the options: wait for the save too.
    const QByteArray expected = "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\nnetlog.txt\r\n";
    EXPECT_TRUE(waitFor([&] {
        return contentOf(config + QStringLiteral("/options.dat")) == expected
            && !QFile::exists(config + QStringLiteral("/options.dat.tmp"))
            && QFile::exists(config + QStringLiteral("/veltran.ini"));
    }));
    int status = 0;
    EXPECT_EQ(waitpid(program, &status, WNOHANG), 0) << "veltran ended early";

    const QByteArray stored = contentOf(config + QStringLiteral("/options.dat"));
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(contentOf(config + QStringLiteral("/veltran.ini")), "[General]\nversion=3.3\n");
    const QByteArray log = contentOf(state + QStringLiteral("/netlog.txt"));
    EXPECT_TRUE(log.startsWith("\r\n\r\nSession started at: ")) << log.toStdString();
    EXPECT_TRUE(log.contains("  [Time]    Local IP  (Local Port)(Remote Port)  Remote IP\r\n"))
        << log.toStdString();
    // Nothing beside the program, and nothing copied into the user's folders but what was written.
    EXPECT_FALSE(QFile::exists(file("bin/options.dat")));
    EXPECT_EQ(QDir(config).entryList(QDir::Files),
        (QStringList { QStringLiteral("options.dat"), QStringLiteral("veltran.ini") }));
}

} // namespace
