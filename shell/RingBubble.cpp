#include "shell/RingBubble.h"

#include "notify/MessageForm.h"

#include <QAction>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLabel>
#include <QMenu>
#include <QVariantMap>

namespace {
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// The desktop entry's name, which is also the name the icon is installed under.
const QString AppId = QStringLiteral("example.varnod.Tockwise");
constexpr int EndingWaitMs = 500;

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}
} // namespace

RingBubble::RingBubble(QObject *parent)
    : QObject(parent)
{}

void RingBubble::Show(QObject *notification)
{
    auto *form = qobject_cast<MessageForm *>(notification);
    if (!form)
        return;
    if (!m_session.isConnected())
        m_session = QDBusConnection::sessionBus();
    if (!m_session.isConnected())
        return;
    if (!m_listening) {
        // Qt's D-Bus names the receiving slot by its signature; there is no
        // function-pointer form for a bus signal.
        m_listening = m_session.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                                        SLOT(actionInvoked(uint, QString)));
    }
    auto bubble = std::make_shared<Bubble>();
    bubble->window = form;
    bubble->form = form;
    m_bubbles.append(bubble);
    // Whether the server offers buttons (and markup in the body) decides what
    // is sent; the server may have changed since the last ring, so it is asked
    // each time.
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, bubble](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isValid()) { // no server: the window alone
            m_bubbles.removeOne(bubble);
            return;
        }
        notify(bubble, reply.value());
    });
}

void RingBubble::notify(const std::shared_ptr<Bubble> &bubble, const QStringList &capabilities)
{
    if (bubble->withdrawn || !bubble->form) {
        m_bubbles.removeOne(bubble);
        return;
    }
    QString body = bubble->form->DateLabel->text();
    if (capabilities.contains(QStringLiteral("body-markup")))
        body = body.toHtmlEscaped();
    QStringList actions;
    if (capabilities.contains(QStringLiteral("actions")))
        actions = {SnoozeKey, QStringLiteral("Snooze 10 Minutes"), DismissKey, QStringLiteral("Dismiss")};
    QVariantMap hints;
    // Critical: it stays until answered and passes Do Not Disturb.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    hints.insert(QStringLiteral("desktop-entry"), AppId);
    // The chime is the window's; the server adds no sound of its own.
    hints.insert(QStringLiteral("suppress-sound"), true);
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Tockwise") << quint32(0) << AppId << bubble->form->MessageLabel->text() << body
            << actions << hints << qint32(0);
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, bubble](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<quint32> reply = *w;
        if (!reply.isValid()) {
            m_bubbles.removeOne(bubble);
            return;
        }
        bubble->id = reply.value();
        // The window closed while the server was answering: its bubble goes now.
        if (bubble->withdrawn || !bubble->form) {
            m_bubbles.removeOne(bubble);
            close(bubble->id);
        }
    });
}

void RingBubble::Withdraw(QObject *notification)
{
    for (qsizetype i = 0; i < m_bubbles.size(); ++i) {
        const std::shared_ptr<Bubble> bubble = m_bubbles.at(i);
        if (bubble->window != notification || bubble->withdrawn)
            continue;
        bubble->withdrawn = true;
        if (bubble->id != 0) {
            m_bubbles.removeAt(i);
            close(bubble->id);
        }
        return;
    }
}

void RingBubble::WithdrawAll()
{
    const QList<std::shared_ptr<Bubble>> bubbles = std::exchange(m_bubbles, {});
    for (const std::shared_ptr<Bubble> &bubble : bubbles) {
        bubble->withdrawn = true;
        if (bubble->id != 0)
            close(bubble->id, true);
    }
}

void RingBubble::close(quint32 id, bool wait)
{
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    if (wait)
        m_session.call(message, QDBus::Block, EndingWaitMs);
    else
        m_session.send(message);
}

void RingBubble::actionInvoked(uint id, const QString &key)
{
    for (const std::shared_ptr<Bubble> &bubble : std::as_const(m_bubbles)) {
        if (bubble->id != id || bubble->withdrawn || !bubble->form)
            continue;
        // The window's own handlers, so that a button in the bubble does
        // exactly what the window does; closing the window withdraws the bubble.
        MessageForm *form = bubble->form;
        if (key == DismissKey) {
            form->CloseButton_Click();
        } else if (key == SnoozeKey) {
            if (QAction *item = form->SnoozeMenu->findChild<QAction *>(QStringLiteral("Snooze10")))
                item->trigger();
        }
        return;
    }
}
