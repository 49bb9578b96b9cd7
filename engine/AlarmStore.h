#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <limits>
#include <utility>

// The alarm table: the records of Alarms.dat, each alarm's per-user identity
// and the minute a command last changed it while no clock ran, and the one way
// to change them. Every change is all or nothing: Alarms.dat is replaced and
// the identities saved beside it, or nothing changes, in memory or on disk.
//
// The records have no identity of their own and removing one moves the rest
// up, so the identities are kept in a file beside the table. Two files cannot
// be replaced in one step: the identity file names the Alarms.dat it belongs
// to by its size and a hash, and a table that no longer matches (changed by an
// older copy of the program, or a crash between the two) keeps its records
// and is paired with the identities by each record's content, so an identity,
// and the snooze or calendar event that holds it, never moves to another
// alarm.
class AlarmStore : public QObject
{
    Q_OBJECT

public:
    // The program's table: the clock, its windows, the commands, D-Bus and the
    // calendar sync all read and change this one.
    static AlarmStore &Instance();

    // Where the identities are kept; empty keeps them in memory only (tests).
    void SetIdentityFile(const QString &path);
    QString IdentityFile() const;

    // What a missing, empty or shorter-than-a-slot Alarms.dat becomes: the
    // clock's start writes the placeholder; a command leaves the file alone
    // unless it changes the table.
    enum class Missing { Create, LeaveAlone };
    // Reads Alarms.dat (AlarmHandling::AlarmFilePath()) and the identities.
    // A file that cannot be read leaves the table as it was: false, with why.
    [[nodiscard]] bool Load(QString *error = nullptr, Missing missing = Missing::Create);

    // Element 0 is the placeholder; the alarms proper are elements 1 onwards.
    const QList<AlarmRecord> &Records() const { return m_records; }
    // Whether index names an alarm (never the placeholder).
    bool Holds(int index) const { return index >= 1 && index < m_records.size(); }
    const AlarmRecord &At(int index) const { return m_records.at(index); }

    // The identity of record index, empty for none; the record with an
    // identity, or -1.
    QString IdOf(int index) const;
    int IndexOf(const QString &id) const;
    QStringList Ids() const { return m_ids; }
    // Counts the table's changes and loads: what is worked out from the table
    // (each rule's next ring) is kept until it moves on.
    quint64 Generation() const { return m_generation; }

    // When the record rings where its kind cannot say (any days, skipped
    // dates, another zone...); an empty rule for one that rings by its kind.
    const AlarmRule &RuleOf(int index) const;

    // The minute a record was last changed while no clock ran: the next start
    // does not report it missed for that minute or any before it.
    static constexpr qint32 Never = std::numeric_limits<qint32>::min();
    qint32 ChangedAt(int index) const;

    // One change of the table, made whole or not at all.
    struct Change
    {
        QList<std::pair<int, AlarmRecord>> replace; // the record at an index becomes this one
        QList<int> remove;                          // indexes as before the change
        QList<AlarmRecord> add;                     // appended after the rest, in this order
        // The rule of the record at an index (as before the change) becomes
        // this one; an empty rule makes it ring by its kind again.
        QList<std::pair<int, AlarmRule>> rules;
        QList<AlarmRule> addRules; // the rules of the records added, in order
        // Noted on every record replaced or added (a command that runs with
        // no clock), or Never to leave the minutes as they are.
        qint32 changedAt = Never;
    };
    // Saves the table as the change leaves it. The records added end the
    // table, in order; addedIds, when given, gets their new identities.
    [[nodiscard]] bool Apply(const Change &change, QString *error = nullptr, QStringList *addedIds = nullptr);

    [[nodiscard]] bool Add(const QList<AlarmRecord> &records, qint32 changedAt = Never, QString *error = nullptr);
    [[nodiscard]] bool Replace(int index, const AlarmRecord &record, qint32 changedAt = Never,
                               QString *error = nullptr);
    [[nodiscard]] bool SetDisabled(int index, bool disabled, qint32 changedAt = Never, QString *error = nullptr);
    // The removed records' pending snoozes go with them.
    [[nodiscard]] bool Remove(const QList<int> &indexes, QString *error = nullptr);

    // What pairs a record with its identity when the table no longer matches
    // the identity file: its stored bytes, whatever its place.
    static QByteArray ContentKey(const AlarmRecord &record);

signals:
    // After every change that was saved, and after a load.
    void changed();

private:
    struct Identity
    {
        QString id;
        qint32 changedAt = Never;
        AlarmRule rule;
    };
    void pairIdentities(const QByteArray &data, QList<Identity> *paired, bool *rewrite) const;
    bool saveIdentities(const QByteArray &tableBytes, const QList<AlarmRecord> &records, const QStringList &ids,
                        const QList<qint32> &changes, const QList<AlarmRule> &rules, QString *error) const;

    QList<AlarmRecord> m_records{AlarmRecord{}};
    QStringList m_ids;        // element i - 1 belongs to record i
    QList<qint32> m_changes;  // likewise
    QList<AlarmRule> m_rules; // likewise
    QString m_identityFile;
    quint64 m_generation = 0;
};
