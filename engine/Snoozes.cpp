#include "engine/Snoozes.h"

#include "engine/StateFile.h"
#include "engine/TimingModule.h"

#include <algorithm>

namespace Snoozes {

namespace {

struct Entry
{
    Snooze snooze;
    qint64 endElapsed = 0; // on TimingModule::ElapsedMsecs
};

QString &file()
{
    static QString path;
    return path;
}

QList<Entry> &entries()
{
    static QList<Entry> list;
    return list;
}

QList<Snooze> &pendingView()
{
    static QList<Snooze> list;
    return list;
}

quint64 changes = 0;

std::function<void()> &changedHook()
{
    static std::function<void()> hook;
    return hook;
}

void changed()
{
    if (changedHook())
        changedHook()();
}

QDateTime nowUtc()
{
    return TimingModule::Now().toUTC();
}

void refreshView()
{
    ++changes;
    std::stable_sort(entries().begin(), entries().end(),
                     [](const Entry &a, const Entry &b) { return a.endElapsed < b.endElapsed; });
    pendingView().clear();
    for (const Entry &e : entries())
        pendingView().append(e.snooze);
}

// The absolute end of each snooze as of now: the real time left added to the
// present moment of the wall clock.
void restamp()
{
    const QDateTime now = nowUtc();
    const qint64 elapsed = TimingModule::ElapsedMsecs();
    for (Entry &e : entries())
        e.snooze.end = now.addMSecs(e.endElapsed - elapsed);
    refreshView();
}

} // namespace

void SetFile(const QString &path)
{
    file() = path;
    entries().clear();
    refreshView();
}

void Load()
{
    entries().clear();
    QStringList lines;
    QString error;
    if (!StateFile::ReadLines(file(), &lines, &error))
        qWarning("tockwise: %s", qPrintable(error));
    const QDateTime now = nowUtc();
    const qint64 elapsed = TimingModule::ElapsedMsecs();
    // One snooze a line: the end (ISO 8601, UTC), the alarm's identity, the
    // name it rang with (which may hold anything but a line end).
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 3)
            continue;
        const QDateTime end = QDateTime::fromString(fields.at(0), Qt::ISODateWithMs);
        if (!end.isValid())
            continue;
        Entry e;
        e.snooze = {fields.at(1), fields.mid(2).join(QLatin1Char('\t')), end.toUTC()};
        e.endElapsed = elapsed + now.msecsTo(e.snooze.end);
        entries().append(e);
    }
    refreshView();
    changed();
}

void Save()
{
    restamp();
    QStringList lines;
    for (const Entry &e : entries())
        lines.append(e.snooze.end.toString(Qt::ISODateWithMs) + QLatin1Char('\t') + e.snooze.alarmId +
                     QLatin1Char('\t') + QString(e.snooze.name).remove(QLatin1Char('\n')));
    QString error;
    if (!StateFile::WriteLines(file(), lines, &error))
        qWarning("tockwise: %s", qPrintable(error));
}

void Add(const QString &alarmId, const QString &name, int minutes)
{
    Entry e;
    e.snooze = {alarmId, name, QDateTime()};
    e.endElapsed = TimingModule::ElapsedMsecs() + qint64(minutes) * 60000;
    entries().append(e);
    Save();
    changed();
}

QList<Snooze> TakeDue()
{
    const qint64 elapsed = TimingModule::ElapsedMsecs();
    QList<Snooze> due;
    restamp();
    for (qsizetype i = 0; i < entries().size();) {
        if (entries().at(i).endElapsed <= elapsed) {
            due.append(entries().takeAt(i).snooze);
        } else {
            ++i;
        }
    }
    if (!due.isEmpty()) {
        Save();
        changed();
    }
    return due;
}

void CancelFor(const QString &alarmId)
{
    const auto gone = entries().removeIf([&alarmId](const Entry &e) { return e.snooze.alarmId == alarmId; });
    if (gone > 0) {
        Save();
        changed();
    }
}

quint64 Changes()
{
    return changes;
}

const QList<Snooze> &Pending()
{
    return pendingView();
}

QDateTime EndFor(const QString &alarmId)
{
    QDateTime end;
    if (alarmId.isEmpty())
        return end;
    for (const Snooze &snooze : pendingView()) {
        if (snooze.alarmId == alarmId && (!end.isValid() || snooze.end < end))
            end = snooze.end;
    }
    return end;
}

void SetChangedHook(std::function<void()> hook)
{
    changedHook() = std::move(hook);
}

qint64 MsecsToNext()
{
    if (entries().isEmpty())
        return -1;
    qint64 next = entries().first().endElapsed;
    for (const Entry &e : entries())
        next = std::min(next, e.endElapsed);
    return std::max<qint64>(0, next - TimingModule::ElapsedMsecs());
}

} // namespace Snoozes
