#pragma once

#include "engine/AlarmHandling.h"
#include "engine/AlarmRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>

// Shared by the save loop and the kill test: the two tables it alternates and
// the progress page it keeps for whoever kills it.

// Mapped from a file by both processes; the counters survive the SIGKILL.
struct KillProgress
{
    std::atomic<std::uint32_t> begun{0};   // saves started
    std::atomic<std::uint32_t> done{0};    // saves that returned true
    std::atomic<std::uint32_t> writing{0}; // table of the save under way
    std::atomic<std::uint32_t> written{0}; // table of the last finished save
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

namespace KillTables {

// A table of `count` alarms after the placeholder. Table 0 and table 1 differ
// in every alarm (name, type, time, date, flags), so a file that mixes the
// two, or stops short, matches neither.
inline QList<AlarmRecord> Make(int which, int count)
{
    QList<AlarmRecord> table{AlarmRecord{}};
    for (int i = 1; i <= count; ++i) {
        AlarmRecord r;
        r.Index = i;
        r.Name = AlarmRecord::FixedName(QStringLiteral("%1 alarm %2 %3")
                                            .arg(which == 0 ? QStringLiteral("Old") : QStringLiteral("New"))
                                            .arg(i)
                                            .arg(QString(i % 60, QLatin1Char(which == 0 ? 'o' : 'n'))));
        r.AlarmType = static_cast<quint8>((i + which) % 4);
        r.Hour = static_cast<quint8>((i * 7 + which * 5) % 24);
        r.Minute = static_cast<quint8>((i * 13 + which * 29) % 60);
        r.WeekDay = static_cast<quint8>((i + which * 3) % 7);
        r.Day = static_cast<quint8>(1 + (i + which * 11) % 28);
        r.Month = static_cast<quint8>(1 + (i + which * 5) % 12);
        r.Year = static_cast<qint16>(2024 + which);
        r.Disabled = static_cast<qint16>(((i + which) % 3 == 0) ? -1 : 0);
        table.append(r);
    }
    return table;
}

// The bytes a save of that table must leave in Alarms.dat.
inline QByteArray Bytes(const QList<AlarmRecord> &table)
{
    QByteArray bytes;
    for (const AlarmRecord &r : table)
        bytes += AlarmHandling::EncodeSlot(r);
    return bytes;
}

} // namespace KillTables
