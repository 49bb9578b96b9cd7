#include "engine/AlarmChecking.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmWindows.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace AlarmChecking {

qint32 LastCheck = 0;
QStringList MissedAlarms{QString()};

namespace {
AlarmWindows *alarmWindows = nullptr;

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

QString MissedFile()
{
    return missedFile;
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
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("The missed alarms were not saved to %1: %2")
                         .arg(QDir::toNativeSeparators(missedFile), reason);
        return false;
    };
    if (!QDir().mkpath(QFileInfo(missedFile).absolutePath()))
        return fail(QStringLiteral("the folder cannot be made"));
    // Written beside and renamed into place whole, so a crash or a full disk
    // leaves the previous list rather than part of one.
    QSaveFile file(missedFile);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (file.write(contents) != contents.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

void DeleteMissedAlarm(qint32 index)
{
    if (index > 0 && index < MissedAlarms.size() && !MissedAlarms.at(index).isEmpty()) {
        MissedAlarms[index] = QString();
        saveOrReport();
    }
}

void ClearMissedAlarms()
{
    ResetMissedAlarms();
    saveOrReport();
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
    return QStringLiteral("%1:%2,  %3 %4")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(date.day())
        .arg(QLocale::system().monthName(date.month(), QLocale::LongFormat));
}

void CheckAlarms(qint32 CheckMinute, qint32 MissedMinute)
{
    using namespace TimingModule;
    const QList<AlarmRecord> &alarms = AlarmHandling::Alarms;
    const qsizetype upper = alarms.size() - 1;
    // Every rule needs the time of day first; comparing it once per alarm here
    // keeps the week-long catch-up cheap. The full rule runs only on a match.
    const qint32 minute = CheckMinute % MinutesPerHour;
    const qint32 hour = (CheckMinute % MinutesPerDay - minute) / MinutesPerHour;
    for (qsizetype i = 1; i <= upper; ++i) {
        const AlarmRecord &a = alarms.at(i);
        if (a.Minute != minute || a.Hour != hour || a.Disabled != 0)
            continue;
        if (isDue(a, CheckMinute))
            FireAlarm(static_cast<int>(i), MissedMinute);
    }
}

void FireAlarm(int i, qint32 MissedMinute)
{
    const AlarmRecord &alarm = AlarmHandling::Alarms.at(i);
    if (MissedMinute == 0) {
        TraceEvent("ring", QStringLiteral("%1 %2").arg(LastCheck).arg(alarm.TrimmedName()));
        if (alarmWindows)
            alarmWindows->OpenNotification(alarm.TrimmedName(), FormatAlarmTime(TimingModule::Now()), LastCheck);
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

// Returns whether the clock was found set back too far and LastCheck moved to
// the present minute.
bool followClockSetBack(qint32 now)
{
    if (qint64(LastCheck) - now <= SetBackTolerance)
        return false;
    TraceEvent("set-back", QStringLiteral("%1 %2").arg(LastCheck).arg(now));
    LastCheck = now;
    return true;
}

void catchUpAsMissed(bool showKeptLines)
{
    const qint32 now = TimingModule::CurrentMinute();
    if (LastCheck < now - CatchUpLimit)
        LastCheck = now - CatchUpLimit;
    collecting = true;
    collected = false;
    while (TimingModule::CurrentMinute() > LastCheck) {
        ++LastCheck;
        CheckAlarms(LastCheck, LastCheck);
    }
    collecting = false;
    if (collected)
        saveOrReport();
    if ((collected || (showKeptLines && HasMissedAlarms())) && alarmWindows)
        alarmWindows->ShowMissedAlarms();
}

} // namespace

void StartupCatchUp()
{
    followClockSetBack(TimingModule::CurrentMinute());
    catchUpAsMissed(true);
}

bool LiveCheck()
{
    return LiveCheck(TimingModule::CurrentMinute());
}

bool LiveCheck(qint32 currentMinute)
{
    if (followClockSetBack(currentMinute) || currentMinute <= LastCheck)
        return false;
    if (qint64(currentMinute) - LastCheck > LiveGapLimit) {
        catchUpAsMissed(false);
        return true;
    }
    ++LastCheck;
    CheckAlarms(LastCheck, 0);
    return true;
}

} // namespace AlarmChecking
