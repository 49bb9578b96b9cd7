#pragma once

#include <QSettings>
#include <QTemporaryDir>

// The program's settings file ("hqz", group "Digital Clock") in a temporary
// folder of the test's own. Made before the first settings access, so nothing
// of the user's is read or written.
class TestSettings
{
public:
    TestSettings() { qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit()); }

    QString FilePath() const { return m_dir.filePath(QStringLiteral("hqz.conf")); }
    QString Folder() const { return m_dir.path(); }

    // Keys as the program names them ("Last Check"), values as text.
    void Write(const QString &key, const QString &value) const { store().setValue(group() + key, value); }
    QString Read(const QString &key) const { return store().value(group() + key).toString(); }
    void Clear() const
    {
        QSettings s = store();
        s.clear();
        s.sync();
    }

private:
    static QSettings store() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hqz")); }
    static QString group() { return QStringLiteral("Digital Clock/"); }

    QTemporaryDir m_dir;
};
