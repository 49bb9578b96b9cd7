#include "engine/AlarmChecking.h"
#include "engine/AlarmEditing.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmRule.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWindows.h"
#include "engine/Snoozes.h"
#include "engine/StateFile.h"
#include "engine/TimingModule.h"
#include "interchange/Recurrence.h"
#include "tests/common/AlarmFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QtEndian>
#include <ctime>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace AlarmHandling;
using namespace TimingModule;

namespace {

// Builds a slot by hand, field by field, independently of the writer.
QByteArray goldenSlot(qint32 index, const QByteArray &name100, quint8 type, quint8 hour, quint8 minute, quint8 weekDay,
                      quint8 day, quint8 month, qint16 year, qint16 deleted, qint16 disabled)
{
    Q_ASSERT(name100.size() == 100);
    QByteArray s;
    s.append(char(index & 0xff))
        .append(char((index >> 8) & 0xff))
        .append(char((index >> 16) & 0xff))
        .append(char((index >> 24) & 0xff));
    s.append(name100);
    s.append(char(type))
        .append(char(hour))
        .append(char(minute))
        .append(char(weekDay))
        .append(char(day))
        .append(char(month));
    for (qint16 v : {year, deleted, disabled})
        s.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    s.append(QByteArray(12, '\0'));
    return s;
}

QByteArray padded(const QByteArray &bytes)
{
    QByteArray out = bytes;
    out.resize(100, ' ');
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Accepts a number of bytes, then fails every write, like a disk that fills up.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity)
        : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray written;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override
    {
        const qint64 room = m_capacity - written.size();
        if (room <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 n = qMin(room, len);
        written.append(data, n);
        return n;
    }

private:
    qint64 m_capacity;
};

class Recorder : public AlarmWindows
{
public:
    struct Ring
    {
        QString name;
        QString dateText;
        qint32 dueMinute;
        QString alarmId;
    };
    QList<Ring> rings;
    int missedShown = 0;
    qsizetype linesWhenShown = 0;

    void OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute,
                          const QString &alarmId) override
    {
        rings.append({name, dateText, dueMinute, alarmId});
    }
    void ShowMissedAlarms() override
    {
        ++missedShown;
        linesWhenShown = AlarmChecking::MissedAlarms.size() - 1;
    }
};

QDateTime fakeNow;
qint64 fakeElapsed = 0; // real milliseconds, on a clock no clock set moves

QStringList missedLines()
{
    QStringList lines = AlarmChecking::MissedAlarms;
    return lines.mid(1);
}

} // namespace

class EngineTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    Recorder m_recorder;

private slots:
    void init()
    {
        Recurrence::Install();
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        SetAlarmFolder(m_dir->path());
        AlarmStore::Instance().SetIdentityFile(m_dir->filePath(QStringLiteral("alarm-ids")));
        QVERIFY(AlarmStore::Instance().Load(nullptr, AlarmStore::Missing::LeaveAlone));
        fakeNow = QDateTime(QDate(2024, 3, 4), QTime(18, 0));
        SetClock([] { return fakeNow; });
        fakeElapsed = 0;
        SetElapsedClock([] { return fakeElapsed; });
        Snoozes::SetFile(m_dir->filePath(QStringLiteral("snoozes")));
        m_recorder = Recorder{};
        AlarmChecking::SetWindows(&m_recorder);
        AlarmChecking::ResetMissedAlarms();
    }
    void cleanup()
    {
        SetClock({});
        SetElapsedClock({});
        AlarmStore::Instance().SetIdentityFile(QString());
        Snoozes::SetFile(QString());
        AlarmChecking::SetWindows(nullptr);
        AlarmChecking::SetMissedFile(QString());
        delete m_dir;
        m_dir = nullptr;
    }

    // ---- The file layout ------------------------------------------------

    void slotLayout_data()
    {
        QTest::addColumn<AlarmRecord>("record");
        QTest::addColumn<QByteArray>("slot");

        AlarmRecord placeholder;
        QTest::newRow("placeholder is all zeros") << placeholder << QByteArray(128, '\0');

        AlarmRecord dentist = makeAlarm("Dentist", AlarmRecord::OnceOnly, 9, 5, 0, 7, 3, 2024);
        dentist.Index = 1;
        QTest::newRow("once only, name padded with blanks")
            << dentist << goldenSlot(1, padded("Dentist"), 0, 9, 5, 0, 7, 3, 2024, 0, 0);

        AlarmRecord pills = makeAlarm("Pills", AlarmRecord::EveryWeekday, 8, 0, 0, 1, 1, 2000, -1);
        pills.Index = 300;
        QTest::newRow("disabled is FF FF, index 300 little-endian")
            << pills << goldenSlot(300, padded("Pills"), 3, 8, 0, 0, 1, 1, 2000, 0, -1);

        AlarmRecord gym = makeAlarm("Gym", AlarmRecord::Weekly, 18, 30, 4, 31, 12, 2050);
        gym.Index = 0x01020304;
        QTest::newRow("weekly, all bytes of a wide index")
            << gym << goldenSlot(0x01020304, padded("Gym"), 2, 18, 30, 4, 31, 12, 2050, 0, 0);

        AlarmRecord accents = makeAlarm(QString::fromUtf8("Café €5"), AlarmRecord::Daily, 7, 0);
        QTest::newRow("Windows-1252 bytes for é and €") << accents
                                                        << goldenSlot(0,
                                                                      padded("Caf\xe9 \x80"
                                                                             "5"),
                                                                      1, 7, 0, 0, 0, 0, 0, 0, 0);

        AlarmRecord foreign = makeAlarm(QString::fromUtf8("中文 \U0001F600!"), AlarmRecord::Daily, 7, 0);
        QTest::newRow("unmappable characters become ?")
            << foreign << goldenSlot(0, padded("?? ?!"), 1, 7, 0, 0, 0, 0, 0, 0, 0);

        AlarmRecord longName = makeAlarm(QString(130, 'x'), AlarmRecord::Daily, 23, 59);
        QTest::newRow("a long name keeps its first 100 characters")
            << longName << goldenSlot(0, QByteArray(100, 'x'), 1, 23, 59, 0, 0, 0, 0, 0, 0);

        AlarmRecord negativeYear = makeAlarm("Y", AlarmRecord::OnceOnly, 0, 0, 0, 1, 1, -2);
        QTest::newRow("signed year") << negativeYear << goldenSlot(0, padded("Y"), 0, 0, 0, 0, 1, 1, -2, 0, 0);
    }

    void slotLayout()
    {
        QFETCH(AlarmRecord, record);
        QFETCH(QByteArray, slot);
        QCOMPARE(EncodeSlot(record).toHex(' '), slot.toHex(' '));
    }

    void slotDecoding_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QString>("trimmedName");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("disabled");

        QTest::newRow("plain") << goldenSlot(7, padded("  Stand-up"), 1, 10, 0, 0, 0, 0, 2001, 0, 0) << "Stand-up" << 1
                               << 2001 << 0;
        QTest::newRow("high bytes decode from Windows-1252")
            << goldenSlot(1, padded("\x80 caf\xe9"), 1, 10, 0, 0, 0, 0, 0, 0, -1) << QString::fromUtf8("€ café") << 1
            << 0 << -1;
        QTest::newRow("padding bytes are ignored") << [] {
            QByteArray s = goldenSlot(1, padded("P"), 2, 1, 2, 3, 4, 5, 1999, 0, 0);
            s.replace(116, 12, QByteArray(12, '\xAA'));
            return s;
        }() << "P" << 2 << 1999 << 0;
    }

    void slotDecoding()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QString, trimmedName);
        QFETCH(int, type);
        QFETCH(int, year);
        QFETCH(int, disabled);
        const AlarmRecord r = DecodeSlot(slot.constData());
        QCOMPARE(r.TrimmedName(), trimmedName);
        QCOMPARE(r.Name.size(), 100);
        QCOMPARE(int(r.AlarmType), type);
        QCOMPARE(int(r.Year), year);
        QCOMPARE(int(r.Disabled), disabled);
        QCOMPARE(EncodeSlot(r).left(116), slot.left(116)); // round trip, padding aside
    }

    // ---- Loading --------------------------------------------------------

    void loadShortFiles_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("missing file") << false << QByteArray();
        QTest::newRow("empty file") << true << QByteArray();
        QTest::newRow("120 bytes") << true << QByteArray(120, 'z');
        QTest::newRow("127 bytes") << true << QByteArray(127, '\x7f');
    }

    void loadShortFiles()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, contents);
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("stale", 1, 1, 1)}));
        QVERIFY(QFile::remove(AlarmFilePath()));
        if (exists)
            writeFile(AlarmFilePath(), contents);

        QString error;
        QVERIFY2(AlarmStore::Instance().Load(&error), qPrintable(error));
        QCOMPARE(storedTable().size(), 1);
        QCOMPARE(storedTable().at(0), AlarmRecord{});
        QCOMPARE(readFile(AlarmFilePath()), QByteArray(128, '\0'));
    }

    void loadWholeSlots_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("records");
        QTest::newRow("one slot") << 128 << 1;
        QTest::newRow("129 bytes: trailing byte ignored") << 129 << 1;
        QTest::newRow("12 slots") << 1536 << 12;
        QTest::newRow("12 slots and a half") << 1536 + 64 << 12;
    }

    void loadWholeSlots()
    {
        QFETCH(int, length);
        QFETCH(int, records);
        QByteArray data;
        for (int k = 0; k * 128 < length; ++k) {
            // The stored Index is deliberately wrong: the slot position wins.
            data += k == 0 ? QByteArray(128, '\0')
                           : goldenSlot(99, padded("Alarm " + QByteArray::number(k)), 1, k % 24, k, 0, 0, 0, 0, 0, 0);
        }
        data.truncate(length);
        writeFile(AlarmFilePath(), data);

        QVERIFY(AlarmStore::Instance().Load());
        QCOMPARE(storedTable().size(), records);
        for (int i = 0; i < records; ++i)
            QCOMPARE(storedTable().at(i).Index, i);
        if (records > 1)
            QCOMPARE(storedTable().at(records - 1).TrimmedName(), QStringLiteral("Alarm %1").arg(records - 1));
        QCOMPARE(readFile(AlarmFilePath()).size(), length); // loading never rewrites a good file
    }

    void loadRefusesWhatIsNoTable_data()
    {
        // How the entry named Alarms.dat is made in the alarm folder.
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << "folder";
        // Opening a pipe would wait for a writer for ever.
        QTest::newRow("a named pipe") << "pipe";
        // Reading it would never end.
        QTest::newRow("a link to /dev/zero") << "zero";
        QTest::newRow("one byte over 64 MiB") << "huge";
        QTest::newRow("a link to nothing") << "dangling";
    }

    void loadRefusesWhatIsNoTable()
    {
        QFETCH(QString, kind);
        const QString path = AlarmFilePath();
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("kept", 1, 7, 0)}));
        QVERIFY(QFile::remove(path));
        QFile::remove(AlarmStore::Instance().IdentityFile());
        if (kind == "folder") {
            QVERIFY(QDir(m_dir->path()).mkdir(FileName));
        } else if (kind == "pipe") {
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == "huge") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(64 * 1024 * 1024 + 1)); // sparse: no disk taken
        } else {
            QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("gone")), path));
        }
        const QFileInfo before(path);

        QString error;
        QVERIFY(!AlarmStore::Instance().Load(&error));
        QVERIFY2(error.contains(FileName), qPrintable(error));
        QCOMPARE(storedTable().size(), 2);
        const QFileInfo after(path);
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.isFile(), before.isFile());
        QCOMPARE(after.exists(), before.exists());
        QCOMPARE(after.size(), before.size());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{FileName}); // nothing written beside it
    }

    void loadReadsThroughALinkToAFile()
    {
        QDir(m_dir->path()).mkdir(QStringLiteral("real"));
        const QString target = m_dir->filePath(QStringLiteral("real/table.dat"));
        writeFile(target, QByteArray(128, '\0') + goldenSlot(1, padded("Linked"), 1, 6, 0, 0, 0, 0, 0, 0, 0));
        QVERIFY(QFile::link(target, AlarmFilePath()));
        QString error;
        QVERIFY2(AlarmStore::Instance().Load(&error), qPrintable(error));
        QCOMPARE(storedTable().size(), 2);
        QCOMPARE(storedTable().at(1).TrimmedName(), QStringLiteral("Linked"));
    }

    // ---- Where the file lives -------------------------------------------

    void chooseAlarmFolder_data()
    {
        // What the program folder holds ("", "file" or "pipe"), whether it is
        // writable, whether the per-user folder holds a file, and the answer.
        QTest::addColumn<QString>("programEntry");
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<bool>("userHas");
        QTest::addColumn<QString>("expected");

        QTest::newRow("1 portable: beside the program, folder writable") << "file" << true << false << "program";
        QTest::newRow("1 portable wins over the user's file") << "file" << true << true << "program";
        QTest::newRow("2 the user's file, writable program folder without one") << "" << true << true << "user";
        QTest::newRow("2 the user's file, read-only program folder without one") << "" << false << true << "user";
        QTest::newRow("2 the user's file over a read-only folder's") << "file" << false << true << "user";
        QTest::newRow("3 a read-only folder's file is copied for the user") << "file" << false << false << "user";
        QTest::newRow("3 a read-only folder's pipe is not copied") << "pipe" << false << false << "program";
        QTest::newRow("4 nothing anywhere, writable program folder") << "" << true << false << "program";
        QTest::newRow("4 nothing anywhere, read-only program folder") << "" << false << false << "user";
    }

    void chooseAlarmFolder()
    {
        QFETCH(QString, programEntry);
        QFETCH(bool, programWritable);
        QFETCH(bool, userHas);
        QFETCH(QString, expected);

        const QString program = m_dir->filePath(QStringLiteral("prog"));
        const QString user = m_dir->filePath(QStringLiteral("data/tockwise")); // made when needed
        QVERIFY(QDir().mkpath(program));
        const QString programFile = QDir(program).filePath(FileName);
        const QString userFile = QDir(user).filePath(FileName);
        const QByteArray programBytes =
            QByteArray(128, '\0') + goldenSlot(1, padded("Shipped"), 1, 6, 0, 0, 0, 0, 0, 0, 0);
        const QByteArray userBytes = QByteArray(128, '\0') + goldenSlot(1, padded("Mine"), 1, 7, 0, 0, 0, 0, 0, 0, 0);
        if (programEntry == "file")
            writeFile(programFile, programBytes);
        else if (programEntry == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(programFile).constData(), 0600), 0);
        if (userHas) {
            QVERIFY(QDir().mkpath(user));
            writeFile(userFile, userBytes);
        }
        // Permission bits do not stop root; the writability of the program
        // folder is given instead.
        const FolderCheck canWrite = [&](const QString &folder) {
            return folder == program ? programWritable : QFileInfo(folder).isWritable();
        };

        const QString chosen = ChooseAlarmFolder(program, user, canWrite);
        QCOMPARE(chosen, expected == "program" ? program : user);
        QVERIFY(QFileInfo(chosen).isDir());
        if (programEntry == "file")
            QCOMPARE(readFile(programFile), programBytes); // the program's own file is never changed
        if (userHas)
            QCOMPARE(readFile(userFile), userBytes);
        else if (programEntry == "file" && chosen == user)
            QCOMPARE(readFile(userFile), programBytes);
        else if (chosen != user || programEntry == "pipe")
            QVERIFY(!QFileInfo::exists(userFile) && !QFileInfo(userFile).isSymLink());

        // Chosen again (the next start), the same folder, and a copy that has
        // since been edited is not copied over.
        if (chosen == user && QFileInfo::exists(userFile)) {
            writeFile(userFile, userBytes + userBytes.right(128));
            QCOMPARE(ChooseAlarmFolder(program, user, canWrite), user);
            QCOMPARE(readFile(userFile).size(), 3 * 128);
        }
    }

    // ---- Names ----------------------------------------------------------

    void everyStoredByteIsStorable()
    {
        // A name read from the file is never cut down by the editor.
        QByteArray all;
        for (int b = 1; b < 256; ++b)
            all.append(char(b));
        QByteArray slot = goldenSlot(1, padded(all.left(100)), 1, 0, 0, 0, 0, 0, 0, 0, 0);
        for (int start = 0; start < all.size(); start += 100) {
            slot.replace(4, 100, padded(all.mid(start, 100)));
            const QString name = DecodeSlot(slot.constData()).Name;
            QCOMPARE(StorableName(name), name);
        }
    }

    // ---- Saving ---------------------------------------------------------

    void saveLeavesOutDeletedRecords()
    {
        // A file from elsewhere with a record marked Deleted: the next change
        // leaves it out.
        QByteArray data(128, '\0');
        for (int i = 1; i <= 4; ++i)
            data += goldenSlot(i, padded("A" + QByteArray::number(i)), 1, 6, i, 0, 0, 0, 0, i == 2 ? -1 : 0, 0);
        writeFile(AlarmFilePath(), data);
        QVERIFY(AlarmStore::Instance().Load());
        QVERIFY(AlarmStore::Instance().Replace(1, storedTable().at(1)));
        const QByteArray file = readFile(AlarmFilePath());
        QCOMPARE(file.size(), 4 * 128);
        QCOMPARE(file.mid(0, 128), QByteArray(128, '\0'));
        // The saved slots carry the Index still held in memory (3 and 4 in slots 3 and 4).
        QCOMPARE(file.mid(256, 128), goldenSlot(3, padded("A3"), 1, 6, 3, 0, 0, 0, 0, 0, 0));
        QCOMPARE(file.mid(384, 128), goldenSlot(4, padded("A4"), 1, 6, 4, 0, 0, 0, 0, 0, 0));
        QCOMPARE(storedTable().size(), 4); // the table is what the file now holds
        QCOMPARE(storedTable().at(2).TrimmedName(), QStringLiteral("A3"));
    }

    void writeTableReportsAFailingDevice_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::newRow("nothing fits") << 0;
        QTest::newRow("fails inside the first slot") << 100;
        QTest::newRow("fails after two slots") << 256;
    }

    void writeTableReportsAFailingDevice()
    {
        QFETCH(int, capacity);
        const QList<AlarmRecord> table{AlarmRecord{}, makeAlarm("a", 1, 1, 1), makeAlarm("b", 1, 2, 2),
                                       makeAlarm("c", 1, 3, 3)};
        FailingDevice device(capacity);
        QString error;
        QVERIFY(!WriteTable(device, table, &error));
        QCOMPARE(error, QStringLiteral("No space left on device"));
    }

    // Every way of changing the table, saved or refused by the disk (files
    // may not grow past nothing, as on a full disk; root too is held to it):
    // saved, memory, Alarms.dat and the identities change together; refused,
    // none of them changes.
    void storeChangesAllOrNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("after"); // the names the table then holds
        QTest::addColumn<QList<int>>("kept");   // for each, the earlier record whose identity it keeps, 0 for a new one
        const QStringList abc{"A", "B", "C"};
        const struct
        {
            const char *operation;
            QStringList after;
            QList<int> kept;
        } rows[] = {
            {"add one", abc + QStringList{"D"}, {1, 2, 3, 0}},
            {"add many", abc + QStringList{"D", "E"}, {1, 2, 3, 0, 0}},
            {"replace", {"A", "Bee", "C"}, {1, 2, 3}},
            {"disable", abc, {1, 2, 3}},
            {"remove one", {"A", "C"}, {1, 3}},
            {"remove many", {"B"}, {2}},
            {"one step of each", {"A", "Cee", "D"}, {1, 3, 0}},
            {"editor adds", abc + QStringList{"New"}, {1, 2, 3, 0}},
            {"editor replaces", {"Ay", "B", "C"}, {1, 2, 3}},
            {"add one with a rule", abc + QStringList{"D"}, {1, 2, 3, 0}},
        };
        for (const auto &row : rows) {
            QTest::addRow("%s, saved", row.operation) << QString(row.operation) << row.after << row.kept;
            QTest::addRow("%s, refused", row.operation) << QString(row.operation) << abc << QList<int>{1, 2, 3};
        }
    }

    void storeChangesAllOrNothing()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, after);
        QFETCH(QList<int>, kept);
        const bool refused = QString::fromLatin1(QTest::currentDataTag()).endsWith(QLatin1String("refused"));
        AlarmStore &store = AlarmStore::Instance();
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("A", 1, 7, 0), makeAlarm("B", 1, 8, 0), makeAlarm("C", 1, 9, 0)}));
        const QStringList ids = store.Ids();
        QVERIFY(store.Replace(1, store.At(1))); // the identities on disk
        const QByteArray tableBefore = readFile(AlarmFilePath());
        const QByteArray idsBefore = readFile(store.IdentityFile());
        int told = 0;
        const QMetaObject::Connection counting = connect(&store, &AlarmStore::changed, this, [&told] { ++told; });

        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (refused) {
            rlimit none = old;
            none.rlim_cur = 0;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &none), 0);
        }
        QString error;
        bool saved = false;
        AlarmRecord renamed = store.At(2);
        renamed.Name = AlarmRecord::FixedName(QStringLiteral("Bee"));
        if (operation == "add one") {
            saved = store.Add({makeAlarm("D", 1, 10, 0)}, AlarmStore::Never, &error);
        } else if (operation == "add many") {
            saved = store.Add({makeAlarm("D", 1, 10, 0), makeAlarm("E", 1, 11, 0)}, AlarmStore::Never, &error);
        } else if (operation == "replace") {
            saved = store.Replace(2, renamed, AlarmStore::Never, &error);
        } else if (operation == "disable") {
            saved = store.SetDisabled(2, true, AlarmStore::Never, &error);
        } else if (operation == "remove one") {
            saved = store.Remove({2}, &error);
        } else if (operation == "remove many") {
            saved = store.Remove({3, 1}, &error);
        } else if (operation == "one step of each") {
            AlarmStore::Change change;
            change.remove = {2};
            AlarmRecord cee = store.At(3);
            cee.Name = AlarmRecord::FixedName(QStringLiteral("Cee"));
            change.replace = {{3, cee}};
            change.add = {makeAlarm("D", 1, 10, 0)};
            saved = store.Apply(change, &error);
        } else if (operation == "add one with a rule") {
            AlarmStore::Change change;
            change.add = {makeAlarm("D", 0, 10, 0, 0, 1, 1, 2027)};
            change.addRules = {
                AlarmRule::Decode(QStringLiteral(R"({"start":"2027-01-01T10:00","recur":"FREQ=DAILY"})"))};
            saved = store.Apply(change, &error);
        } else if (operation == "editor adds") {
            AlarmEditing::ClearEditAlarm();
            AlarmEditing::EditAlarm.Name = QStringLiteral("New");
            saved = AlarmEditing::StoreEditAlarm(&error);
        } else {
            AlarmEditing::EditAlarm = store.At(1);
            AlarmEditing::EditAlarm.Name = QStringLiteral("Ay");
            saved = AlarmEditing::StoreEditAlarm(&error);
        }
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        disconnect(counting);

        QCOMPARE(saved, !refused);
        QCOMPARE(error.isEmpty(), !refused);
        QCOMPARE(told, refused ? 0 : 1);
        QStringList names;
        for (int i = 1; i < storedTable().size(); ++i) {
            names.append(storedTable().at(i).TrimmedName());
            QCOMPARE(storedTable().at(i).Index, i);
            const int from = kept.value(i - 1);
            if (from > 0)
                QCOMPARE(store.IdOf(i), ids.at(from - 1));
            else
                QVERIFY(!ids.contains(store.IdOf(i)) && !store.IdOf(i).isEmpty());
        }
        QCOMPARE(names, after);
        if (store.Holds(2))
            QCOMPARE(int(store.At(2).Disabled), operation == "disable" && !refused ? -1 : 0);
        if (refused) {
            QCOMPARE(readFile(AlarmFilePath()), tableBefore);
            QCOMPARE(readFile(store.IdentityFile()), idsBefore);
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
                     (QStringList{QStringLiteral("alarm-ids"), FileName})); // no temporary left
            if (operation == "editor adds")
                QCOMPARE(AlarmEditing::EditAlarm.TrimmedName(), QStringLiteral("New")); // still in the editor
        } else {
            // What the next start reads back is what memory holds.
            const QList<AlarmRecord> held = storedTable();
            QVERIFY(store.Load());
            QCOMPARE(storedTable(), held);
            for (int i = 1; i < held.size(); ++i)
                QCOMPARE(store.IdOf(i), (kept.value(i - 1) > 0 ? ids.at(kept.value(i - 1) - 1) : store.IdOf(i)));
            QCOMPARE(store.RuleOf(4).recur,
                     operation == "add one with a rule" ? QStringLiteral("FREQ=DAILY") : QString());
        }
    }

    // A rule lives only beside Alarms.dat: when its identity file cannot be
    // written, the table that needs it is not left behind either.
    void aRuleIsNotSavedWithoutItsIdentityFile()
    {
        AlarmStore &store = AlarmStore::Instance();
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("A", 1, 7, 0)}));
        const QByteArray tableBefore = readFile(AlarmFilePath());
        store.SetIdentityFile(AlarmFilePath() + QStringLiteral("/alarm-ids")); // under a file: never written
        QVERIFY(store.Load());
        AlarmStore::Change change;
        change.add = {makeAlarm("D", 0, 10, 0, 0, 1, 1, 2027)};
        change.addRules = {AlarmRule::Decode(QStringLiteral(R"({"start":"2027-01-01T10:00","recur":"FREQ=DAILY"})"))};
        QString error;
        QVERIFY(!store.Apply(change, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(AlarmFilePath()), tableBefore);
        QCOMPARE(storedTable().size(), 2);
        QVERIFY(store.SetDisabled(1, true)); // without a rule the table is still saved, the identities warned of
    }

    // ---- The edit buffer ------------------------------------------------

    void clearEditAlarmPreparesANewAlarm_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("set"); // the new alarm's date and time
        QTest::newRow("03:50") << QDateTime(QDate(2031, 2, 27), QTime(3, 50))
                               << QDateTime(QDate(2031, 2, 27), QTime(4, 0));
        QTest::newRow("on the hour") << QDateTime(QDate(2031, 2, 27), QTime(7, 0))
                                     << QDateTime(QDate(2031, 2, 27), QTime(8, 0));
        QTest::newRow("the last second of a month")
            << QDateTime(QDate(2031, 2, 28), QTime(23, 59, 59)) << QDateTime(QDate(2031, 3, 1), QTime(0, 0));
    }

    void clearEditAlarmPreparesANewAlarm()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, set);
        fakeNow = now;
        AlarmEditing::EditAlarm = makeAlarm("old", 3, 1, 2, 3, 4, 5, 6, -1);
        AlarmEditing::EditAlarm.Index = 9;
        AlarmEditing::ClearEditAlarm();
        const AlarmRecord &e = AlarmEditing::EditAlarm;
        QCOMPARE(e.Index, 0);
        QCOMPARE(e.Name, QString(100, ' '));
        QCOMPARE(int(e.AlarmType), 0);
        QCOMPARE(QDateTime(QDate(e.Year, e.Month, e.Day), QTime(e.Hour, e.Minute)), set);
        QCOMPARE(int(e.WeekDay), 0);
        QCOMPARE(int(e.Disabled), 0);
        // It is ahead until its minute begins.
        QVERIFY(!AlarmChecking::HasPassed(e, now));
        QVERIFY(!AlarmChecking::HasPassed(e, set.addSecs(-1)));
        QVERIFY(AlarmChecking::HasPassed(e, set));
        AlarmRecord daily = e;
        daily.AlarmType = AlarmRecord::Daily;
        QVERIFY(!AlarmChecking::HasPassed(daily, set.addDays(3)));
    }

    void storeAppendsOverwritesAndRenumbersAfterRemoval()
    {
        using AlarmEditing::EditAlarm;
        for (const char *name : {"A", "B", "C"}) {
            AlarmEditing::ClearEditAlarm();
            EditAlarm.Name = QString::fromLatin1(name);
            QVERIFY(AlarmEditing::StoreEditAlarm());
        }
        // Upper bound 3: a new alarm becomes element 4 and the file 5 slots.
        AlarmEditing::ClearEditAlarm();
        EditAlarm.Name = QStringLiteral("D");
        EditAlarm.AlarmType = AlarmRecord::Daily;
        QVERIFY(AlarmEditing::StoreEditAlarm());
        QCOMPARE(EditAlarm.Index, 4);
        QCOMPARE(storedTable().size(), 5);
        QCOMPARE(readFile(AlarmFilePath()).size(), 640);

        // Editing element 2 overwrites it only; the file keeps its length.
        EditAlarm = storedTable().at(2);
        EditAlarm.Hour = 6;
        QVERIFY(AlarmEditing::StoreEditAlarm());
        QCOMPARE(readFile(AlarmFilePath()).size(), 640);
        QCOMPARE(int(storedTable().at(2).Hour), 6);
        QCOMPARE(storedTable().at(2).TrimmedName(), QStringLiteral("B"));

        // Removing element 2: C and D move to elements 2 and 3; the file's
        // slots keep the indexes they were saved with until the next save.
        QVERIFY(AlarmStore::Instance().Remove({2}));
        QCOMPARE(readFile(AlarmFilePath()).mid(3 * 128, 4), QByteArray("\x04\0\0\0", 4));
        QVERIFY(AlarmStore::Instance().Load());
        QCOMPARE(storedTable().size(), 4);
        QCOMPARE(storedTable().at(2).TrimmedName(), QStringLiteral("C"));
        QCOMPARE(storedTable().at(2).Index, 2);
        QCOMPARE(storedTable().at(3).TrimmedName(), QStringLiteral("D"));
        QCOMPARE(storedTable().at(3).Index, 3);

        // Editing the former element 4 now changes D, not a neighbour.
        EditAlarm = storedTable().at(3);
        EditAlarm.Minute = 45;
        QVERIFY(AlarmEditing::StoreEditAlarm());
        QVERIFY(AlarmStore::Instance().Load());
        QCOMPARE(storedTable().size(), 4);
        QCOMPARE(int(storedTable().at(3).Minute), 45);
        QCOMPARE(int(storedTable().at(2).Minute), 0);
    }

    // ---- The minute clock and the schedule tests ------------------------

    void currentMinute_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("minute");
        QTest::newRow("epoch, seconds dropped") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 59)) << 0;
        QTest::newRow("next day") << QDateTime(QDate(2000, 1, 2), QTime(0, 0)) << 1440;
        QTest::newRow("09:30:59 is 09:30") << QDateTime(QDate(2000, 1, 3), QTime(9, 30, 59)) << 2880 + 570;
        QTest::newRow("1 March 2000 after the leap day") << QDateTime(QDate(2000, 3, 1), QTime(0, 0)) << 86400;
        QTest::newRow("before the epoch") << QDateTime(QDate(1999, 12, 31), QTime(0, 0)) << -1440;
    }

    void currentMinute()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, minute);
        fakeNow = now;
        QCOMPARE(CurrentMinute(), minute);
        if (minute >= 0) {
            QCOMPARE(MinuteMoment(minute).date(), now.date());
            QCOMPARE(MinuteMoment(minute).time(), QTime(now.time().hour(), now.time().minute()));
        }
    }

    void schedule_data()
    {
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("weekDay");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<bool>("due");

        const int monday0930 = 2880 + 570;
        // type: 0 once only, 1 daily (MatchTime), 2 weekly, 3 every weekday
        QTest::newRow("epoch: time") << 0 << 1 << 0 << QDate() << 0 << 0 << true;
        QTest::newRow("epoch: Saturday is no weekday") << 0 << 3 << 0 << QDate() << 0 << 0 << false;
        QTest::newRow("epoch: weekly Saturday (5)") << 0 << 2 << 5 << QDate() << 0 << 0 << true;
        QTest::newRow("epoch: weekly Monday") << 0 << 2 << 0 << QDate() << 0 << 0 << false;
        QTest::newRow("epoch: once on 1 Jan 2000") << 0 << 0 << 0 << QDate(2000, 1, 1) << 0 << 0 << true;
        QTest::newRow("Mon 3 Jan: every weekday") << monday0930 << 3 << 0 << QDate() << 9 << 30 << true;
        QTest::newRow("Mon 3 Jan: weekly Monday") << monday0930 << 2 << 0 << QDate() << 9 << 30 << true;
        QTest::newRow("Mon 3 Jan: weekly Tuesday") << monday0930 << 2 << 1 << QDate() << 9 << 30 << false;
        QTest::newRow("Mon 3 Jan: wrong minute") << monday0930 << 3 << 0 << QDate() << 9 << 31 << false;
        QTest::newRow("Fri 7 Jan: every weekday") << monday0930 + 4 * 1440 << 3 << 0 << QDate() << 9 << 30 << true;
        QTest::newRow("Sun 9 Jan: no weekday") << monday0930 + 6 * 1440 << 3 << 0 << QDate() << 9 << 30 << false;
        QTest::newRow("Sun 9 Jan: weekly Sunday (6)") << monday0930 + 6 * 1440 << 2 << 6 << QDate() << 9 << 30 << true;
        QTest::newRow("29 Feb 2000 23:59") << 86399 << 0 << 0 << QDate(2000, 2, 29) << 23 << 59 << true;
        QTest::newRow("1 Mar 2000 00:00") << 86400 << 0 << 0 << QDate(2000, 3, 1) << 0 << 0 << true;
        QTest::newRow("1 Mar 2000 is not 29 Feb") << 86400 << 0 << 0 << QDate(2000, 2, 29) << 0 << 0 << false;
        QTest::newRow("once, other year") << 86400 << 0 << 0 << QDate(2001, 3, 1) << 0 << 0 << false;
        QTest::newRow("hour 24 never") << 1440 << 1 << 0 << QDate() << 24 << 0 << false;
        QTest::newRow("minute 60 never") << 60 << 1 << 0 << QDate() << 0 << 60 << false;
        QTest::newRow("negative midnight") << -1440 << 1 << 0 << QDate() << 0 << 0 << true;
        QTest::newRow("negative 01:00 never") << -1380 << 1 << 0 << QDate() << 1 << 0 << false;
        QTest::newRow("negative 23:00 never") << -60 << 1 << 0 << QDate() << 23 << 0 << false;
        QTest::newRow("negative day, weekday never") << -2 * 1440 << 3 << 0 << QDate() << 0 << 0 << false;
        QTest::newRow("year 2038 Daily 07:00")
            << MinuteOf(QDate(2038, 1, 19), QTime(7, 0)) << 1 << 0 << QDate() << 7 << 0 << true;
    }

    void schedule()
    {
        QFETCH(int, t);
        QFETCH(int, type);
        QFETCH(int, weekDay);
        QFETCH(QDate, date);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(bool, due);
        bool result = false;
        switch (type) {
        case 0:
            result = MatchOnceOnly(t, date.year(), date.month(), date.day(), hour, minute);
            break;
        case 1:
            result = MatchTime(t, hour, minute);
            break;
        case 2:
            result = MatchWeekly(t, weekDay, hour, minute);
            break;
        case 3:
            result = MatchEveryWeekday(t, hour, minute);
            break;
        }
        QCOMPARE(result, due);
    }

    void weekdaysOverAWholeWeek()
    {
        // Each day of the week is matched by exactly one weekly value, and the
        // working days are exactly Monday to Friday.
        const int monday = MinuteOf(QDate(2024, 3, 4), QTime(7, 0));
        for (int d = 0; d < 7; ++d) {
            const int t = monday + d * 1440;
            for (int w = 0; w < 7; ++w)
                QCOMPARE(MatchWeekly(t, w, 7, 0), w == d);
            QCOMPARE(MatchEveryWeekday(t, 7, 0), d < 5);
        }
    }

    // ---- Checking ------------------------------------------------------

    void formatAlarmTime()
    {
        QCOMPARE(AlarmChecking::FormatAlarmTime(QDateTime(QDate(2024, 3, 3), QTime(8, 5))),
                 QStringLiteral("08:05,  3 March"));
        QCOMPARE(AlarmChecking::FormatAlarmTime(QDateTime(QDate(2024, 12, 25), QTime(23, 0))),
                 QStringLiteral("23:00,  25 December"));
    }

    void firstRunChecksNothing()
    {
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Now", 1, 18, 0)}));
        AlarmChecking::LastCheck = CurrentMinute(); // the default of a first run
        AlarmChecking::StartupCatchUp();
        QVERIFY(missedLines().isEmpty());
        QVERIFY(m_recorder.rings.isEmpty());
    }

    void catchUpOverThreeDays()
    {
        // Closed on Monday 18:00, started again on Thursday 09:00.
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Dentist", 1, 7, 0)}));
        AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 4), QTime(18, 0));
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(9, 0, 30));
        AlarmChecking::StartupCatchUp();
        QCOMPARE(missedLines(),
                 (QStringList{"Dentist - 07:00,  5 March", "Dentist - 07:00,  6 March", "Dentist - 07:00,  7 March"}));
        // The panel comes up once, with every line already in the list.
        QCOMPARE(m_recorder.missedShown, 1);
        QCOMPARE(m_recorder.linesWhenShown, 3);
        QVERIFY(m_recorder.rings.isEmpty());
        QCOMPARE(AlarmChecking::LastCheck, CurrentMinute());
    }

    void catchUpLooksBackSevenDaysAtMost()
    {
        // A daily alarm matches once a day; after ten days away only the last
        // 10080 minutes count: 7 lines, the oldest one week minus a minute back.
        fakeNow = QDateTime(QDate(2024, 3, 20), QTime(12, 0));
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Noon", 1, 12, 0), makeAlarm("Past noon", 1, 12, 1)}));
        AlarmChecking::LastCheck = CurrentMinute() - 10 * 1440;
        AlarmChecking::StartupCatchUp();
        const QStringList lines = missedLines();
        QCOMPARE(lines.count(), 7 + 7);
        QCOMPARE(lines.first(), QStringLiteral("Past noon - 12:01,  13 March"));
        QCOMPARE(lines.last(), QStringLiteral("Noon - 12:00,  20 March"));
    }

    void changeWhileClosedIsNotMissedBeforeIt()
    {
        // Closed on Monday 18:00; on Wednesday at 10:00 a command added
        // "Dentist" (second alarm) with no clock running; started again on
        // Thursday 09:00. Only Thursday's 07:00 is its missed minute.
        AlarmStore &store = AlarmStore::Instance();
        QVERIFY(useTable(
            {AlarmRecord{}, makeAlarm("Gym", 1, 7, 0), makeAlarm("Dentist", 1, 7, 0), makeAlarm("Tea", 1, 7, 0)}));
        QVERIFY(store.Replace(2, store.At(2), MinuteOf(QDate(2024, 3, 6), QTime(10, 0))));
        // That very minute counts as seen.
        QVERIFY(store.Replace(3, store.At(3), MinuteOf(QDate(2024, 3, 7), QTime(7, 0))));
        // The first record's line from an older program has no minute, and
        // such a file names no table; the removal of the first moves the
        // others' minutes with their identities.
        QFile ids(store.IdentityFile());
        const QString two = store.IdOf(2), three = store.IdOf(3);
        const qint32 twoChanged = store.ChangedAt(2), threeChanged = store.ChangedAt(3);
        QVERIFY(ids.open(QIODevice::WriteOnly));
        ids.write(
            QStringLiteral("old-id\n%1\t%2\n%3\t%4\n").arg(two).arg(twoChanged).arg(three).arg(threeChanged).toUtf8());
        ids.close();
        QVERIFY(store.Load());
        QCOMPARE(store.IdOf(1), QStringLiteral("old-id"));
        QCOMPARE(store.ChangedAt(1), AlarmStore::Never);
        QVERIFY(store.Remove({1}));
        QCOMPARE(store.ChangedAt(1), MinuteOf(QDate(2024, 3, 6), QTime(10, 0)));
        // Gym again, as the clock's own editor adds it: no minute of change.
        QVERIFY(store.Add({makeAlarm("Gym", 1, 7, 0)}));

        AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 4), QTime(18, 0));
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(9, 0, 30));
        AlarmChecking::StartupCatchUp();
        QCOMPARE(missedLines(), (QStringList{"Gym - 07:00,  5 March", "Gym - 07:00,  6 March",
                                             "Dentist - 07:00,  7 March", "Gym - 07:00,  7 March"}));
    }

    void startupMinuteIsMissedNotRung()
    {
        fakeNow = QDateTime(QDate(2024, 3, 4), QTime(18, 0, 10));
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Tea", 1, 18, 0)}));
        AlarmChecking::LastCheck = CurrentMinute() - 1;
        AlarmChecking::StartupCatchUp();
        QCOMPARE(missedLines(), QStringList{"Tea - 18:00,  4 March"});
        // The live check that follows does not ring it again.
        QVERIFY(!AlarmChecking::LiveCheck());
        QVERIFY(m_recorder.rings.isEmpty());
    }

    void whatNeverFires_data()
    {
        QTest::addColumn<AlarmRecord>("alarm");
        QTest::newRow("disabled -1") << makeAlarm("x", 1, 7, 0, 0, 0, 0, 0, -1);
        QTest::newRow("disabled any non-zero") << makeAlarm("x", 1, 7, 0, 0, 0, 0, 0, 1);
        QTest::newRow("type 4") << makeAlarm("x", 4, 7, 0);
        QTest::newRow("type 255") << makeAlarm("x", 255, 7, 0);
        QTest::newRow("weekday 7") << makeAlarm("x", 2, 7, 0, 7);
        QTest::newRow("once only, date past") << makeAlarm("x", 0, 7, 0, 0, 5, 3, 2023);
    }

    void whatNeverFires()
    {
        QFETCH(AlarmRecord, alarm);
        QVERIFY(useTable({AlarmRecord{}, alarm}));
        AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 4), QTime(0, 0));
        fakeNow = QDateTime(QDate(2024, 3, 11), QTime(0, 0)); // a whole week, every weekday
        AlarmChecking::StartupCatchUp();
        QVERIFY(missedLines().isEmpty());
    }

    void placeholderNeverFires()
    {
        // Element 0 is all zeros: Once Only, 00:00 on day 0 of month 0; give it
        // a date that would match to prove it is skipped, not merely mismatched.
        AlarmRecord zero = makeAlarm("zero", 1, 0, 0);
        QVERIFY(useTable({zero}));
        AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 3), QTime(23, 0));
        fakeNow = QDateTime(QDate(2024, 3, 4), QTime(1, 0));
        AlarmChecking::StartupCatchUp();
        QVERIFY(missedLines().isEmpty());
    }

    void liveCheckOneMinutePerTick()
    {
        QVERIFY(useTable(
            {AlarmRecord{}, makeAlarm("First", 1, 7, 0), makeAlarm("Second", 1, 7, 0), makeAlarm("Later", 1, 7, 2)}));
        fakeNow = QDateTime(QDate(2024, 3, 5), QTime(6, 59, 50));
        AlarmChecking::LastCheck = CurrentMinute();
        QVERIFY(!AlarmChecking::LiveCheck());

        // The clock jumps three minutes ahead: one minute per tick, all live.
        fakeNow = QDateTime(QDate(2024, 3, 5), QTime(7, 2, 5));
        QVERIFY(AlarmChecking::LiveCheck());
        QCOMPARE(m_recorder.rings.size(), 2);
        QCOMPARE(m_recorder.rings.at(0).name, QStringLiteral("First"));
        QCOMPARE(m_recorder.rings.at(1).name, QStringLiteral("Second"));
        QCOMPARE(m_recorder.rings.at(0).dueMinute, MinuteOf(QDate(2024, 3, 5), QTime(7, 0)));
        QCOMPARE(m_recorder.rings.at(0).dateText, QStringLiteral("07:02,  5 March")); // the present moment
        QVERIFY(AlarmChecking::LiveCheck());
        QCOMPARE(m_recorder.rings.size(), 2);
        QVERIFY(AlarmChecking::LiveCheck());
        QCOMPARE(m_recorder.rings.size(), 3);
        QCOMPARE(m_recorder.rings.at(2).dueMinute, MinuteOf(QDate(2024, 3, 5), QTime(7, 2)));
        QVERIFY(!AlarmChecking::LiveCheck());
        QVERIFY(missedLines().isEmpty());
    }

    void clockSetBackChecksNothingTwice()
    {
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Once a day", 1, 2, 30)}));
        fakeNow = QDateTime(QDate(2024, 10, 27), QTime(2, 30, 1));
        AlarmChecking::LastCheck = CurrentMinute() - 1;
        QVERIFY(AlarmChecking::LiveCheck());
        QCOMPARE(m_recorder.rings.size(), 1);

        // The wall clock goes back an hour (daylight saving ends).
        fakeNow = QDateTime(QDate(2024, 10, 27), QTime(1, 35));
        for (int minute = 35; minute < 60 + 31; ++minute) {
            fakeNow = QDateTime(QDate(2024, 10, 27), QTime(1, 0)).addSecs(minute * 60);
            QVERIFY(!AlarmChecking::LiveCheck());
        }
        fakeNow = QDateTime(QDate(2024, 10, 27), QTime(2, 31, 0));
        QVERIFY(AlarmChecking::LiveCheck());
        QCOMPARE(m_recorder.rings.size(), 1);
    }

    // The clock found behind Last Check, at start-up or while running: within
    // an hour it is the hour that repeats when daylight saving time ends, and
    // nothing is checked twice; further back it is a corrected clock or a new
    // time zone, and an alarm rings as soon as the clock reaches it.
    void clockSetBack_data()
    {
        QTest::addColumn<bool>("atStartup");
        QTest::addColumn<int>("minutesBack");
        QTest::addColumn<int>("dueAfter"); // minutes after the corrected minute
        QTest::addColumn<int>("rings");
        QTest::addColumn<int>("missed");
        QTest::newRow("repeated hour, running") << false << 60 << 2 << 0 << 0;
        QTest::newRow("corrected by 61 minutes, running") << false << 61 << 2 << 1 << 0;
        QTest::newRow("Berlin to New York, running") << false << 360 << 2 << 1 << 0;
        QTest::newRow("repeated hour, due that minute, running") << false << 60 << 0 << 0 << 0;
        QTest::newRow("corrected by 90 minutes, due that minute, running") << false << 90 << 0 << 1 << 0;
        QTest::newRow("Berlin to New York, due that minute, running") << false << 360 << 0 << 1 << 0;
        QTest::newRow("repeated hour, at start-up") << true << 60 << 2 << 0 << 0;
        QTest::newRow("clock three days fast corrected, at start-up") << true << 3 * 1440 << 2 << 1 << 0;
        QTest::newRow("clock two years fast corrected, at start-up") << true << 730 * 1440 << 2 << 1 << 0;
        QTest::newRow("corrected by 90 minutes, due that minute, at start-up") << true << 90 << 0 << 0 << 1;
    }
    void clockSetBack()
    {
        QFETCH(bool, atStartup);
        QFETCH(int, minutesBack);
        QFETCH(int, dueAfter);
        QFETCH(int, rings);
        QFETCH(int, missed);
        const QDateTime checked(QDate(2024, 3, 5), QTime(12, 0));
        const QDateTime now = checked.addSecs(-60 * minutesBack + 5);
        const QTime due = now.time().addSecs(60 * dueAfter);
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Due", 1, due.hour(), due.minute())}));
        AlarmChecking::LastCheck = MinuteOf(checked);
        fakeNow = now;
        if (atStartup)
            AlarmChecking::StartupCatchUp();
        else
            AlarmChecking::LiveCheck();
        fakeNow = now.addSecs(150);
        while (AlarmChecking::LiveCheck()) {
        }
        QCOMPARE(m_recorder.rings.size(), rings);
        QCOMPARE(missedLines().size(), missed);
    }

    // Minutes skipped while running (asleep, the clock jumped ahead) ring late
    // for up to a day; after a longer gap the minutes before the present one
    // are reported like time the program was closed, at most a week of them,
    // and only the present minute rings.
    void liveGap_data()
    {
        QTest::addColumn<int>("gap");
        QTest::addColumn<int>("rings");
        QTest::addColumn<int>("missed");
        QTest::newRow("two hours asleep") << 120 << 1 << 0;
        QTest::newRow("a whole day") << 1440 << 1 << 0;
        QTest::newRow("a day and a minute") << 1441 << 0 << 1;
        QTest::newRow("a day and an hour, woken at the alarm's minute") << 1440 + 60 << 1 << 1;
        QTest::newRow("three days asleep") << 3 * 1440 << 0 << 3;
        QTest::newRow("three days asleep, woken at the alarm's minute") << 3 * 1440 + 60 << 1 << 3;
        QTest::newRow("clock corrected by years") << 800 * 1440 << 0 << 7;
    }
    void liveGap()
    {
        QFETCH(int, gap);
        QFETCH(int, rings);
        QFETCH(int, missed);
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Seven", 1, 7, 0)}));
        const QDateTime checked(QDate(2024, 3, 5), QTime(6, 0));
        AlarmChecking::LastCheck = MinuteOf(checked);
        fakeNow = checked.addSecs(60 * qint64(gap) + 20);
        while (AlarmChecking::LiveCheck()) {
        }
        QCOMPARE(m_recorder.rings.size(), rings);
        QCOMPARE(missedLines().size(), missed);
        QCOMPARE(m_recorder.missedShown, missed ? 1 : 0); // once, after the last line
        QCOMPARE(m_recorder.linesWhenShown, missed);
        QCOMPARE(AlarmChecking::LastCheck, CurrentMinute());
    }

    void springForwardStillRings()
    {
        // The wall clock jumps from 02:00 to 03:00: the skipped 02:30 is still
        // examined, live, as the ticks catch up.
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Half past two", 1, 2, 30)}));
        AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 31), QTime(1, 59));
        fakeNow = QDateTime(QDate(2024, 3, 31), QTime(3, 0, 1));
        int ticks = 0;
        while (AlarmChecking::LiveCheck())
            ++ticks;
        QCOMPARE(ticks, 61);
        QCOMPARE(m_recorder.rings.size(), 1);
        QCOMPARE(m_recorder.rings.at(0).dueMinute, MinuteOf(QDate(2024, 3, 31), QTime(2, 30)));
    }

    void missedLineOfANotificationKeepsItsMinute()
    {
        AlarmChecking::AddMissedAlarm(QStringLiteral("Dentist"),
                                      MinuteMoment(MinuteOf(QDate(2024, 3, 3), QTime(8, 5))));
        QCOMPARE(missedLines(), QStringList{"Dentist - 08:05,  3 March"});
        QCOMPARE(AlarmChecking::MissedAlarms.first(), QString());
        QCOMPARE(m_recorder.missedShown, 1);
    }
    // ---- Snoozes -----------------------------------------------------------

    // Snoozed at 08:00:30 for ten minutes. The wall clock may be set or move
    // to another zone meanwhile (wallShift); only real minutes count. A
    // restart in between keeps the snooze; one that ended while the program
    // was closed is a missed line of the minute it ended in.
    void snoozeLastsRealMinutes_data()
    {
        QTest::addColumn<int>("wallShift"); // minutes the wall clock moves besides the real ones
        QTest::addColumn<int>("realSeconds");
        QTest::addColumn<bool>("restart");
        QTest::addColumn<int>("rings");
        QTest::addColumn<QString>("missed");
        QTest::newRow("not yet") << 0 << 599 << false << 0 << "";
        QTest::newRow("ten minutes on") << 0 << 600 << false << 1 << "";
        QTest::newRow("clock set back an hour") << -60 << 600 << false << 1 << "";
        QTest::newRow("clock set forward three hours") << 180 << 300 << false << 0 << "";
        QTest::newRow("a zone to the west") << -360 << 600 << false << 1 << "";
        QTest::newRow("restarted, still ahead") << 0 << 300 << true << 0 << "";
        QTest::newRow("restarted, ended while closed") << 0 << 1800 << true << 0 << "Tea - 08:10,  4 March";
    }
    void snoozeLastsRealMinutes()
    {
        QFETCH(int, wallShift);
        QFETCH(int, realSeconds);
        QFETCH(bool, restart);
        QFETCH(int, rings);
        QFETCH(QString, missed);
        fakeNow = QDateTime(QDate(2024, 3, 4), QTime(8, 0, 30));
        Snoozes::Add(QStringLiteral("id-1"), QStringLiteral("Tea"), 10);
        fakeNow = fakeNow.addSecs(60 * qint64(wallShift) + realSeconds);
        if (restart) {
            // Another run: the real-time clock starts anew, the file is read.
            fakeElapsed = 5000;
            Snoozes::SetFile(m_dir->filePath(QStringLiteral("snoozes")));
            Snoozes::Load();
            AlarmChecking::LastCheck = MinuteOf(QDate(2024, 3, 4), QTime(8, 0));
            AlarmChecking::StartupCatchUp();
        } else {
            fakeElapsed += 1000 * qint64(realSeconds);
        }
        AlarmChecking::RingDueSnoozes();
        QCOMPARE(m_recorder.rings.size(), rings);
        if (rings) {
            QCOMPARE(m_recorder.rings.first().name, QStringLiteral("Tea"));
            QCOMPARE(m_recorder.rings.first().alarmId, QStringLiteral("id-1"));
        }
        QCOMPARE(missedLines(), missed.isEmpty() ? QStringList() : QStringList{missed});
        QCOMPARE(Snoozes::Pending().size(), rings || !missed.isEmpty() ? 0 : 1);
    }

    // Removing an alarm takes its identity and its snoozes with it; the alarms
    // after it keep theirs though their numbers change; editing one changes
    // neither its identity nor its snooze.
    void identitiesFollowTheirAlarms()
    {
        AlarmStore &store = AlarmStore::Instance();
        QVERIFY(useTable(
            {AlarmRecord{}, makeAlarm("One", 1, 7, 0), makeAlarm("Two", 1, 8, 0), makeAlarm("Three", 1, 9, 0)}));
        const QString two = store.IdOf(2), three = store.IdOf(3);
        QVERIFY(!two.isEmpty() && two != three && store.IdOf(1) != two);
        Snoozes::Add(two, QStringLiteral("Two"), 5);
        Snoozes::Add(three, QStringLiteral("Three"), 5);

        AlarmEditing::EditAlarm = store.At(3);
        AlarmEditing::EditAlarm.Name = AlarmRecord::FixedName(QStringLiteral("Renamed"));
        QVERIFY(AlarmEditing::StoreEditAlarm());
        QCOMPARE(store.IdOf(3), three);

        QVERIFY(store.Remove({2}));
        QCOMPARE(storedTable().size(), 3);
        QCOMPARE(store.IdOf(2), three);
        QCOMPARE(store.IndexOf(two), -1);
        QCOMPARE(Snoozes::Pending().size(), 1);
        QCOMPARE(Snoozes::Pending().first().name, QStringLiteral("Three"));

        // The next run reads the same identities back.
        store.SetIdentityFile(m_dir->filePath(QStringLiteral("alarm-ids")));
        QVERIFY(store.Load());
        QCOMPARE(store.IdOf(2), three);
        AlarmEditing::ClearEditAlarm();
        QVERIFY(AlarmEditing::StoreEditAlarm());
        QVERIFY(!store.IdOf(3).isEmpty());
        QCOMPARE(store.IndexOf(store.IdOf(3)), 3);
    }

    // Alarms.dat changed while its identities did not (an older copy of the
    // program changed it, or the program ended between the two files): each
    // record keeps the identity of the record it is, never of the one that
    // was at its place.
    void identitiesPairByContentWhenTheTableChangedAlone_data()
    {
        QTest::addColumn<QList<int>>("records"); // the table as rewritten: the original records, 0 for a new one
        QTest::addColumn<bool>("tableLine");     // whether the identity file names its table
        QTest::addColumn<QList<int>>("ids");     // whose identity each record then holds, 0 for a new one
        QTest::newRow("the first removed") << QList<int>{2, 3, 4} << true << QList<int>{2, 3, 4};
        QTest::newRow("one in the middle removed") << QList<int>{1, 3, 4} << true << QList<int>{1, 3, 4};
        QTest::newRow("one added at the end") << QList<int>{1, 2, 3, 4, 0} << true << QList<int>{1, 2, 3, 4, 0};
        QTest::newRow("one changed") << QList<int>{1, 0, 3, 4} << true << QList<int>{1, 0, 3, 4};
        // Equal records cannot be told apart: the one left takes the first one's.
        QTest::newRow("two equal ones, one removed") << QList<int>{1, 2, 4} << true << QList<int>{1, 2, 3};
        QTest::newRow("moved about") << QList<int>{2, 1, 3} << true << QList<int>{2, 1, 3};
        // Before the table line, the file was kept in step by position.
        QTest::newRow("a file without its table's name") << QList<int>{1, 2, 3, 4} << false << QList<int>{1, 2, 3, 4};
    }

    void identitiesPairByContentWhenTheTableChangedAlone()
    {
        QFETCH(QList<int>, records);
        QFETCH(bool, tableLine);
        QFETCH(QList<int>, ids);
        AlarmStore &store = AlarmStore::Instance();
        // Records 3 and 4 are equal.
        const QList<AlarmRecord> original{AlarmRecord{}, makeAlarm("One", 1, 7, 0), makeAlarm("Two", 1, 8, 0),
                                          makeAlarm("Same", 1, 9, 0), makeAlarm("Same", 1, 9, 0)};
        QVERIFY(useTable(original));
        QVERIFY(store.Replace(1, store.At(1)));
        const QStringList before = store.Ids();
        Snoozes::Add(before.at(1), QStringLiteral("Two"), 5);
        QStringList lines;
        QVERIFY(StateFile::ReadLines(store.IdentityFile(), &lines));
        QVERIFY(lines.last().startsWith(QLatin1String("#table ")));
        if (!tableLine) {
            lines.removeLast();
            QVERIFY(StateFile::WriteLines(store.IdentityFile(), lines));
        }

        QList<AlarmRecord> changed{AlarmRecord{}};
        for (int r : records)
            changed.append(r > 0 ? original.at(r) : makeAlarm("Other", 2, 6, 30, 3));
        writeFile(AlarmFilePath(), EncodeTable(changed));
        QVERIFY(store.Load());

        QCOMPARE(storedTable().size(), changed.size());
        for (int i = 1; i <= records.size(); ++i) {
            const int from = ids.at(i - 1);
            if (from > 0)
                QCOMPARE(store.IdOf(i), before.at(from - 1));
            else
                QVERIFY(!before.contains(store.IdOf(i)));
        }
        // The snooze stays with Two wherever it went, or goes with it.
        const int two = static_cast<int>(records.indexOf(2)) + 1;
        QCOMPARE(Snoozes::EndFor(store.IdOf(two)).isValid(), two > 0);
        // Paired once: the next start finds the files in step.
        const QStringList paired = store.Ids();
        QVERIFY(store.Load());
        QCOMPARE(store.Ids(), paired);
    }

    // ---- The next alarm, for waking the computer ---------------------------

    void nextDueMinute_data()
    {
        QTest::addColumn<QList<AlarmRecord>>("alarms");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("due"); // invalid: none
        const QDateTime monday(QDate(2024, 3, 4), QTime(6, 59));
        QTest::newRow("daily, later today")
            << QList<AlarmRecord>{makeAlarm("D", 1, 7, 0)} << monday << QDateTime(QDate(2024, 3, 4), QTime(7, 0));
        QTest::newRow("daily, its minute now: tomorrow")
            << QList<AlarmRecord>{makeAlarm("D", 1, 7, 0)} << monday.addSecs(60)
            << QDateTime(QDate(2024, 3, 5), QTime(7, 0));
        QTest::newRow("weekly on Wednesday")
            << QList<AlarmRecord>{makeAlarm("W", 2, 9, 0, 2)} << monday << QDateTime(QDate(2024, 3, 6), QTime(9, 0));
        QTest::newRow("weekdays, from Friday to Monday")
            << QList<AlarmRecord>{makeAlarm("E", 3, 8, 0)} << QDateTime(QDate(2024, 3, 8), QTime(9, 0))
            << QDateTime(QDate(2024, 3, 11), QTime(8, 0));
        QTest::newRow("once, years ahead") << QList<AlarmRecord>{makeAlarm("O", 0, 23, 59, 0, 31, 12, 2049)} << monday
                                           << QDateTime(QDate(2049, 12, 31), QTime(23, 59));
        QTest::newRow("once, past") << QList<AlarmRecord>{makeAlarm("O", 0, 6, 0, 0, 4, 3, 2024)} << monday
                                    << QDateTime();
        QTest::newRow("disabled") << QList<AlarmRecord>{makeAlarm("D", 1, 7, 0, 0, 0, 0, 0, -1)} << monday
                                  << QDateTime();
        QTest::newRow("an hour no clock shows")
            << QList<AlarmRecord>{makeAlarm("D", 1, 25, 0)} << monday << QDateTime();
        QTest::newRow("nothing") << QList<AlarmRecord>{} << monday << QDateTime();
        QTest::newRow("the earliest of several")
            << QList<AlarmRecord>{makeAlarm("W", 2, 9, 0, 2), makeAlarm("D", 1, 6, 0), makeAlarm("E", 3, 12, 0)}
            << monday << QDateTime(QDate(2024, 3, 4), QTime(12, 0));
    }
    void nextDueMinute()
    {
        QFETCH(QList<AlarmRecord>, alarms);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, due);
        QVERIFY(useTable(QList<AlarmRecord>{AlarmRecord{}} + alarms));
        fakeNow = now;
        QCOMPARE(AlarmChecking::NextDueMinute(CurrentMinute()), due.isValid() ? MinuteOf(due) : -1);
        QCOMPARE(AlarmChecking::NextWakeMoment(), due.isValid() ? due.toUTC() : QDateTime());
    }

    // A pending snooze that ends first is what the computer wakes for; a
    // minute that daylight saving time skips wakes it as the clock jumps.
    void nextWakeMoment()
    {
        QVERIFY(useTable({AlarmRecord{}, makeAlarm("Half past two", 1, 2, 30)}));
        fakeNow = QDateTime(QDate(2024, 3, 31), QTime(1, 0));
        Snoozes::Add(QStringLiteral("id"), QStringLiteral("Tea"), 15);
        QCOMPARE(AlarmChecking::NextWakeMoment(), QDateTime(QDate(2024, 3, 31), QTime(1, 15), Qt::UTC));
        Snoozes::CancelFor(QStringLiteral("id"));
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        fakeNow = QDateTime(QDate(2024, 3, 31), QTime(1, 0));
        const QDateTime wake = AlarmChecking::NextWakeMoment();
        qputenv("TZ", zone);
        ::tzset();
        // 02:30 does not exist in Berlin that night: 03:00 local is 01:00 UTC.
        QCOMPARE(wake, QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC));
    }

    // ---- Rules the four kinds cannot say ---------------------------------

    // Each shape of rule, with the local minutes it rings in between two
    // moments of the user's clock, and how often in 2027; the user lives in
    // Berlin. A rule's own times are its zone's (the user's where it has
    // none).
    void rulesRingAtTheCalendarsMoments_data()
    {
        QTest::addColumn<QString>("recur");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QStringList>("changes"); // "-WALL" skipped, "+WALL" added, "WALL>WALL" moved
        QTest::addColumn<QString>("from");        // local, inclusive
        QTest::addColumn<QString>("to");          // local, exclusive
        QTest::addColumn<QStringList>("rings");   // local
        QTest::addColumn<int>("in2027");
        const QStringList none;
        QTest::newRow("any days: Mon, Wed, Fri")
            << "FREQ=WEEKLY;BYDAY=MO,WE,FR"
            << "2027-01-01T07:00"
            << "" << none << "2027-03-01 00:00"
            << "2027-03-08 00:00" << QStringList{"2027-03-01 07:00", "2027-03-03 07:00", "2027-03-05 07:00"} << 157;
        QTest::newRow("every weekday as iOS writes it")
            << "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"
            << "2027-01-01T06:30"
            << "" << none << "2027-01-08 00:00"
            << "2027-01-12 00:00" << QStringList{"2027-01-08 06:30", "2027-01-11 06:30"} << 261;
        QTest::newRow("every 2 weeks on Thursday")
            << "FREQ=WEEKLY;INTERVAL=2;BYDAY=TH"
            << "2027-01-07T09:00"
            << "" << none << "2027-01-01 00:00"
            << "2027-02-01 00:00" << QStringList{"2027-01-07 09:00", "2027-01-21 09:00"} << 26;
        QTest::newRow("every 3 days, 5 times")
            << "FREQ=DAILY;INTERVAL=3;COUNT=5"
            << "2027-01-01T06:00"
            << "" << none << "2027-01-01 00:00"
            << "2027-02-01 00:00"
            << QStringList{"2027-01-01 06:00", "2027-01-04 06:00", "2027-01-07 06:00", "2027-01-10 06:00",
                           "2027-01-13 06:00"}
            << 5;
        QTest::newRow("daily until a date")
            << "FREQ=DAILY;UNTIL=20270103"
            << "2026-12-31T06:00"
            << "" << none << "2026-12-31 00:00"
            << "2027-01-10 00:00"
            << QStringList{"2026-12-31 06:00", "2027-01-01 06:00", "2027-01-02 06:00", "2027-01-03 06:00"} << 3;
        QTest::newRow("monthly on the first Monday")
            << "FREQ=MONTHLY;BYDAY=1MO"
            << "2027-01-04T08:00"
            << "" << none << "2027-01-01 00:00"
            << "2027-04-01 00:00" << QStringList{"2027-01-04 08:00", "2027-02-01 08:00", "2027-03-01 08:00"} << 12;
        QTest::newRow("monthly on the last Friday")
            << "FREQ=MONTHLY;BYDAY=-1FR"
            << "2027-01-29T17:00"
            << "" << none << "2027-01-01 00:00"
            << "2027-04-01 00:00" << QStringList{"2027-01-29 17:00", "2027-02-26 17:00", "2027-03-26 17:00"} << 12;
        QTest::newRow("monthly on day 31: the months that have one")
            << "FREQ=MONTHLY;BYMONTHDAY=31"
            << "2027-01-31T12:00"
            << "" << none << "2027-01-01 00:00"
            << "2027-06-01 00:00" << QStringList{"2027-01-31 12:00", "2027-03-31 12:00", "2027-05-31 12:00"} << 7;
        QTest::newRow("yearly on 29 February") << "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"
                                               << "2024-02-29T07:00"
                                               << "" << none << "2026-01-01 00:00"
                                               << "2030-01-01 00:00" << QStringList{"2028-02-29 07:00"} << 0;
        QTest::newRow("daily, skips 24 December")
            << "FREQ=DAILY"
            << "2027-12-01T07:00"
            << "" << QStringList{"-2027-12-24T07:00"} << "2027-12-23 00:00"
            << "2027-12-26 00:00" << QStringList{"2027-12-23 07:00", "2027-12-25 07:00"} << 30;
        QTest::newRow("one occurrence moved: never at the old time")
            << "FREQ=DAILY"
            << "2027-03-01T06:40"
            << "" << QStringList{"2027-03-03T06:40>2027-03-03T09:00"} << "2027-03-02 00:00"
            << "2027-03-05 00:00" << QStringList{"2027-03-02 06:40", "2027-03-03 09:00", "2027-03-04 06:40"} << 306;
        QTest::newRow("a date added") << "FREQ=WEEKLY;BYDAY=SA"
                                      << "2027-01-02T10:00"
                                      << "" << QStringList{"+2027-01-05T10:00"} << "2027-01-01 00:00"
                                      << "2027-01-10 00:00"
                                      << QStringList{"2027-01-02 10:00", "2027-01-05 10:00", "2027-01-09 10:00"} << 53;
        QTest::newRow("once in New York") << ""
                                          << "2027-07-04T09:00"
                                          << "America/New_York" << none << "2027-07-01 00:00"
                                          << "2027-08-01 00:00" << QStringList{"2027-07-04 15:00"} << 1;
        // New York changes its clocks on 14 March and 7 November, Berlin on
        // 28 March and 31 October: in between, 09:00 there is 14:00 here.
        QTest::newRow("09:00 New York time, spring")
            << "FREQ=WEEKLY;BYDAY=MO"
            << "2027-01-04T09:00"
            << "America/New_York" << none << "2027-03-08 00:00"
            << "2027-03-30 00:00"
            << QStringList{"2027-03-08 15:00", "2027-03-15 14:00", "2027-03-22 14:00", "2027-03-29 15:00"} << 52;
        QTest::newRow("09:00 New York time, autumn")
            << "FREQ=WEEKLY;BYDAY=MO"
            << "2027-01-04T09:00"
            << "America/New_York" << none << "2027-10-25 00:00"
            << "2027-11-09 00:00" << QStringList{"2027-10-25 15:00", "2027-11-01 14:00", "2027-11-08 15:00"} << 52;
        QTest::newRow("06:00 UTC, across Berlin's spring")
            << "FREQ=DAILY"
            << "2027-03-26T06:00"
            << "UTC" << none << "2027-03-26 00:00"
            << "2027-03-30 00:00"
            << QStringList{"2027-03-26 07:00", "2027-03-27 07:00", "2027-03-28 08:00", "2027-03-29 08:00"} << 281;
        // 02:30 is no time in Berlin on 28 March: the minute is examined as the
        // clock jumps past it, as for every alarm.
        QTest::newRow("a minute the clock skips")
            << "FREQ=DAILY"
            << "2027-03-27T02:30"
            << "" << none << "2027-03-27 00:00"
            << "2027-03-30 00:00" << QStringList{"2027-03-27 02:30", "2027-03-28 02:30", "2027-03-29 02:30"} << 280;
    }
    void rulesRingAtTheCalendarsMoments()
    {
        QFETCH(QString, recur);
        QFETCH(QString, start);
        QFETCH(QString, zone);
        QFETCH(QStringList, changes);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, rings);
        QFETCH(int, in2027);
        const QByteArray savedZone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        const auto wall = [](const QString &text) {
            return QDateTime(QDate::fromString(text.left(10), Qt::ISODate), QTime::fromString(text.mid(11), "HH:mm"),
                             Qt::UTC);
        };
        const auto local = [](const QString &text) {
            return MinuteOf(QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm")));
        };
        AlarmRule rule;
        rule.recur = recur;
        rule.start = wall(start);
        rule.zone = zone;
        for (const QString &change : changes) {
            if (change.startsWith('-'))
                rule.skipped.append(wall(change.mid(1)));
            else if (change.startsWith('+'))
                rule.added.append(wall(change.mid(1)));
            else
                rule.moved.append({wall(change.section('>', 0, 0)), wall(change.section('>', 1))});
        }
        // Kept with the alarm's identity, it reads back the same.
        QCOMPARE(AlarmRule::Decode(rule.Encode()), rule);
        const auto ringsBetween = [&](qint32 first, qint32 end) {
            QStringList seen;
            for (qint32 t = rule.NextMinute(first - 1); t >= 0 && t < end && seen.size() < 400; t = rule.NextMinute(t))
                seen.append(MinuteMoment(t).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            return seen;
        };
        const QStringList between = ringsBetween(local(from), local(to));
        const qsizetype year = ringsBetween(local("2027-01-01 00:00"), local("2028-01-01 00:00")).size();
        qputenv("TZ", savedZone);
        ::tzset();
        QCOMPARE(between, rings);
        QCOMPARE(year, in2027);
    }

    // Through the store and the minute check: the rule is saved with the
    // alarm's identity and read back at the next load; the alarm rings on its
    // day and not the day before; Alarms.dat holds a one-off record at its
    // next ring, for a copy that knows no rules.
    void aRuleRingsThroughTheStore()
    {
        AlarmRule rule;
        rule.recur = QStringLiteral("FREQ=WEEKLY;INTERVAL=2;BYDAY=TH");
        rule.start = QDateTime(QDate(2027, 1, 7), QTime(9, 0), Qt::UTC);
        AlarmRecord record = makeAlarm("Review", 0, 0, 0);
        fakeNow = QDateTime(QDate(2027, 1, 12), QTime(12, 0));
        rule.StandIn(&record, CurrentMinute());
        AlarmStore::Change change;
        change.add = {record};
        change.addRules = {rule};
        QVERIFY(AlarmStore::Instance().Apply(change));
        QVERIFY(AlarmStore::Instance().Load());
        QCOMPARE(AlarmStore::Instance().RuleOf(1), rule);
        const AlarmRecord stored = storedTable().at(1);
        QCOMPARE(QList<int>({stored.AlarmType, stored.Year, stored.Month, stored.Day, stored.Hour, stored.Minute}),
                 QList<int>({AlarmRecord::OnceOnly, 2027, 1, 21, 9, 0}));
        for (const QDate day : {QDate(2027, 1, 14), QDate(2027, 1, 20), QDate(2027, 1, 21)}) {
            AlarmChecking::LastCheck = MinuteOf(day, QTime(9, 0));
            AlarmChecking::CheckAlarms(AlarmChecking::LastCheck, 0);
        }
        QCOMPARE(m_recorder.rings.size(), 1);
        QCOMPARE(m_recorder.rings.at(0).dueMinute, MinuteOf(QDate(2027, 1, 21), QTime(9, 0)));
        QCOMPARE(AlarmChecking::NextDueMinute(MinuteOf(QDate(2027, 1, 21), QTime(9, 0))),
                 MinuteOf(QDate(2027, 2, 4), QTime(9, 0)));
    }

    // ---- Missed lines kept on disk --------------------------------------

    void missedFile_data()
    {
        QTest::addColumn<QStringList>("lines"); // after element 0; empty is deleted
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("reloaded");

        QTest::newRow("in order") << QStringList{"B - 09:00,  3 March", "A - 08:00,  4 March"}
                                  << QByteArray("B - 09:00,  3 March\nA - 08:00,  4 March\n")
                                  << QStringList{"B - 09:00,  3 March", "A - 08:00,  4 March"};
        QTest::newRow("deleted left out") << QStringList{"A", "", "C"} << QByteArray("A\nC\n") << QStringList{"A", "C"};
        QTest::newRow("line break and backslash in a name") << QStringList{"Two\nlines\r \\n - 08:00,  3 March"}
                                                            << QByteArray("Two\\nlines\\r \\\\n - 08:00,  3 March\n")
                                                            << QStringList{"Two\nlines\r \\n - 08:00,  3 March"};
        QTest::newRow("beyond Latin-1") << QStringList{"Ärztehaus \u65e5 - 08:00,  3 March"}
                                        << QString("Ärztehaus \u65e5 - 08:00,  3 March\n").toUtf8()
                                        << QStringList{"Ärztehaus \u65e5 - 08:00,  3 March"};
        QTest::newRow("cleared") << QStringList{} << QByteArray() << QStringList{};
    }

    void missedFile()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, reloaded);
        const QString path = m_dir->filePath(QStringLiteral("data/tockwise/missed-alarms.txt"));
        AlarmChecking::SetMissedFile(path);
        AlarmChecking::MissedAlarms = QStringList{QString()} + lines;
        QVERIFY(AlarmChecking::SaveMissedAlarms());
        QCOMPARE(readFile(path), file);
        AlarmChecking::ResetMissedAlarms();
        AlarmChecking::LoadMissedAlarms();
        QCOMPARE(missedLines(), reloaded);
    }

    // A line is on disk the moment it is added, with or without a clock to
    // show it; "Delete" and "Clear All" reach the disk as well.
    void missedFileFollowsEveryChange()
    {
        const QString path = m_dir->filePath(QStringLiteral("missed-alarms.txt"));
        writeFile(path, "Kept - 07:00,  3 March\n");
        AlarmChecking::SetMissedFile(path);
        AlarmChecking::LoadMissedAlarms();
        AlarmChecking::AddMissedAlarm(QStringLiteral("Dentist"),
                                      MinuteMoment(MinuteOf(QDate(2024, 3, 3), QTime(8, 5))));
        QCOMPARE(readFile(path), QByteArray("Kept - 07:00,  3 March\nDentist - 08:05,  3 March\n"));
        AlarmChecking::DeleteMissedAlarm(1);
        QCOMPARE(readFile(path), QByteArray("Dentist - 08:05,  3 March\n"));
        AlarmChecking::ClearMissedAlarms();
        QCOMPARE(readFile(path), QByteArray());
    }

    // A missed file that is there but cannot be read is never replaced by a
    // shorter list; the lines of this run stay in memory.
    void unreadableMissedFileIsLeftAlone()
    {
        const QString path = m_dir->filePath(QStringLiteral("missed-alarms.txt"));
        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
        AlarmChecking::SetMissedFile(path);
        AlarmChecking::LoadMissedAlarms();
        QVERIFY(missedLines().isEmpty());
        AlarmChecking::AddMissedAlarm(QStringLiteral("Dentist"),
                                      MinuteMoment(MinuteOf(QDate(2024, 3, 3), QTime(8, 5))));
        QCOMPARE(missedLines(), QStringList{"Dentist - 08:05,  3 March"});
        QVERIFY(!AlarmChecking::SaveMissedAlarms());
        QVERIFY(QFileInfo(path).isDir());
    }

    // ---- State files are written as files -------------------------------

    // A link where a state file belongs is replaced by a plain file of our
    // own; what it points to is left as it was (a link to ~/.profile must not
    // cut ~/.profile).
    void stateFileReplacesALink_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("target"); // under elsewhere/
        for (const char *file : {"alarm-ids", "snoozes", "missed-alarms.txt", "sync-state"})
            for (const char *target : {"a file", "nothing", "a folder", "a pipe"})
                QTest::addRow("%s, link to %s", file, target) << QString(file) << QString(target);
    }

    void stateFileReplacesALink()
    {
        QFETCH(QString, file);
        QFETCH(QString, target);
        const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere + "/a folder"));
        writeFile(elsewhere + "/a file", "not ours\n");
        QCOMPARE(::mkfifo(QFile::encodeName(elsewhere + "/a pipe").constData(), 0600), 0);
        const QString path = m_dir->filePath(file);
        QVERIFY(QFile::link(elsewhere + '/' + target, path));

        QByteArray written;
        if (file == "alarm-ids") {
            QVERIFY(AlarmStore::Instance().Add({makeAlarm("Tea", 1, 7, 0)}));
            written = AlarmStore::Instance().IdOf(1).toUtf8() + "\t\t";
        } else if (file == "snoozes") {
            Snoozes::Add(QStringLiteral("tea-id"), QStringLiteral("Tea"), 10);
            written = "\ttea-id\tTea\n";
        } else if (file == "missed-alarms.txt") {
            AlarmChecking::SetMissedFile(path);
            AlarmChecking::MissedAlarms = {QString(), QStringLiteral("Dentist - 08:05,  3 March")};
            QString error;
            QVERIFY2(AlarmChecking::SaveMissedAlarms(&error), qPrintable(error));
            written = "Dentist - 08:05,  3 March\n";
        } else {
            QString error;
            QVERIFY2(StateFile::WriteLines(path, {QStringLiteral("etag\tx")}, &error), qPrintable(error));
            written = "etag\tx\n";
        }
        QVERIFY(!QFileInfo(path).isSymbolicLink());
        QVERIFY(QFileInfo(path).isFile());
        const QByteArray contents = readFile(path);
        // The identities end with the name of their table.
        const bool ids = file == "alarm-ids";
        QVERIFY2(ids ? contents.startsWith(written) && contents.count('\n') == 2
                     : contents.endsWith(written) && contents.count('\n') == 1,
                 contents.constData());
        QCOMPARE(readFile(elsewhere + "/a file"), QByteArray("not ours\n"));
        QVERIFY(!QFileInfo(elsewhere + "/nothing").exists());
        QVERIFY(QDir(elsewhere + "/a folder").isEmpty());
        struct stat pipe = {};
        QVERIFY(::stat(QFile::encodeName(elsewhere + "/a pipe").constData(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 QStringList({"a file", "a folder", "a pipe"}));
        // Nothing written beside is left behind.
        QCOMPARE(QDir(m_dir->path()).entryList({file + ".*"}, QDir::AllEntries | QDir::Hidden | QDir::System),
                 QStringList());
    }

    // What is no file nor link, where a state file belongs, is not ours to
    // replace: the save is refused with the reason.
    void stateFileRefusesWhatIsNoFile()
    {
        const QString path = m_dir->filePath(QStringLiteral("sync-state"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QString error;
        QVERIFY(!StateFile::WriteLines(path, {QStringLiteral("etag\tx")}, &error));
        QVERIFY2(error.endsWith("it is not a plain file"), qPrintable(error));
        struct stat pipe = {};
        QVERIFY(::lstat(QFile::encodeName(path).constData(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
