#include "shell/SystemTray.h"

#include "alarmui/AlarmForm.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"
#include "resources/Artwork.h"
#include "shell/MenuForm.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QPointer>
#include <QSystemTrayIcon>

#include <algorithm>

namespace SystemTray {

bool TrayIconAdded = false;
bool ActivatesOnClick = false;

namespace {
QPointer<QSystemTrayIcon> trayIcon;

// "8 h 3 min", "2 d 4 h", "7 min": the two largest units, the smaller left
// out when it is nought.
QString span(qint64 minutes)
{
    const auto two = [](qint64 big, const char *bigUnit, qint64 small, const char *smallUnit) {
        QString text = QStringLiteral("%1 %2").arg(big).arg(QLatin1String(bigUnit));
        if (small > 0)
            text += QStringLiteral(" %1 %2").arg(small).arg(QLatin1String(smallUnit));
        return text;
    };
    if (minutes >= 1440)
        return two(minutes / 1440, "d", minutes % 1440 / 60, "h");
    if (minutes >= 60)
        return two(minutes / 60, "h", minutes % 60, "min");
    return QStringLiteral("%1 min").arg(minutes);
}

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

bool StatusNotifierHostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.interface()->isServiceRegistered(WatcherService).value())
        return false;
    // A watcher without a host shows no items; Qt then uses an XEmbed tray.
    QDBusInterface watcher(WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService, bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

QSystemTrayIcon *AddTrayIcon(MenuForm *owner)
{
    // Asked before the icon exists, as Qt asks once when it creates the icon.
    ActivatesOnClick = StatusNotifierHostPresent();
    auto *icon = new QSystemTrayIcon(Artwork::ProgramIcon(), owner);
    icon->setToolTip(QString::fromLatin1(TipText));
    trayIcon = icon;
    UpdateTip();
    // A StatusNotifierItem host opens an item's menu itself, from the menu the
    // item exports over D-Bus; without one its right click offers only the
    // panel's own menu. An XEmbed tray gets no menu here: Qt would open it on
    // the right button's press, and the tray menu opens on its release.
    if (ActivatesOnClick)
        icon->setContextMenu(owner->Menu_Tray);
    // With no tray on the desktop the icon simply does not show; the program
    // runs on without it.
    icon->show();
    return icon;
}

QString TipFor(const AlarmChecking::Coming &next, const QDateTime &now)
{
    QString tip = QString::fromLatin1(TipText);
    if (next.name.isEmpty() || !next.when.isValid())
        return tip;
    // Whole minutes, a part counted whole: "in 1 min" until it rings.
    const qint64 minutes = std::max<qint64>(1, (now.secsTo(next.when) + 59) / 60);
    if (minutes > TipHorizon)
        return tip;
    const QString at = AlarmForm::WhenText(next.when, now);
    tip += QStringLiteral("\nNext: %1%2 %3 (in %4)")
               .arg(next.name, next.snoozed ? QStringLiteral(", snoozed,") : QString(), at, span(minutes));
    return tip;
}

void UpdateTip()
{
    if (!trayIcon)
        return;
    const QString tip = TipFor(AlarmChecking::NextRing(), TimingModule::Now());
    if (tip == trayIcon->toolTip())
        return;
    trayIcon->setToolTip(tip);
    TraceEvent("tray-tip", tip.section(QLatin1Char('\n'), 1));
}

void RemoveTrayIcon()
{
    if (trayIcon) {
        trayIcon->hide();
        trayIcon->deleteLater();
    }
    trayIcon = nullptr;
}

} // namespace SystemTray
