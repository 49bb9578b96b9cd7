// The alarm-file reader: any bytes decode to one record per whole slot, go
// through a write and a second read without changing, and load from a real
// file the way the program loads Alarms.dat.

#include "FuzzTarget.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

using namespace AlarmHandling;

namespace {

QString folder()
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    return dir.path();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray encodeTable(const QList<AlarmRecord> &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    FUZZ_CHECK(WriteTable(buffer, table, &error));
    return buffer.data();
}

// Every field except Index, which a read takes from the slot position.
bool sameContent(const AlarmRecord &a, const AlarmRecord &b)
{
    AlarmRecord left = a;
    left.Index = b.Index;
    return left == b;
}

// The record fields read straight from the bytes, independently of the decoder.
void checkAgainstBytes(const AlarmRecord &r, const char *slot)
{
    FUZZ_CHECK(r.Name.size() == AlarmRecord::NameLength);
    FUZZ_CHECK(r.AlarmType == quint8(slot[104]));
    FUZZ_CHECK(r.Hour == quint8(slot[105]));
    FUZZ_CHECK(r.Minute == quint8(slot[106]));
    FUZZ_CHECK(r.WeekDay == quint8(slot[107]));
    FUZZ_CHECK(r.Day == quint8(slot[108]));
    FUZZ_CHECK(r.Month == quint8(slot[109]));
    FUZZ_CHECK(r.Year == qFromLittleEndian<qint16>(slot + 110));
    FUZZ_CHECK(r.Deleted == qFromLittleEndian<qint16>(slot + 112));
    FUZZ_CHECK(r.Disabled == qFromLittleEndian<qint16>(slot + 114));
    // Plain ASCII names (what the program writes for most alarms) come back as they are.
    for (int i = 0; i < AlarmRecord::NameLength; ++i) {
        const uchar byte = uchar(slot[4 + i]);
        if (byte < 0x80)
            FUZZ_CHECK(r.Name.at(i).unicode() == byte);
    }
}

} // namespace

int TestOneInput(const uint8_t *data, size_t size)
{
    // Raw view of the fuzzer's exactly sized buffer: a read past the end is caught.
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    // Decode: one record per whole slot, the index from the position.
    const QList<AlarmRecord> table = DecodeTable(input);
    FUZZ_CHECK(table.size() == input.size() / SlotSize);
    QList<AlarmRecord> kept;
    for (qsizetype i = 0; i < table.size(); ++i) {
        FUZZ_CHECK(table.at(i).Index == i);
        checkAgainstBytes(table.at(i), input.constData() + i * SlotSize);
        if (table.at(i).Deleted == 0)
            kept.append(table.at(i));
    }

    // Write: deleted records dropped, each kept record one zero-padded slot.
    const QByteArray written = encodeTable(table);
    FUZZ_CHECK(written.size() == kept.size() * SlotSize);
    const QList<AlarmRecord> reread = DecodeTable(written);
    FUZZ_CHECK(reread.size() == kept.size());
    for (qsizetype j = 0; j < kept.size(); ++j) {
        const char *slot = written.constData() + j * SlotSize;
        FUZZ_CHECK(qFromLittleEndian<qint32>(slot) == kept.at(j).Index);
        for (int k = RecordSize; k < SlotSize; ++k)
            FUZZ_CHECK(slot[k] == 0);
        FUZZ_CHECK(reread.at(j).Index == j);
        checkAgainstBytes(reread.at(j), slot);
        FUZZ_CHECK(sameContent(reread.at(j), kept.at(j)));
    }
    // A second round changes nothing but the stored positions.
    const QByteArray rewritten = encodeTable(reread);
    FUZZ_CHECK(rewritten.size() == written.size());
    for (qsizetype j = 0; j < reread.size(); ++j) {
        const qsizetype at = j * SlotSize;
        FUZZ_CHECK(qFromLittleEndian<qint32>(rewritten.constData() + at) == j);
        FUZZ_CHECK(rewritten.mid(at + 4, SlotSize - 4) == written.mid(at + 4, SlotSize - 4));
    }
    FUZZ_CHECK(DecodeTable(rewritten) == reread);

    // The whole load path on a real file.
    SetAlarmFolder(folder());
    const QString path = AlarmFilePath();
    writeFile(path, input);
    QString error;
    AlarmStore &store = AlarmStore::Instance();
    FUZZ_CHECK(store.Load(&error));
    if (input.size() < SlotSize) {
        // Too short for one slot: starts over with the placeholder, on disk too.
        FUZZ_CHECK(store.Records() == QList<AlarmRecord>{AlarmRecord{}});
        FUZZ_CHECK(readFile(path) == QByteArray(SlotSize, '\0'));
    } else {
        // Loading never touches a readable file.
        FUZZ_CHECK(store.Records() == table);
        FUZZ_CHECK(readFile(path) == input);
        if (store.Holds(1)) {
            // Any change writes the whole table, deleted records left out and
            // the placeholder kept; the table is then what the file holds.
            QList<AlarmRecord> saved = table;
            saved[0].Deleted = 0;
            const QByteArray expected = encodeTable(saved);
            FUZZ_CHECK(store.Replace(1, store.At(1), AlarmStore::Never, &error));
            FUZZ_CHECK(readFile(path) == expected);
            FUZZ_CHECK(store.Records() == DecodeTable(expected));
            FUZZ_CHECK(store.Load(&error));
            FUZZ_CHECK(store.Records() == DecodeTable(expected));
        }
    }
    return 0;
}
