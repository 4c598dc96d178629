#include "app/window_scan_view.h"

#include "app/app_title.h"
#include "history/history_recorder.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <utility>

WindowScanView::WindowScanView(QWidget* window)
    : m_window(window)
{
}

WindowScanView::~WindowScanView()
{
    shutdown();
}

void WindowScanView::post(std::function<void()> effect, Wake wake)
{
    if (m_shutDown.load())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(effect));
        if (wake == Wake::WithNextStatus || m_callPosted)
            return;
        m_callPosted = true;
    }
    // Posted to this object, which lives on the GUI thread and outlives the scanner;
    // queued calls run in the order they were posted.
    QMetaObject::invokeMethod(this, &WindowScanView::runPosted, Qt::QueuedConnection);
}

void WindowScanView::runPosted()
{
    Q_ASSERT(QThread::currentThread() == thread());
    std::vector<std::function<void()>> effects;
    {
        const std::lock_guard lock(m_mutex);
        effects.swap(m_posted);
        m_callPosted = false;
    }
    // Checked at each, so an effect that arrives after the window has closed is dropped.
    for (const auto& effect : effects) {
        if (m_shutDown.load())
            return;
        effect();
    }
}

void WindowScanView::showView(bool graphic)
{
    post([this, graphic] { Q_EMIT viewShown(graphic); }, Wake::WithNextStatus);
}

void WindowScanView::setStatusText(const std::string& text)
{
    post(
        [this, text = QString::fromLocal8Bit(text.data(), qsizetype(text.size()))] {
            Q_EMIT statusTextChanged(text);
        },
        Wake::Now);
}

void WindowScanView::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    // Shared: std::function needs a copyable callable, and 20,000 rows are not copied for it,
    // nor by the window, which takes them out.
    auto content = std::make_shared<GridContent>(GridContent { std::move(rows), std::move(details) });
    post([this, content] { Q_EMIT gridContentChanged(content); }, Wake::WithNextStatus);
}

void WindowScanView::publishMapTable(std::shared_ptr<MapTable> table, bool drawMap)
{
    post([this, table = std::move(table), drawMap] { Q_EMIT mapTablePublished(table, drawMap); },
        Wake::WithNextStatus);
}

void WindowScanView::showCapacityMessage(int notShown)
{
    showCapacityBox(notShownText(notShown));
}

void WindowScanView::showComputerCapacityMessage(const std::string& computer, int notShown)
{
    showCapacityBox(computer + ": " + notShownText(notShown));
}

void WindowScanView::showCapacityBox(const std::string& line)
{
    // The scan goes on at once: a scan that waited on the box would show no rows and
    // lose the log's entries while it is up.
    post(
        [this, line = QString::fromLocal8Bit(line.data(), qsizetype(line.size()))] {
            // Not exec(): a nested loop would keep the program alive after the main window
            // closed. Not modal either: a user must be able to leave a busy machine's window.
            const QString text = QString::fromLatin1(kCapacityMessage) + QLatin1Char('\n') + line;
            auto* box = new QMessageBox(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                QMessageBox::Ok, m_window);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            box->show();
        },
        Wake::Now);
}

void WindowScanView::namesArrived()
{
    post([this] { Q_EMIT lateNamesArrived(); }, Wake::Now);
}

void WindowScanView::setReadFailure(const std::string& failure)
{
    post(
        [this, failure = QString::fromLocal8Bit(failure.data(), qsizetype(failure.size()))] {
            Q_EMIT readFailureChanged(failure);
        },
        Wake::WithNextStatus);
}

void WindowScanView::shutdown()
{
    m_shutDown.store(true);
    m_window.clear();
}

bool WindowScanView::recordsHistory() const
{
    std::lock_guard lock(m_historyMutex);
    return m_history != nullptr;
}

void WindowScanView::recordScan(std::shared_ptr<const SeenScan> scan)
{
    std::shared_ptr<HistoryRecorder> recorder;
    {
        std::lock_guard lock(m_historyMutex);
        recorder = m_history;
    }
    if (recorder && !m_shutDown.load())
        recorder->submit(std::move(scan));
}

void WindowScanView::setHistoryRecorder(std::shared_ptr<HistoryRecorder> recorder)
{
    std::lock_guard lock(m_historyMutex);
    m_history = std::move(recorder);
}
