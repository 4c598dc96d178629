#include "app/desktop_notifier.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QThread>
#include <QVariantMap>

using namespace Qt::StringLiterals;

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, int windowMs, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_windowMs(windowMs)
{
    m_summary.setSingleShot(true);
    connect(&m_summary, &QTimer::timeout, this, &DesktopNotifier::sendHeldBack);
}

void DesktopNotifier::notify(const QString& summary, const QString& body)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    while (!m_sent.empty() && now - m_sent.front() >= m_windowMs)
        m_sent.pop_front();
    if (int(m_sent.size()) >= kMostPerWindow) {
        // Held back, and counted in one notification when the window has passed.
        if (m_heldBack++ == 0)
            m_summary.start(int(std::max<qint64>(0, m_windowMs - (now - m_sent.front()))));
        return;
    }
    m_sent.push_back(now);
    send(summary, body);
}

void DesktopNotifier::sendHeldBack()
{
    const int count = std::exchange(m_heldBack, 0);
    m_sent.push_back(QDateTime::currentMSecsSinceEpoch());
    send(u"VELTRAN: %1 more alerts"_s.arg(count), u"They are listed in the History window (Ctrl+H)"_s);
}

void DesktopNotifier::send(const QString& summary, const QString& body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
        u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s, u"Notify"_s);
    call << u"VELTRAN"_s << 0u << u"example.veltran.Veltran"_s << summary << body << QStringList()
         << QVariantMap() << -1;
    // No answer is awaited: a desktop without a notification server must not hold the window.
    m_bus.send(call);
}
