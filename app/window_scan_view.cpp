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

template <typename F> void WindowScanView::post(F&& effect)
{
    if (m_shutDown.load())
        return;
    // Posted to this object, which lives on the GUI thread and outlives the scanner;
    // queued calls run in the order they were posted. Checked again there, so an
    // effect that arrives after the window has closed is dropped.
    QMetaObject::invokeMethod(
        this,
        [this, effect = std::forward<F>(effect)]() mutable {
            Q_ASSERT(QThread::currentThread() == thread());
            if (!m_shutDown.load())
                effect();
        },
        Qt::QueuedConnection);
}

void WindowScanView::showView(bool graphic)
{
    post([this, graphic] { Q_EMIT viewShown(graphic); });
}

void WindowScanView::setStatusText(const std::string& text)
{
    post([this, text = QString::fromLocal8Bit(text.data(), qsizetype(text.size()))] {
        Q_EMIT statusTextChanged(text);
    });
}

void WindowScanView::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    post([this, rows = std::move(rows), details = std::move(details)] {
        Q_EMIT gridContentChanged(rows, details);
    });
}

void WindowScanView::publishMapTable(std::shared_ptr<MapTable> table, bool drawMap)
{
    post([this, table = std::move(table), drawMap] { Q_EMIT mapTablePublished(table, drawMap); });
}

void WindowScanView::showCapacityMessage(int notShown)
{
    // The scan goes on at once: a scan that waited on the box would show no rows and
    // lose the log's entries while it is up.
    post([this, notShown] {
        // Not exec(): a nested loop would keep the program alive after the main window
        // closed. Not modal either: a user must be able to leave a busy machine's window.
        const QString text = QString::fromLatin1(kCapacityMessage) + QLatin1Char('\n')
            + QString::fromStdString(notShownText(notShown));
        auto* box = new QMessageBox(
            QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    });
}

void WindowScanView::namesArrived()
{
    post([this] { Q_EMIT lateNamesArrived(); });
}

void WindowScanView::setReadFailure(const std::string& failure)
{
    post([this, failure = QString::fromLocal8Bit(failure.data(), qsizetype(failure.size()))] {
        Q_EMIT readFailureChanged(failure);
    });
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
