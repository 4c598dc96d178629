#pragma once
// "Close connection" and "Stop process" on a grid row: asks the user, acts off the GUI
// thread through the agent module, and tells the outcome, a failure with its reason. A user
// who is not root and lacks the right is asked for it through pkexec, which runs
// veltran-close-helper.

#include "scan/action_outcome.h"
#include "scan/grid_columns.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class QWidget;

class ConnectionClosing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionClosing)

public:
    // How the work is done, all off the GUI thread; tests replace the parts that need root or a
    // desktop.
    struct Actions
    {
        std::function<ActionOutcome(const GridRowDetails&)> close; // the direct attempt
        std::function<ActionOutcome(const GridRowDetails&)> stop;
        std::function<std::optional<std::uint64_t>(std::uint32_t pid)> startTime;
        std::function<bool()> privileged; // root already: pkexec would add nothing
        // Runs an argument vector (no shell) and gives its exit code, or 127 when it could not
        // start; ends it and gives 126 when stop is requested first.
        std::function<int(const std::vector<std::string>&, const std::stop_token&)> run;
        std::string helperPath; // absolute, as pkexec wants it
    };
    // This computer's: the agent module, then pkexec with the helper beside the program (or
    // in ../libexec when installed).
    static Actions localActions();
    // The argument vector that asks pkexec to run the helper with arguments.
    static std::vector<std::string> elevatedCommand(
        const std::string& helperPath, const std::vector<std::string>& arguments);

    // tell shows a text in the window's status bar; failures also get a message box.
    ConnectionClosing(
        QWidget* window, std::function<void(const QString&)> tell, Actions actions = localActions());
    ~ConnectionClosing() override;

    // The confirmation's question for a row: names both ends.
    static QString question(const GridRowDetails& details);
    // Asks, then closes the row's connection. A second request while one runs is refused.
    void request(const GridRowDetails& details);
    // Closes without asking; the outcome comes as finished, on the GUI thread.
    void close(const GridRowDetails& details);
    // The same for the row's process: asked, naming it; then SIGTERM if it is still the one
    // the scan saw.
    static QString stopQuestion(const GridRowDetails& details);
    void requestStop(const GridRowDetails& details);
    void stop(const GridRowDetails& details);
    bool running() const { return m_running; }
    // Another computer's agent to act on through SET, with options that may write; nullopt:
    // this computer. Each request takes the one set when it starts.
    struct WriteAccess
    {
        std::string peer;
        std::string writeOptions; // a secret: never shown, logged or put on a command line
    };
    void setRemote(std::optional<WriteAccess> remote) { m_remote = std::move(remote); }

Q_SIGNALS:
    // "" when closed, else why not.
    void finished(const QString& failure);

private:
    void report(const QString& what, const QString& failure);
    // Runs work off the GUI thread unless another runs; its failure text ("" for none) goes to report.
    void run(const QString& what, std::function<std::string(const std::stop_token&)> work);
    // The helper's answer when the direct attempt found no right and pkexec may give it.
    ActionOutcome elevated(
        ActionOutcome direct, const std::vector<std::string>& arguments, const std::stop_token& token) const;

    QPointer<QWidget> m_window;
    std::function<void(const QString&)> m_tell;
    Actions m_actions;
    std::optional<WriteAccess> m_remote;
    std::atomic<bool> m_running = false;
    std::jthread m_worker; // last: joined before the rest goes
};
