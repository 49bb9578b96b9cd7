#include "engine/AlarmHandling.h"

#include "platform/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

namespace AlarmHandling {

namespace {

QString &alarmFolder()
{
    static QString folder;
    return folder;
}

// Byte offsets of the fields inside a slot.
enum Offset : int {
    IndexAt = 0,
    NameAt = 4,
    TypeAt = 104,
    HourAt = 105,
    MinuteAt = 106,
    WeekDayAt = 107,
    DayAt = 108,
    MonthAt = 109,
    YearAt = 110,
    DeletedAt = 112,
    DisabledAt = 114,
};

constexpr char CodePage[] = "windows-1252";
constexpr char EncoderSubstitute = 0x1a;

// The names are stored one byte per character in Windows-1252; a character the
// code page cannot hold is stored as '?'.
QByteArray encodeName(QStringEncoder &encoder, const QString &name)
{
    const QString fixed = name.size() == AlarmRecord::NameLength ? name : AlarmRecord::FixedName(name);
    encoder.resetState();
    QByteArray bytes = encoder.encode(fixed);
    if (bytes.contains(EncoderSubstitute)) {
        const QList<uint> codePoints = fixed.toUcs4();
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes.at(i) == EncoderSubstitute && (i >= codePoints.size() || codePoints.at(i) != 0x1a))
                bytes[i] = '?';
        }
    }
    // A character outside the basic plane takes two UTF-16 units but one byte.
    bytes.resize(AlarmRecord::NameLength, ' ');
    return bytes;
}

QString decodeName(QStringDecoder &decoder, const char *bytes)
{
    decoder.resetState();
    return decoder.decode(QByteArrayView(bytes, AlarmRecord::NameLength));
}

void encodeInto(QStringEncoder &encoder, const AlarmRecord &r, char *slot)
{
    std::fill(slot, slot + SlotSize, 0);
    qToLittleEndian<qint32>(r.Index, slot + IndexAt);
    const QByteArray name = encodeName(encoder, r.Name);
    std::copy(name.cbegin(), name.cend(), slot + NameAt);
    slot[TypeAt] = static_cast<char>(r.AlarmType);
    slot[HourAt] = static_cast<char>(r.Hour);
    slot[MinuteAt] = static_cast<char>(r.Minute);
    slot[WeekDayAt] = static_cast<char>(r.WeekDay);
    slot[DayAt] = static_cast<char>(r.Day);
    slot[MonthAt] = static_cast<char>(r.Month);
    qToLittleEndian<qint16>(r.Year, slot + YearAt);
    qToLittleEndian<qint16>(r.Deleted, slot + DeletedAt);
    qToLittleEndian<qint16>(r.Disabled, slot + DisabledAt);
}

AlarmRecord decodeFrom(QStringDecoder &decoder, const char *slot)
{
    AlarmRecord r;
    r.Index = qFromLittleEndian<qint32>(slot + IndexAt);
    r.Name = decodeName(decoder, slot + NameAt);
    r.AlarmType = static_cast<quint8>(slot[TypeAt]);
    r.Hour = static_cast<quint8>(slot[HourAt]);
    r.Minute = static_cast<quint8>(slot[MinuteAt]);
    r.WeekDay = static_cast<quint8>(slot[WeekDayAt]);
    r.Day = static_cast<quint8>(slot[DayAt]);
    r.Month = static_cast<quint8>(slot[MonthAt]);
    r.Year = qFromLittleEndian<qint16>(slot + YearAt);
    r.Deleted = qFromLittleEndian<qint16>(slot + DeletedAt);
    r.Disabled = qFromLittleEndian<qint16>(slot + DisabledAt);
    return r;
}

bool folderWritable(const QString &folder)
{
    const QFileInfo info(folder);
    // What the package manager installs is the system's, even where root
    // could write there.
    if (FileKind::IsSystemInstalled(folder))
        return false;
    return info.isDir() && info.isWritable();
}

// Anything by that name, a link to nothing included.
bool holdsEntry(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

void SetAlarmFolder(const QString &folder)
{
    alarmFolder() = folder;
}

QString AlarmFolder()
{
    return alarmFolder();
}

QString AlarmFilePath()
{
    return QDir(alarmFolder()).filePath(FileName);
}

QString ChooseAlarmFolder(const QString &programFolder, const QString &userDataFolder, const FolderCheck &canWrite)
{
    const QString programFile = QDir(programFolder).filePath(FileName);
    const QString userFile = QDir(userDataFolder).filePath(FileName);
    const bool programWritable = canWrite ? canWrite(programFolder) : folderWritable(programFolder);
    const bool programHolds = holdsEntry(programFile);

    if (programHolds && programWritable)
        return programFolder;
    if (holdsEntry(userFile))
        return userDataFolder;
    if (programHolds) {
        // Every save beside the program would fail: work on a copy of the
        // user's own, and leave the original as it is. Only a plain file of a
        // sane size is copied; anything else is refused where it lies.
        if (UnreadableReason(programFile).isEmpty() && QDir().mkpath(userDataFolder) &&
            QFile::copy(programFile, userFile)) {
            QFile::setPermissions(userFile, QFile::permissions(userFile) | QFile::ReadOwner | QFile::WriteOwner);
            return userDataFolder;
        }
        return programFolder;
    }
    if (programWritable)
        return programFolder;
    QDir().mkpath(userDataFolder);
    return userDataFolder;
}

QString UnreadableReason(const QString &path)
{
    switch (FileKind::Of(path)) {
    case FileKind::Kind::Absent:
        return {};
    case FileKind::Kind::DanglingLink:
        return QStringLiteral("it is a link to something that does not exist.");
    case FileKind::Kind::Folder:
        return QStringLiteral("it is a folder, not a file.");
    case FileKind::Kind::Socket:
    case FileKind::Kind::Other:
        // A pipe, socket or device could block the start or never end.
        return QStringLiteral("it is not an ordinary file.");
    case FileKind::Kind::Regular:
        break;
    }
    const QFileInfo info(path);
    if (info.size() > MaxFileSize)
        return QStringLiteral("it is %1 bytes long, far more than any alarm table.").arg(info.size());
    return {};
}

QString StorableName(const QString &name)
{
    QStringEncoder encoder(CodePage);
    QString storable;
    storable.reserve(name.size());
    for (qsizetype i = 0; i < name.size();) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        const QStringView character = QStringView(name).mid(i, pair ? 2 : 1);
        i += character.size();
        if (pair)
            continue; // beyond the code page's reach, whatever it is
        encoder.resetState();
        const QByteArray bytes = encoder.encode(character);
        if (bytes.size() == 1 && (bytes.at(0) != EncoderSubstitute || character.at(0).unicode() == 0x1a))
            storable.append(character);
    }
    return storable;
}

QByteArray EncodeSlot(const AlarmRecord &record)
{
    QStringEncoder encoder(CodePage);
    QByteArray slot(SlotSize, '\0');
    encodeInto(encoder, record, slot.data());
    return slot;
}

AlarmRecord DecodeSlot(const char *slot)
{
    QStringDecoder decoder(CodePage);
    return decodeFrom(decoder, slot);
}

QList<AlarmRecord> DecodeTable(const QByteArray &data)
{
    QStringDecoder decoder(CodePage);
    const qsizetype count = data.size() / SlotSize;
    QList<AlarmRecord> table;
    table.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        AlarmRecord r = decodeFrom(decoder, data.constData() + i * SlotSize);
        r.Index = static_cast<qint32>(i);
        table.append(std::move(r));
    }
    return table;
}

QByteArray EncodeTable(const QList<AlarmRecord> &table)
{
    QStringEncoder encoder(CodePage);
    QByteArray buffer;
    buffer.reserve(table.size() * SlotSize);
    char slot[SlotSize];
    for (const AlarmRecord &r : table) {
        if (r.Deleted != 0)
            continue;
        encodeInto(encoder, r, slot);
        buffer.append(slot, SlotSize);
    }
    return buffer;
}

bool WriteTable(QIODevice &device, const QList<AlarmRecord> &table, QString *error)
{
    const QByteArray buffer = EncodeTable(table);
    // A device may take only part of the data per call; keep going until it
    // has all of it or refuses.
    qsizetype done = 0;
    while (done < buffer.size()) {
        const qint64 n = device.write(buffer.constData() + done, buffer.size() - done);
        if (n <= 0) {
            setError(error, device.errorString());
            return false;
        }
        done += n;
    }
    return true;
}

bool SaveFile(const QString &path, const QByteArray &bytes, QString *error)
{
    // QSaveFile writes a temporary file and renames it over the old one only
    // when everything was written, so a failure or a kill never leaves a
    // shorter or mixed Alarms.dat behind.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // Unbuffered, and flushed and checked before the commit: QSaveFile renames
    // the temporary file into place even when flushing its own write buffer
    // fails, which would put a short file in place of a good one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(error, QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (done < bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        setError(error, QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    if (!file.commit()) {
        setError(error, QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool ReadFile(const QString &path, QByteArray *data, QString *error)
{
    data->clear();
    // Checked before opening: opening a pipe waits for a writer for ever.
    if (const QString reason = UnreadableReason(path); !reason.isEmpty()) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    if (!QFileInfo::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    // No more than the limit, even if the file grew since it was checked.
    *data = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        data->clear();
        return false;
    }
    if (data->size() > MaxFileSize) {
        setError(error, QStringLiteral("Cannot read %1: it is far larger than any alarm table.")
                            .arg(QDir::toNativeSeparators(path)));
        data->clear();
        return false;
    }
    return true;
}

} // namespace AlarmHandling
