#include "engine/AlarmChecking.h"

#include "engine/AlarmStore.h"
#include "engine/AlarmWindows.h"
#include "engine/AlarmWords.h"
#include "engine/Snoozes.h"
#include "engine/StateFile.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <limits>

namespace AlarmChecking {

qint32 LastCheck = 0;
QStringList MissedAlarms{QString()};

namespace {
AlarmWindows *alarmWindows = nullptr;

// Each rule's next ring, worked out once and kept until it has passed or the
// table changed: the minute check of a rule is then as cheap as a kind's.
struct NextRing
{
    qint32 from = 0;  // the first minute after this one ...
    qint32 next = -1; // ... in which the rule rings (-1: never)
    bool known = false;
};
QList<NextRing> nextRings;
quint64 nextRingsGeneration = ~quint64(0);

// The first minute after `after` in which the rule of record i rings.
qint32 ruleRingAfter(int i, qint32 after)
{
    const AlarmStore &store = AlarmStore::Instance();
    if (nextRingsGeneration != store.Generation() || nextRings.size() != store.Records().size()) {
        nextRings = QList<NextRing>(store.Records().size());
        nextRingsGeneration = store.Generation();
    }
    NextRing &ring = nextRings[i];
    if (!ring.known || after < ring.from || (ring.next >= 0 && ring.next <= after)) {
        ring.from = after;
        ring.next = store.RuleOf(i).NextMinute(after);
        ring.known = true;
    }
    return ring.next;
}

bool isDue(const AlarmRecord &a, qint32 t)
{
    using namespace TimingModule;
    switch (a.AlarmType) {
    case AlarmRecord::OnceOnly:
        return MatchOnceOnly(t, a.Year, a.Month, a.Day, a.Hour, a.Minute);
    case AlarmRecord::Daily:
        return MatchTime(t, a.Hour, a.Minute);
    case AlarmRecord::Weekly:
        return MatchWeekly(t, a.WeekDay, a.Hour, a.Minute);
    case AlarmRecord::EveryWeekday:
        return MatchEveryWeekday(t, a.Hour, a.Minute);
    default:
        return false;
    }
}
} // namespace

void SetWindows(AlarmWindows *windows)
{
    alarmWindows = windows;
}

AlarmWindows *Windows()
{
    return alarmWindows;
}

void ResetMissedAlarms()
{
    MissedAlarms = QStringList{QString()};
}

namespace {

QString missedFile;
// The missed file exists but could not be read: writing the list over it
// would lose the lines it holds.
bool missedFileUnread = false;
bool missedSaveFailureReported = false;

// One line of the file per missed line. A name may hold a line break; it is
// written as \n (a backslash as \\) so every line stays one line.
QByteArray escapeLine(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out.toUtf8();
}

QString unescapeLine(const QByteArray &bytes)
{
    const QString line = QString::fromUtf8(bytes);
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c != QLatin1Char('\\') || i + 1 == line.size()) {
            out += c;
            continue;
        }
        const QChar next = line.at(++i);
        if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else
            out += next;
    }
    return out;
}

void saveOrReport()
{
    QString problem;
    if (SaveMissedAlarms(&problem) || problem.isEmpty() || missedSaveFailureReported)
        return;
    missedSaveFailureReported = true;
    qWarning("tockwise: %s", qPrintable(problem));
}

} // namespace

void SetMissedFile(const QString &path)
{
    missedFile = path;
    missedFileUnread = false;
    missedSaveFailureReported = false;
}

void LoadMissedAlarms()
{
    ResetMissedAlarms();
    missedFileUnread = false;
    if (missedFile.isEmpty() || !QFileInfo::exists(missedFile))
        return;
    QFile file(missedFile);
    const bool regular = QFileInfo(missedFile).isFile();
    if (!regular || !file.open(QIODevice::ReadOnly)) {
        missedFileUnread = true;
        qWarning("tockwise: the missed alarms in %s cannot be read: %s",
                 qPrintable(QDir::toNativeSeparators(missedFile)),
                 regular ? qPrintable(file.errorString()) : "not a regular file");
        return;
    }
    const QByteArray contents = file.readAll();
    for (const QByteArray &line : contents.split('\n'))
        if (!line.isEmpty())
            MissedAlarms.append(unescapeLine(line));
}

bool SaveMissedAlarms(QString *error)
{
    if (missedFile.isEmpty())
        return true;
    if (missedFileUnread) {
        if (error)
            *error = QStringLiteral("The missed alarms are kept in memory only: %1 could not be read at start-up")
                         .arg(QDir::toNativeSeparators(missedFile));
        return false;
    }
    QByteArray contents;
    for (qsizetype k = 1; k < MissedAlarms.size(); ++k) {
        if (MissedAlarms.at(k).isEmpty())
            continue;
        contents += escapeLine(MissedAlarms.at(k));
        contents += '\n';
    }
    // Replaced whole, so a crash or a full disk leaves the previous list
    // rather than part of one; a link there is replaced, not written through.
    QString reason;
    if (StateFile::Replace(missedFile, contents, &reason))
        return true;
    if (error)
        *error = QStringLiteral("The missed alarms were not saved to %1: %2")
                     .arg(QDir::toNativeSeparators(missedFile), reason);
    return false;
}

void DeleteMissedAlarm(qint32 index)
{
    if (index > 0 && index < MissedAlarms.size() && !MissedAlarms.at(index).isEmpty()) {
        MissedAlarms[index] = QString();
        saveOrReport();
        if (alarmWindows)
            alarmWindows->MissedAlarmsChanged();
    }
}

void ClearMissedAlarms()
{
    ResetMissedAlarms();
    saveOrReport();
    if (alarmWindows)
        alarmWindows->MissedAlarmsChanged();
}

bool HasMissedAlarms()
{
    for (qsizetype k = 1; k < MissedAlarms.size(); ++k)
        if (!MissedAlarms.at(k).isEmpty())
            return true;
    return false;
}

QString FormatAlarmTime(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    return QStringLiteral("%1,  %2 %3")
        .arg(AlarmWords::Time(time.hour(), time.minute()))
        .arg(date.day())
        .arg(QLocale::system().monthName(date.month(), QLocale::LongFormat));
}

void CheckAlarms(qint32 CheckMinute, qint32 MissedMinute)
{
    using namespace TimingModule;
    const QList<AlarmRecord> &alarms = AlarmStore::Instance().Records();
    const qsizetype upper = alarms.size() - 1;
    // Every rule needs the time of day first; comparing it once per alarm here
    // keeps the week-long catch-up cheap. The full rule runs only on a match.
    const qint32 minute = CheckMinute % MinutesPerHour;
    const qint32 hour = (CheckMinute % MinutesPerDay - minute) / MinutesPerHour;
    const AlarmStore &store = AlarmStore::Instance();
    for (qsizetype i = 1; i <= upper; ++i) {
        const AlarmRecord &a = alarms.at(i);
        if (a.Disabled != 0)
            continue;
        if (!store.RuleOf(static_cast<int>(i)).IsEmpty()) {
            if (ruleRingAfter(static_cast<int>(i), CheckMinute - 1) == CheckMinute &&
                (MissedMinute == 0 || CheckMinute > store.ChangedAt(static_cast<int>(i))))
                FireAlarm(static_cast<int>(i), MissedMinute);
            continue;
        }
        if (a.Minute != minute || a.Hour != hour)
            continue;
        // Added or changed from the command line while no clock ran: it was
        // not the user's alarm yet at the minutes up to that change.
        if (MissedMinute != 0 && CheckMinute <= AlarmStore::Instance().ChangedAt(static_cast<int>(i)))
            continue;
        if (isDue(a, CheckMinute))
            FireAlarm(static_cast<int>(i), MissedMinute);
    }
}

void FireAlarm(int i, qint32 MissedMinute)
{
    const AlarmRecord &alarm = AlarmStore::Instance().At(i);
    if (MissedMinute == 0) {
        TraceEvent("ring", QStringLiteral("%1 %2").arg(LastCheck).arg(alarm.TrimmedName()));
        if (alarmWindows)
            alarmWindows->OpenNotification(alarm.TrimmedName(), FormatAlarmTime(TimingModule::Now()), LastCheck,
                                           AlarmStore::Instance().IdOf(i));
    } else {
        AddMissedAlarm(alarm.TrimmedName(), TimingModule::MinuteMoment(MissedMinute));
    }
}

namespace {
// While a catch-up runs, its lines only collect; the panel is brought up and
// redrawn once at the end. A week of missed lines redrawn line by line kept
// the clock from its first frame for minutes.
bool collecting = false;
bool collected = false;
} // namespace

void AddMissedAlarm(const QString &text, const QDateTime &when)
{
    MissedAlarms.append(text + QStringLiteral(" - ") + FormatAlarmTime(when));
    TraceEvent("missed", MissedAlarms.last());
    if (collecting) {
        collected = true;
        return;
    }
    // Written at once: the line outlives a crash, and a notification that
    // times out after the clock has gone.
    saveOrReport();
    if (alarmWindows)
        alarmWindows->ShowMissedAlarms();
}

namespace {

// A clock found set back too far: checking goes on from the present minute,
// which is itself still to be examined (its alarm is the one the user is
// waiting for right now).
void followClockSetBack(qint32 now)
{
    if (qint64(LastCheck) - now <= SetBackTolerance)
        return;
    TraceEvent("set-back", QStringLiteral("%1 %2").arg(LastCheck).arg(now));
    LastCheck = now - 1;
}

qint32 minuteOfEnd(const Snoozes::Snooze &snooze)
{
    return TimingModule::MinuteOf(snooze.end.toLocalTime());
}

// Examines, as missed, every minute after LastCheck up to and including last.
// Snoozes that ended meanwhile (given in the order they ended) are missed
// lines too, each among the alarms of its minute.
void catchUpAsMissed(qint32 last, const QList<Snoozes::Snooze> &ended, bool showKeptLines)
{
    if (LastCheck < last - CatchUpLimit)
        LastCheck = last - CatchUpLimit;
    collecting = true;
    collected = false;
    qsizetype next = 0;
    const auto snoozesUpTo = [&](qint64 minute) {
        for (; next < ended.size() && minuteOfEnd(ended.at(next)) <= minute; ++next)
            AddMissedAlarm(ended.at(next).name, TimingModule::MinuteMoment(minuteOfEnd(ended.at(next))));
    };
    while (last > LastCheck) {
        ++LastCheck;
        snoozesUpTo(LastCheck - 1);
        CheckAlarms(LastCheck, LastCheck);
    }
    snoozesUpTo(std::numeric_limits<qint64>::max());
    collecting = false;
    if (collected)
        saveOrReport();
    if ((collected || (showKeptLines && HasMissedAlarms())) && alarmWindows)
        alarmWindows->ShowMissedAlarms();
}

} // namespace

void StartupCatchUp()
{
    const qint32 now = TimingModule::CurrentMinute();
    followClockSetBack(now);
    catchUpAsMissed(now, Snoozes::TakeDue(), true);
}

qint32 NextDueMinute(qint32 after, int *which)
{
    using namespace TimingModule;
    const QList<AlarmRecord> &alarms = AlarmStore::Instance().Records();
    qint64 best = -1;
    int bestIndex = 0;
    qsizetype i = 1;
    const auto consider = [&](const AlarmRecord &a, qint64 t) {
        if (t > after && t <= std::numeric_limits<qint32>::max() && (best < 0 || t < best) &&
            isDue(a, static_cast<qint32>(t))) {
            best = t;
            bestIndex = static_cast<int>(i);
        }
    };
    const qint64 firstDay = FloorDiv(after, MinutesPerDay);
    for (; i < alarms.size(); ++i) {
        const AlarmRecord &a = alarms.at(i);
        if (a.Disabled != 0)
            continue;
        if (!AlarmStore::Instance().RuleOf(static_cast<int>(i)).IsEmpty()) {
            const qint32 t = ruleRingAfter(static_cast<int>(i), after);
            if (t > after && (best < 0 || t < best)) {
                best = t;
                bestIndex = static_cast<int>(i);
            }
            continue;
        }
        if (a.Hour > 23 || a.Minute > 59)
            continue;
        const qint64 timeOfDay = qint64(a.Hour) * MinutesPerHour + a.Minute;
        if (a.AlarmType == AlarmRecord::OnceOnly) {
            const QDate date(a.Year, a.Month, a.Day);
            if (date.isValid())
                consider(a, QDate(2000, 1, 1).daysTo(date) * MinutesPerDay + timeOfDay);
            continue;
        }
        // Every repeating kind falls due within a week (the weekdays within
        // three days); the rule itself decides which of these days.
        for (qint64 day = firstDay; day <= firstDay + DaysPerWeek; ++day)
            consider(a, day * MinutesPerDay + timeOfDay);
    }
    if (which)
        *which = best < 0 ? 0 : bestIndex;
    return static_cast<qint32>(best);
}

namespace {

// The wall-clock minute as a moment of this time zone. One the wall clock
// skips (daylight saving time begins) is examined as the clock jumps past
// it: the first moment after the jump.
QDateTime localMoment(qint32 minute)
{
    QDateTime local;
    for (int step = 0; step < 180 && !local.isValid(); ++step) {
        const QDateTime wall = TimingModule::MinuteMoment(minute).addSecs(60 * step);
        local = QDateTime(wall.date(), wall.time(), Qt::LocalTime);
    }
    return local;
}

} // namespace

Coming NextRing()
{
    Coming next;
    int which = 0;
    const qint32 alarm = NextDueMinute(TimingModule::CurrentMinute(), &which);
    if (alarm >= 0) {
        next.name = AlarmStore::Instance().At(which).TrimmedName();
        next.when = localMoment(alarm);
    }
    for (const Snoozes::Snooze &snooze : Snoozes::Pending()) {
        if (next.name.isEmpty() || snooze.end < next.when) {
            next.name = snooze.name;
            next.when = snooze.end.toLocalTime();
            next.snoozed = true;
        }
    }
    return next;
}

bool HasPassed(const AlarmRecord &alarm, const QDateTime &now)
{
    if (alarm.AlarmType != AlarmRecord::OnceOnly)
        return false;
    const QDate date(alarm.Year, alarm.Month, alarm.Day);
    if (!date.isValid() || alarm.Hour > 23 || alarm.Minute > 59)
        return false;
    return TimingModule::MinuteOf(date, QTime(alarm.Hour, alarm.Minute)) <= TimingModule::MinuteOf(now);
}

QDateTime NextWakeMoment()
{
    using namespace TimingModule;
    const qint32 now = CurrentMinute();
    QDateTime wake;
    const qint32 alarm = NextDueMinute(now);
    if (alarm >= 0)
        wake = localMoment(alarm).toUTC();
    for (const Snoozes::Snooze &snooze : Snoozes::Pending()) {
        if (!wake.isValid() || snooze.end < wake)
            wake = snooze.end;
    }
    return wake;
}

bool RingDueSnoozes()
{
    const QList<Snoozes::Snooze> due = Snoozes::TakeDue();
    for (const Snoozes::Snooze &snooze : due) {
        TraceEvent("ring", QStringLiteral("%1 %2").arg(minuteOfEnd(snooze)).arg(snooze.name));
        if (alarmWindows)
            alarmWindows->OpenNotification(snooze.name, FormatAlarmTime(TimingModule::Now()), minuteOfEnd(snooze),
                                           snooze.alarmId);
    }
    return !due.isEmpty();
}

bool LiveCheck()
{
    return LiveCheck(TimingModule::CurrentMinute());
}

bool LiveCheck(qint32 currentMinute)
{
    followClockSetBack(currentMinute);
    if (currentMinute <= LastCheck)
        return false;
    // After a long gap only the minutes before the present one are missed;
    // the present minute rings.
    if (qint64(currentMinute) - LastCheck > LiveGapLimit)
        catchUpAsMissed(currentMinute - 1, {}, false);
    ++LastCheck;
    CheckAlarms(LastCheck, 0);
    return true;
}

} // namespace AlarmChecking
