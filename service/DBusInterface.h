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

// An alarm whose rule the four kinds cannot say, as Rules() gives it: its
// number and its RFC 5545 rule ("" for one that rings once, in another zone).
struct DBusRule
{
    qint32 number = 0;
    QString rule;
};
Q_DECLARE_METATYPE(DBusRule)
QDBusArgument &operator<<(QDBusArgument &argument, const DBusRule &rule);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusRule &rule);

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
    // An alarm of an RFC 5545 rule at HH:MM of a zone's clock ("" for the
    // local one); its number.
    Q_SCRIPTABLE qint32 AddRule(const QString &name, const QString &at, const QString &rrule, const QString &zone);
    // The alarm does not ring (or rings again) on YYYY-MM-DD; Skip of "" skips
    // its next ring.
    Q_SCRIPTABLE void Skip(qint32 number, const QString &date);
    Q_SCRIPTABLE void Unskip(qint32 number, const QString &date);
    Q_SCRIPTABLE QList<DBusRule> Rules();
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
