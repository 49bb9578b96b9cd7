#include "ui/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryFile>

#include <cmath>

namespace {

struct KeyInfo
{
    Settings::Key key;
    const char *name;
    const char *defaultText; // nullptr: supplied by the caller
};

constexpr KeyInfo Keys[] = {
    {Settings::Digits, "Digits", "0"}, {Settings::Face, "Face", "0"}, {Settings::LastCheck, "Last Check", nullptr},
    {Settings::X, "X", nullptr},       {Settings::Y, "Y", nullptr},   {Settings::Visible, "Visible", "1"},
};

const KeyInfo &info(Settings::Key key)
{
    return Keys[static_cast<int>(key)];
}

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hqz"));
}

const QString Group = QStringLiteral("Digital Clock");

// QSettings only says that it failed; the system says why. The file is
// replaced through a new file beside it, so its folder must take one too.
QString whyNotWritable(const QString &path)
{
    QFile file(path);
    if (file.exists() && !file.open(QIODevice::ReadWrite))
        return file.errorString();
    QTemporaryFile probe(QFileInfo(path).absolutePath() + QStringLiteral("/.hqz-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    return QStringLiteral("the file could not be written");
}

} // namespace

QString Settings::KeyName(Key key)
{
    return QString::fromLatin1(info(key).name);
}

QString Settings::Read(Key key, const QString &defaultText)
{
    const KeyInfo &k = info(key);
    const QString fallback = k.defaultText ? QString::fromLatin1(k.defaultText) : defaultText;
    QSettings s = store();
    s.beginGroup(Group);
    const QVariant value = s.value(QString::fromLatin1(k.name));
    return value.isValid() ? value.toString() : fallback;
}

void Settings::Write(Key key, const QString &text)
{
    QSettings s = store();
    s.beginGroup(Group);
    s.setValue(QString::fromLatin1(info(key).name), text);
}

bool Settings::Write(const Values &values, QString *problem)
{
    QSettings s = store();
    s.beginGroup(Group);
    for (const auto &[key, text] : values)
        s.setValue(QString::fromLatin1(info(key).name), text);
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
