#include "engine/AlarmStore.h"

#include "engine/AlarmHandling.h"
#include "engine/Snoozes.h"
#include "engine/StateFile.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace {

// The identity file's last line: the size and hash of the Alarms.dat its
// other lines belong to, one per record, in table order.
const QString TableLine = QStringLiteral("#table ");

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray tableHash(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

QString tableLine(const QByteArray &data)
{
    return TableLine + QString::number(data.size()) + QLatin1Char(' ') + QString::fromLatin1(tableHash(data));
}

// A slot's bytes past its index field, which goes stale when a record moves.
QByteArray slotKey(const char *slot)
{
    constexpr int IndexBytes = 4;
    return QCryptographicHash::hash(QByteArrayView(slot + IndexBytes, AlarmHandling::SlotSize - IndexBytes),
                                    QCryptographicHash::Sha1)
        .left(8)
        .toHex();
}

// One line of the identity file: the identity; after a tab the minute of the
// alarm's last change while no clock ran, where one is known; after another
// the key of the record it belongs to; after a third its rule, where it has
// one. Lines from before the keys (an identity alone, or with its minute)
// still read.
struct Line
{
    QString id;
    qint32 changedAt = AlarmStore::Never;
    QByteArray key;
    AlarmRule rule;
};

Line readLine(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('\t'));
    Line line;
    line.id = fields.value(0);
    bool number = false;
    const qint32 minute = fields.value(1).toInt(&number);
    line.changedAt = number ? minute : AlarmStore::Never;
    line.key = fields.value(2).toLatin1();
    if (fields.size() > 3)
        line.rule = AlarmRule::Decode(fields.at(3));
    return line;
}

} // namespace

AlarmStore &AlarmStore::Instance()
{
    static AlarmStore store;
    return store;
}

void AlarmStore::SetIdentityFile(const QString &path)
{
    m_identityFile = path;
    m_ids.clear();
    m_changes.clear();
    m_rules.clear();
}

QString AlarmStore::IdentityFile() const
{
    return m_identityFile;
}

QString AlarmStore::IdOf(int index) const
{
    return index >= 1 && index <= m_ids.size() ? m_ids.at(index - 1) : QString();
}

int AlarmStore::IndexOf(const QString &id) const
{
    const qsizetype at = id.isEmpty() ? -1 : m_ids.indexOf(id);
    return at < 0 ? -1 : static_cast<int>(at) + 1;
}

const AlarmRule &AlarmStore::RuleOf(int index) const
{
    static const AlarmRule none;
    return index >= 1 && index <= m_rules.size() ? m_rules.at(index - 1) : none;
}

qint32 AlarmStore::ChangedAt(int index) const
{
    return index >= 1 && index <= m_changes.size() ? m_changes.at(index - 1) : Never;
}

QByteArray AlarmStore::ContentKey(const AlarmRecord &record)
{
    return slotKey(AlarmHandling::EncodeSlot(record).constData());
}

bool AlarmStore::Load(QString *error, Missing missing)
{
    const QString path = AlarmHandling::AlarmFilePath();
    QByteArray data;
    if (!AlarmHandling::ReadFile(path, &data, error))
        return false;
    QList<AlarmRecord> records;
    if (data.size() < AlarmHandling::SlotSize) {
        // A new, empty or truncated file starts over with the placeholder slot.
        records = {AlarmRecord{}};
        if (missing == Missing::Create) {
            data = AlarmHandling::EncodeTable(records);
            if (!AlarmHandling::SaveFile(path, data, error))
                return false;
        }
    } else {
        records = AlarmHandling::DecodeTable(data);
    }
    m_records = records;
    ++m_generation;

    QList<Identity> paired;
    bool rewrite = false;
    pairIdentities(data, &paired, &rewrite);
    m_ids.clear();
    m_changes.clear();
    m_rules.clear();
    for (const Identity &identity : std::as_const(paired)) {
        m_ids.append(identity.id);
        m_changes.append(identity.changedAt);
        m_rules.append(identity.rule);
    }
    if (rewrite) {
        QString reason;
        if (!saveIdentities(data, m_records, m_ids, m_changes, m_rules, &reason))
            qWarning("tockwise: %s", qPrintable(reason));
    }
    return true;
}

void AlarmStore::pairIdentities(const QByteArray &data, QList<Identity> *paired, bool *rewrite) const
{
    const qsizetype records = m_records.size() - 1;
    QStringList stored;
    QString error;
    // A file that cannot be read is not replaced by less: new identities for
    // this run, the file left for the next.
    const bool readable = StateFile::ReadLines(m_identityFile, &stored, &error);
    if (!readable)
        qWarning("tockwise: %s", qPrintable(error));
    QString table;
    if (!stored.isEmpty() && stored.constLast().startsWith(TableLine))
        table = stored.takeLast();
    QList<Line> lines;
    lines.reserve(stored.size());
    for (const QString &text : std::as_const(stored))
        lines.append(readLine(text));

    // A file from before the table line was kept in step by position.
    const bool inStep = table.isEmpty() || table == tableLine(data);
    paired->clear();
    paired->reserve(records);
    if (inStep) {
        for (qsizetype i = 0; i < records; ++i) {
            if (i < lines.size())
                paired->append({lines.at(i).id, lines.at(i).changedAt, lines.at(i).rule});
            else
                paired->append({newId(), Never, {}});
        }
        *rewrite = readable && lines.size() != records;
        return;
    }

    // The table changed without its identities: each record takes the first
    // identity left whose key is its own, equal records in their order.
    QHash<QByteArray, QList<qsizetype>> byKey;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!lines.at(i).key.isEmpty())
            byKey[lines.at(i).key].append(i);
    for (qsizetype i = 1; i <= records; ++i) {
        const qsizetype at = i * AlarmHandling::SlotSize;
        const QByteArray key =
            at + AlarmHandling::SlotSize <= data.size() ? slotKey(data.constData() + at) : ContentKey(m_records.at(i));
        QList<qsizetype> &candidates = byKey[key];
        if (candidates.isEmpty()) {
            paired->append({newId(), Never, {}});
            continue;
        }
        const Line &line = lines.at(candidates.takeFirst());
        paired->append({line.id, line.changedAt, line.rule});
    }
    *rewrite = readable;
}

bool AlarmStore::saveIdentities(const QByteArray &tableBytes, const QList<AlarmRecord> &records, const QStringList &ids,
                                const QList<qint32> &changes, const QList<AlarmRule> &rules, QString *error) const
{
    QStringList lines;
    lines.reserve(ids.size() + 1);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const qint32 changed = changes.value(i, Never);
        const qsizetype at = (i + 1) * AlarmHandling::SlotSize;
        const QByteArray key = at + AlarmHandling::SlotSize <= tableBytes.size() ? slotKey(tableBytes.constData() + at)
                                                                                 : ContentKey(records.value(i + 1));
        QString line = ids.at(i) + QLatin1Char('\t') + (changed == Never ? QString() : QString::number(changed)) +
                       QLatin1Char('\t') + QString::fromLatin1(key);
        if (i < rules.size() && !rules.at(i).IsEmpty())
            line += QLatin1Char('\t') + rules.at(i).Encode();
        lines.append(line);
    }
    lines.append(tableLine(tableBytes));
    return StateFile::WriteLines(m_identityFile, lines, error);
}

bool AlarmStore::Apply(const Change &change, QString *error, QStringList *addedIds)
{
    if (addedIds)
        addedIds->clear();
    QSet<int> removed;
    for (int index : change.remove)
        if (Holds(index))
            removed.insert(index);
    for (const auto &[index, record] : change.replace) {
        Q_UNUSED(record);
        if (!Holds(index)) {
            if (error)
                *error = QStringLiteral("there is no alarm %1").arg(index);
            return false;
        }
    }
    for (const auto &[index, rule] : change.rules) {
        Q_UNUSED(rule);
        if (!Holds(index)) {
            if (error)
                *error = QStringLiteral("there is no alarm %1").arg(index);
            return false;
        }
    }
    if (removed.isEmpty() && change.replace.isEmpty() && change.add.isEmpty() && change.rules.isEmpty())
        return true;

    // The table as the change leaves it, each record with its identity and
    // minute; the file is written from it and the table becomes what the
    // file then holds.
    QList<AlarmRecord> next = m_records;
    // The placeholder is always written: without it every record would move.
    next[0].Deleted = 0;
    QStringList ids = m_ids;
    QList<qint32> changes = m_changes;
    QList<AlarmRule> rules = m_rules;
    ids.resize(next.size() - 1);
    changes.resize(next.size() - 1, Never);
    rules.resize(next.size() - 1);
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (ids.at(i).isEmpty())
            ids[i] = newId();
    for (const auto &[index, record] : change.replace) {
        next[index] = record;
        next[index].Index = index;
        if (change.changedAt != Never)
            changes[index - 1] = change.changedAt;
    }
    for (const auto &[index, rule] : change.rules)
        rules[index - 1] = rule;
    QStringList fresh;
    for (qsizetype k = 0; k < change.add.size(); ++k) {
        AlarmRecord record = change.add.at(k);
        record.Index = static_cast<qint32>(next.size());
        next.append(record);
        fresh.append(newId());
        ids.append(fresh.constLast());
        changes.append(change.changedAt);
        rules.append(change.addRules.value(k));
    }
    QStringList gone;
    // A record marked Deleted is no more written than a removed one.
    for (qsizetype i = next.size() - 1; i >= 1; --i) {
        if (removed.contains(static_cast<int>(i)) || next.at(i).Deleted != 0) {
            if (removed.contains(static_cast<int>(i)))
                gone.append(ids.at(i - 1));
            next.removeAt(i);
            ids.removeAt(i - 1);
            changes.removeAt(i - 1);
            rules.removeAt(i - 1);
        }
    }

    const QByteArray bytes = AlarmHandling::EncodeTable(next);
    const QByteArray before = AlarmHandling::EncodeTable(m_records);
    if (!AlarmHandling::SaveFile(AlarmHandling::AlarmFilePath(), bytes, error))
        return false;
    QString reason;
    // Alarms.dat is in place; identities that miss it are paired again by
    // content at the next load. A rule lives only in the identity file: a
    // table saved without the rules it needs would ring other moments, so
    // then the old table is put back and nothing changes.
    if (!saveIdentities(bytes, next, ids, changes, rules, &reason)) {
        const bool needed =
            std::any_of(rules.cbegin(), rules.cend(), [](const AlarmRule &r) { return !r.IsEmpty(); }) ||
            std::any_of(m_rules.cbegin(), m_rules.cend(), [](const AlarmRule &r) { return !r.IsEmpty(); });
        if (needed) {
            QString undo;
            if (!AlarmHandling::SaveFile(AlarmHandling::AlarmFilePath(), before, &undo))
                qWarning("tockwise: %s", qPrintable(undo));
            if (error)
                *error = reason;
            return false;
        }
        qWarning("tockwise: %s", qPrintable(reason));
    }
    m_records = AlarmHandling::DecodeTable(bytes);
    m_ids = ids;
    m_changes = changes;
    m_rules = rules;
    ++m_generation;
    for (const QString &id : std::as_const(gone))
        Snoozes::CancelFor(id);
    if (addedIds)
        *addedIds = fresh;
    emit changed();
    return true;
}

bool AlarmStore::Add(const QList<AlarmRecord> &records, qint32 changedAt, QString *error)
{
    Change change;
    change.add = records;
    change.changedAt = changedAt;
    return Apply(change, error);
}

bool AlarmStore::Replace(int index, const AlarmRecord &record, qint32 changedAt, QString *error)
{
    Change change;
    change.replace.append({index, record});
    change.changedAt = changedAt;
    return Apply(change, error);
}

bool AlarmStore::SetDisabled(int index, bool disabled, qint32 changedAt, QString *error)
{
    if (!Holds(index)) {
        if (error)
            *error = QStringLiteral("there is no alarm %1").arg(index);
        return false;
    }
    AlarmRecord record = At(index);
    record.Disabled = disabled ? -1 : 0;
    return Replace(index, record, changedAt, error);
}

bool AlarmStore::Remove(const QList<int> &indexes, QString *error)
{
    Change change;
    change.remove = indexes;
    return Apply(change, error);
}
