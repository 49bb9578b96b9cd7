#include "engine/AlarmIdentity.h"

#include "engine/AlarmHandling.h"
#include "engine/StateFile.h"

#include <QStringList>
#include <QUuid>

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

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void save()
{
    QString error;
    if (!StateFile::WriteLines(file(), ids(), &error))
        qWarning("tockwise: %s", qPrintable(error));
}

} // namespace

void SetFile(const QString &path)
{
    file() = path;
    ids().clear();
}

void Reconcile()
{
    QStringList stored;
    QString error;
    const bool readable = StateFile::ReadLines(file(), &stored, &error);
    if (!readable)
        qWarning("tockwise: %s", qPrintable(error));
    const qsizetype records = AlarmHandling::Alarms.size() - 1;
    QStringList list = stored.mid(0, records);
    while (list.size() < records)
        list.append(newId());
    ids() = list;
    if (readable && list != stored)
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

void Appended()
{
    ids().append(newId());
    save();
}

void Removed(int index)
{
    if (index < 1 || index > ids().size())
        return;
    ids().removeAt(index - 1);
    save();
}

} // namespace AlarmIdentity
