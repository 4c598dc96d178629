#pragma once
// Carries a scan's effects from the worker thread to the main window, in the
// order they were made. The worker never touches a widget; the GUI thread never
// waits on the worker.

#include "scan/scan_view.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <mutex>

class TForm1;

class WindowScanView final : public QObject, public ScanView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowScanView)

public:
    explicit WindowScanView(TForm1* form);
    ~WindowScanView() override;

    bool graphicMode() const override;
    void showView(bool graphic) override;
    void setStatusText(const std::string& text) override;
    void setGridRows(std::vector<GridRow> rows) override;
    void publishMapTable(std::shared_ptr<MapTable> table, bool drawMap) override;
    // Shows the modal capacity message on the GUI thread and waits until it was
    // closed, or until the window shuts down.
    void showCapacityMessage() override;

    // GUI thread: mirrors the "Graphic/Text mode" button for the worker.
    void setGraphicMode(bool down);
    // GUI thread, once the window has closed: releases a worker waiting on a message
    // and drops every later effect.
    void shutdown();

private:
    template <typename F> void post(F&& effect);

    QPointer<TForm1> m_form; // GUI thread only
    std::atomic<bool> m_graphicMode { true };
    std::atomic<bool> m_shutDown { false };

    std::mutex m_mutex;
    std::condition_variable m_closed;
    std::uint64_t m_messagesShown = 0; // guarded by m_mutex
};
