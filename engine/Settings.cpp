#include "engine/Settings.h"

#include "platform/FileKind.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryFile>

#include <cmath>
#include <iterator>
#include <limits>

namespace {

std::function<void(const QString &)> &writeFailureHandler()
{
    static std::function<void(const QString &)> show;
    return show;
}

struct KeyInfo
{
    Settings::Key key;
    const char *group;
    const char *name;
    const char *defaultText; // nullptr: supplied by the caller
};

constexpr KeyInfo Keys[] = {
    {Settings::Digits, "Digital Clock", "Digits", "0"},
    {Settings::Face, "Digital Clock", "Face", "0"},
    {Settings::LastCheck, "Digital Clock", "Last Check", nullptr},
    {Settings::X, "Digital Clock", "X", nullptr},
    {Settings::Y, "Digital Clock", "Y", nullptr},
    {Settings::Visible, "Digital Clock", "Visible", "1"},
    {Settings::WakeFromSuspend, "Digital Clock", "Wake From Suspend", "False"},
    // The calendar server alarms are kept in step with; never its password.
    {Settings::SyncUrl, "Sync", "URL", ""},
    {Settings::SyncUser, "Sync", "User", ""},
    {Settings::SyncPasswordFile, "Sync", "Password File", ""},
    {Settings::AlarmVolume, "Digital Clock", "Alarm Volume", "70"},
};
static_assert(std::size(Keys) == Settings::AlarmVolume + 1, "one row per key, in the order of the keys");

const KeyInfo &info(Settings::Key key)
{
    return Keys[static_cast<int>(key)];
}

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hqz"));
}

QString keyPath(const KeyInfo &k)
{
    return QString::fromLatin1(k.group) + QLatin1Char('/') + QString::fromLatin1(k.name);
}

// Where the native store is a file, its path; QSettings itself cannot be
// asked without opening the file.
QString filePath()
{
    return FileKind::NativeSettingsFile(QStringLiteral("hqz"));
}

// Opening a named pipe or a device would block or read without end: only a
// plain file (or a link to one) is read and replaced.
bool fileUsable(const QString &path)
{
    if (path.isEmpty())
        return true;
    const FileKind::Kind kind = FileKind::Of(path);
    return kind == FileKind::Kind::Regular || kind == FileKind::Kind::Absent || kind == FileKind::Kind::DanglingLink;
}

// QSettings only says that it failed; the system says why. The file is
// replaced through a new file beside it, so its folder must take one as large
// (a full disk shows only once something is written).
QString whyNotWritable(const QString &path)
{
    QFile file(path);
    if (file.exists() && !file.open(QIODevice::ReadWrite))
        return file.errorString();
    QTemporaryFile probe(QFileInfo(path).absolutePath() + QStringLiteral("/.hqz-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    const QByteArray block(qMax<qint64>(file.size(), 4096), '\n');
    if (probe.write(block) != block.size() || !probe.flush())
        return probe.errorString();
    return QStringLiteral("the file could not be written");
}

// QSettings waits for its lock file without a limit, and one it cannot take
// over (a folder, another user's file) would stop the clock for good. The
// lock is tried here first with a short limit; a save that cannot have it
// fails like any other. A lock a live process holds names that process and
// is never taken over; an older one that names none is.
constexpr int LockWaitMs = 500;
constexpr int LockStaleMs = 2000;

QString takeLockBriefly(const QString &path)
{
    if (path.isEmpty())
        return QString();
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(LockStaleMs);
    if (lock.tryLock(LockWaitMs)) {
        lock.unlock();
        return QString();
    }
    if (lock.error() != QLockFile::LockFailedError)
        return whyNotWritable(path);
    return QStringLiteral("its lock file %1 is held, or is not a lock file that can be replaced")
        .arg(QFileInfo(path).fileName() + QStringLiteral(".lock"));
}

} // namespace

QString Settings::Unusable()
{
    const QString path = filePath();
    if (fileUsable(path))
        return QString();
    return QStringLiteral("%1: it is not a plain file, so Tockwise runs with its default settings and does not write "
                          "over it")
        .arg(QDir::toNativeSeparators(path));
}

QString Settings::Read(Key key, const QString &defaultText)
{
    const KeyInfo &k = info(key);
    const QString fallback = k.defaultText ? QString::fromLatin1(k.defaultText) : defaultText;
    if (!fileUsable(filePath()))
        return fallback;
    QSettings s = store();
    const QVariant value = s.value(keyPath(k));
    return value.isValid() ? value.toString() : fallback;
}

bool Settings::Write(Key key, const QString &text, QString *problem)
{
    return Write(Values{{key, text}}, problem);
}

bool Settings::Remove(const QList<Key> &keys, QString *problem)
{
    Values values;
    for (Key key : keys)
        values.append({key, QString()});
    return write(values, true, problem);
}

bool Settings::Write(const Values &values, QString *problem)
{
    return write(values, false, problem);
}

bool Settings::write(const Values &values, bool remove, QString *problem)
{
    const QString path = filePath();
    // A new account may have no settings folder yet: the first save makes it.
    if (!path.isEmpty())
        QDir().mkpath(QFileInfo(path).absolutePath());
    QString refused = Unusable();
    if (refused.isEmpty()) {
        refused = takeLockBriefly(path);
        if (!refused.isEmpty())
            refused = QDir::toNativeSeparators(path) + QStringLiteral(": ") + refused;
    }
    if (!refused.isEmpty()) {
        if (problem)
            *problem = refused;
        return false;
    }
    QSettings s = store();
    for (const auto &[key, text] : values) {
        if (remove)
            s.remove(keyPath(info(key)));
        else
            s.setValue(keyPath(info(key)), text);
    }
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (problem)
        *problem = QDir::toNativeSeparators(s.fileName()) + QStringLiteral(": ") + whyNotWritable(s.fileName());
    return false;
}

double Settings::LenientNumber(const QString &text, bool *found)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = leading.match(text);
    const double value = m.hasMatch() ? m.captured(1).toDouble() : 0;
    const bool finite = m.hasMatch() && std::isfinite(value);
    if (found)
        *found = finite;
    return finite ? value : 0;
}

qint32 Settings::ReadMinute(Key key, qint32 fallback)
{
    bool found = false;
    const double rounded = std::nearbyint(LenientNumber(Read(key, QString::number(fallback)), &found));
    if (!found || rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return fallback;
    return static_cast<qint32>(rounded);
}

QPoint Settings::ReadPosition(const QPoint &defaultTwips, int twipsPerPixel)
{
    constexpr double PositionLimit = 30000;
    const auto pixels = [twipsPerPixel](Key key, int fallbackTwips) {
        const auto inPixels = [twipsPerPixel](double twips) { return std::nearbyint(twips / twipsPerPixel); };
        const double value = inPixels(LenientNumber(Read(key, QString::number(fallbackTwips))));
        return static_cast<int>(std::abs(value) <= PositionLimit ? value : inPixels(fallbackTwips));
    };
    return QPoint(pixels(X, defaultTwips.x()), pixels(Y, defaultTwips.y()));
}

void Settings::ReportWriteFailure(const QString &problem)
{
    qWarning("tockwise: the settings were not saved: %s", qPrintable(problem));
    static bool reported = false;
    if (reported)
        return;
    reported = true;
    const QString text = QStringLiteral("Tockwise cannot save its settings.\n\n%1\n\n"
                                        "Until this is mended, alarms answered from now on will be reported again as "
                                        "missed at the next start, and the clock's position will not be kept.")
                             .arg(problem);
    if (writeFailureHandler())
        writeFailureHandler()(text);
}

void Settings::SetWriteFailureHandler(std::function<void(const QString &)> show)
{
    writeFailureHandler() = std::move(show);
}

int Settings::ReadThemeIndex(Key key)
{
    const double value = std::nearbyint(LenientNumber(Read(key)));
    return (value >= 0 && value <= 3) ? static_cast<int>(value) : 0;
}

bool Settings::ReadVisible()
{
    const QString text = Read(Visible).trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (number.match(text).hasMatch())
        return LenientNumber(text) != 0;
    return true;
}

bool Settings::ReadWakeFromSuspend()
{
    const QString text = Read(WakeFromSuspend).trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool found = false;
    return LenientNumber(text, &found) != 0 && found;
}

int Settings::ReadAlarmVolume()
{
    const QString text = Read(AlarmVolume).trimmed();
    bool whole = false;
    const int percent = text.toInt(&whole);
    return whole && percent >= 0 && percent <= 100 ? percent : DefaultAlarmVolume;
}
