#include "sync/SyncState.h"

#include "engine/StateFile.h"
#include "interchange/ICalendar.h"

#include <QCryptographicHash>
#include <QUrl>

namespace SyncState {

namespace {

constexpr char Header[] = "tockwise-sync 1";
const char *const KindNames[] = {"own", "foreign", "kept", "ignored", "local"};

// Fields are percent-encoded: an href or an ETag may hold a tab.
QString field(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QStringLiteral("-")
                           : QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(bytes)));
}

QString field(const QString &text)
{
    return field(text.toUtf8());
}

QByteArray bytes(const QString &encoded)
{
    return encoded == QLatin1String("-") ? QByteArray() : QByteArray::fromPercentEncoding(encoded.toLatin1());
}

QString textOf(const QString &encoded)
{
    return QString::fromUtf8(bytes(encoded));
}

} // namespace

bool Read(const QString &path, State *state, QString *error)
{
    *state = State();
    QStringList lines;
    if (!StateFile::ReadLines(path, &lines, error))
        return false;
    if (lines.isEmpty())
        return true;
    const QStringList head = lines.first().split(QLatin1Char('\t'));
    if (head.value(0) != QLatin1String(Header)) {
        if (error)
            *error = QStringLiteral("%1 is not a sync state Tockwise can read").arg(path);
        return false;
    }
    state->collection = textOf(head.value(1, QStringLiteral("-")));
    state->token = bytes(head.value(2, QStringLiteral("-")));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(QLatin1Char('\t'));
        if (f.size() < 6)
            continue;
        Entry e;
        int kind = -1;
        for (int k = 0; k < 5; ++k) {
            if (f.at(0) == QLatin1String(KindNames[k]))
                kind = k;
        }
        if (kind < 0)
            continue;
        e.kind = static_cast<Kind>(kind);
        e.id = textOf(f.at(1));
        e.href = textOf(f.at(2));
        e.etag = bytes(f.at(3));
        e.uid = textOf(f.at(4));
        e.synced = bytes(f.at(5));
        state->entries.append(e);
    }
    return true;
}

bool Write(const QString &path, const State &state, QString *error)
{
    QStringList lines;
    lines.reserve(state.entries.size() + 1);
    lines.append(
        QStringList{QLatin1String(Header), field(state.collection), field(state.token)}.join(QLatin1Char('\t')));
    for (const Entry &e : state.entries)
        lines.append(QStringList{QLatin1String(KindNames[static_cast<int>(e.kind)]), field(e.id), field(e.href),
                                 field(e.etag), field(e.uid), field(e.synced)}
                         .join(QLatin1Char('\t')));
    return StateFile::WriteLines(path, lines, error);
}

QByteArray Fingerprint(const AlarmRecord &alarm)
{
    const QByteArray key =
        (ICalendar::Key(alarm) + (alarm.Disabled != 0 ? QStringLiteral("|off") : QString())).toUtf8();
    return QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20);
}

} // namespace SyncState
