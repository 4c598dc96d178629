#pragma once
// Desktop notifications through org.freedesktop.Notifications on the session bus, never
// more than a few a minute: beyond them one notification counts the rest.

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <deque>

class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    explicit DesktopNotifier(const QDBusConnection& bus, int windowMs = 60'000, QObject* parent = nullptr);

    // GUI thread. Sent without waiting for an answer.
    void notify(const QString& summary, const QString& body);

    static constexpr int kMostPerWindow = 5;

private:
    void send(const QString& summary, const QString& body);
    void sendHeldBack();

    QDBusConnection m_bus;
    const int m_windowMs;
    std::deque<qint64> m_sent; // when the notifications of the window went, in ms
    int m_heldBack = 0;
    QTimer m_summary;
};
