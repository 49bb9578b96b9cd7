#include "engine/AlarmIdentity.h"

#include "engine/AlarmHandling.h"
#include "engine/StateFile.h"

#include <QStringList>
#include <QUuid>

#include <limits>

namespace AlarmIdentity {

namespace {

QString &file()
{
    static QString path;
    return path;
}

// Element i - 1 belongs to record i.
QStringList &ids()
{
    static QStringList list;
    return list;
}

// The minute each record was last changed by a command while no clock ran,
// element i - 1 for record i; Never where none is known.
QList<qint32> &changes()
{
    static QList<qint32> list;
    return list;
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// One line per record: the identity, and after a tab the minute of its last
// change where one is known (a file of identities alone still reads).
void save()
{
    QStringList lines;
    lines.reserve(ids().size());
    for (qsizetype i = 0; i < ids().size(); ++i) {
        const qint32 changed = i < changes().size() ? changes().at(i) : Never;
        lines.append(changed == Never ? ids().at(i) : ids().at(i) + QLatin1Char('\t') + QString::number(changed));
    }
    QString error;
    if (!StateFile::WriteLines(file(), lines, &error))
        qWarning("tockwise: %s", qPrintable(error));
}

} // namespace

void SetFile(const QString &path)
{
    file() = path;
    ids().clear();
    changes().clear();
}

void Reconcile()
{
    QStringList stored;
    QString error;
    const bool readable = StateFile::ReadLines(file(), &stored, &error);
    if (!readable)
        qWarning("tockwise: %s", qPrintable(error));
    const qsizetype records = AlarmHandling::Alarms.size() - 1;
    const QStringList kept = stored.mid(0, records);
    QStringList list;
    QList<qint32> changed;
    for (const QString &line : kept) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        list.append(tab < 0 ? line : line.left(tab));
        bool number = false;
        const qint32 minute = tab < 0 ? Never : line.mid(tab + 1).toInt(&number);
        changed.append(number ? minute : Never);
    }
    while (list.size() < records) {
        list.append(newId());
        changed.append(Never);
    }
    ids() = list;
    changes() = changed;
    if (readable && (kept.size() != stored.size() || list.size() != kept.size()))
        save();
}

QString Of(int index)
{
    return index >= 1 && index <= ids().size() ? ids().at(index - 1) : QString();
}

int IndexOf(const QString &id)
{
    const qsizetype at = id.isEmpty() ? -1 : ids().indexOf(id);
    return at < 0 ? -1 : static_cast<int>(at) + 1;
}

void Appended(int count)
{
    changes().resize(ids().size(), Never);
    for (int i = 0; i < count; ++i) {
        ids().append(newId());
        changes().append(Never);
    }
    save();
}

void Removed(int index)
{
    if (index < 1 || index > ids().size())
        return;
    ids().removeAt(index - 1);
    if (index <= changes().size())
        changes().removeAt(index - 1);
    save();
}

void SetChanged(int first, int last, qint32 minute)
{
    first = qMax(first, 1);
    last = qMin(last, static_cast<int>(ids().size()));
    if (first > last)
        return;
    changes().resize(ids().size(), Never);
    for (int index = first; index <= last; ++index)
        changes()[index - 1] = minute;
    save();
}

qint32 ChangedAt(int index)
{
    return index >= 1 && index <= changes().size() ? changes().at(index - 1) : Never;
}

} // namespace AlarmIdentity
