#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>

class CommandHost;

// One alarm as List() gives it: number, name, kind, hour, minute, date or
// weekday (as --list shows them), enabled.
struct DBusAlarm
{
    qint32 number = 0;
    QString name;
    QString kind;
    uchar hour = 0;
    uchar minute = 0;
    QString day;
    bool enabled = true;
};
Q_DECLARE_METATYPE(DBusAlarm)
QDBusArgument &operator<<(QDBusArgument &argument, const DBusAlarm &alarm);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusAlarm &alarm);

// The running clock on the session bus: example.varnod.Tockwise at
// /example/varnod/Tockwise. Every method goes through the same commands as
// the command line.
class DBusInterface : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.varnod.Tockwise.Alarms")

public:
    DBusInterface(CommandHost *host, QObject *parent = nullptr);

    // Registers the object and the name; false (and a warning) without a
    // session bus, where everything else goes on working.
    bool Register();

public slots:
    Q_SCRIPTABLE QList<DBusAlarm> List();
    Q_SCRIPTABLE qint32 Add(const QString &name, const QString &kind, uchar hour, uchar minute,
                            const QString &dateOrWeekday);
    Q_SCRIPTABLE void Remove(qint32 number);
    Q_SCRIPTABLE void SetEnabled(qint32 number, bool enabled);
    Q_SCRIPTABLE void SnoozeAll(qint32 minutes);
    Q_SCRIPTABLE void DismissAll();
    Q_SCRIPTABLE void ShowClock();

signals:
    Q_SCRIPTABLE void AlarmsChanged();
    // The clock asked for from the bus (not itself on the bus).
    void ShowClockRequested();

private:
    bool run(const QStringList &words, QByteArray *out = nullptr);

    CommandHost *m_host;
};
