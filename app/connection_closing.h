#pragma once
// "Close connection" and "Stop process" on a grid row: asks the user, acts off the GUI
// thread through the agent module, and tells the outcome, a failure with its reason.

#include "scan/grid_columns.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class QWidget;

class ConnectionClosing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionClosing)

public:
    // tell shows a text in the window's status bar; failures also get a message box.
    ConnectionClosing(QWidget* window, std::function<void(const QString&)> tell);
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

Q_SIGNALS:
    // "" when closed, else why not.
    void finished(const QString& failure);

private:
    void report(const QString& what, const QString& failure);
    // Runs work off the GUI thread unless another runs; its failure text goes to report.
    void run(const QString& what, std::function<std::string()> work);

    QPointer<QWidget> m_window;
    std::function<void(const QString&)> m_tell;
    std::atomic<bool> m_running = false;
    std::jthread m_worker; // last: joined before the rest goes
};
