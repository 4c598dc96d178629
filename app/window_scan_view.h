#pragma once
// Carries a scan's effects from the worker thread to the GUI thread, in the order
// they were made, and announces each there as a signal; the program's assembly
// connects them to the window. The worker never touches a widget; the GUI thread
// never waits on the worker.

#include "scan/scan_view.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class HistoryRecorder;

class QWidget;

class WindowScanView final : public QObject, public ScanView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowScanView)

public:
    // The capacity message is shown over window, modal for the whole program.
    explicit WindowScanView(QWidget* window);
    ~WindowScanView() override;

    void showView(bool graphic) override;
    void setStatusText(const std::string& text) override;
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details) override;
    void publishMapTable(std::shared_ptr<MapTable> table, bool drawMap) override;
    // Shows the capacity message on the GUI thread and returns at once. Not modal: Exit
    // and closing the window still work.
    void showCapacityMessage(int notShown) override;
    // The same message of one of several watched computers, naming it.
    void showComputerCapacityMessage(const std::string& computer, int notShown) override;
    void namesArrived() override;
    void setReadFailure(const std::string& failure) override;
    bool recordsHistory() const override;
    // Hands the scan to the recorder's own thread: the scan never waits for the disk.
    void recordScan(std::shared_ptr<const SeenScan> scan) override;
    // GUI thread: where the scans are recorded from now on; nullptr: not at all.
    void setHistoryRecorder(std::shared_ptr<HistoryRecorder> recorder);

    // GUI thread, once the window has closed: drops every later effect, those already on
    // their way included.
    void shutdown();

    // Emitted on the GUI thread, in the scan's step order.
Q_SIGNALS:
    void viewShown(bool graphic);
    void statusTextChanged(const QString& text);
    // The rows are the receiver's to take: the window moves them into its grid's model, so
    // it is connected to that one receiver.
    void gridContentChanged(const std::shared_ptr<GridContent>& content);
    void mapTablePublished(const std::shared_ptr<MapTable>& table, bool drawMap);
    // Names shown as addresses have come: a scan now would show them.
    void lateNamesArrived();
    // Empty when the scan read the tables, else why it could not.
    void readFailureChanged(const QString& failure);

private:
    enum class Wake
    {
        Now, // a status text ends each burst of a scan's steps, and the rare messages
        WithNextStatus, // the steps before it ride along, and wake the GUI thread no more
    };
    void post(std::function<void()> effect, Wake wake);
    void runPosted();
    // The capacity message with line under it.
    void showCapacityBox(const std::string& line);

    QPointer<QWidget> m_window; // GUI thread only
    std::atomic<bool> m_shutDown { false };
    // Effects on their way, in the order made. One queued call carries all that are waiting
    // when it runs, so a scan wakes the GUI thread twice, not once per effect.
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_posted;
    bool m_callPosted = false; // a queued call will run m_posted
    mutable std::mutex m_historyMutex;
    std::shared_ptr<HistoryRecorder> m_history;
};
