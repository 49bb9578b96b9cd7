#include "service/Autostart.h"

#include "engine/StateFile.h"
#include "platform/FileKind.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace Autostart {

namespace {

const QString DesktopId = QStringLiteral("example.varnod.Tockwise.desktop");
// Far more than a desktop entry holds; a larger file is not ours to copy.
constexpr qint64 MaxEntrySize = 1024 * 1024;

AlarmCommands::Reply done(const QByteArray &out)
{
    AlarmCommands::Reply reply;
    reply.out = out;
    return reply;
}

AlarmCommands::Reply failWith(const QString &why)
{
    AlarmCommands::Reply reply;
    reply.status = 1;
    reply.err = QStringLiteral("tockwise: %1\n").arg(why).toUtf8();
    return reply;
}

// One argument of an Exec line, so that a desktop splits it back as it was:
// in double quotes where it holds a character the line reserves, with the
// four that stay special inside quotes escaped; a literal % is %%.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");
    bool quoted = argument.isEmpty();
    for (const QChar c : argument)
        quoted = quoted || reserved.contains(c);
    QString out;
    for (const QChar c : argument) {
        if (c == QLatin1Char('%'))
            out += QLatin1String("%%");
        else if (quoted && escapedInQuotes.contains(c))
            out += QLatin1Char('\\') + c;
        else
            out += c;
    }
    return quoted ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

// The Exec value that starts program. Desktops built on GLib look for the
// line's first word before they turn %% back into %, so a program whose path
// holds a % would never start there; a shell named by its own path starts it
// instead.
QString execLine(const QString &program)
{
    QStringList arguments{program};
    if (program.contains(QLatin1Char('%')))
        arguments =
            QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exec \"$0\""), program};
    QStringList quoted;
    for (const QString &argument : arguments)
        quoted.append(execArgument(argument));
    return quoted.join(QLatin1Char(' '));
}

// A string value of a desktop entry: the file's own escapes come on top of
// the Exec quoting (a desktop undoes them first).
QByteArray entryValue(const QString &value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The installed entry, if there is one that reads as a file.
QByteArray installedEntry()
{
    const QString installed = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, DesktopId);
    QFile source(installed);
    if (installed.isEmpty() || FileKind::Of(installed) != FileKind::Kind::Regular ||
        QFileInfo(installed).size() > MaxEntrySize || !source.open(QIODevice::ReadOnly))
        return QByteArray("[Desktop Entry]\nType=Application\nName=Tockwise\nExec=tockwise\nTerminal=false\n");
    return source.read(MaxEntrySize);
}

} // namespace

QString Path()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/") + DesktopId);
}

AlarmCommands::Reply Run(const QString &value)
{
    const QString path = Path();
    if (value.isEmpty()) {
        return done(QFile::exists(path) ? QStringLiteral("on (%1)\n").arg(path).toUtf8() : QByteArray("off\n"));
    }
    if (value == QLatin1String("off")) {
        // A link there is removed itself (QFile::remove does not follow it);
        // what it points to is left alone.
        if (FileKind::OfEntry(path) != FileKind::Kind::Absent && !QFile::remove(path))
            return failWith(QStringLiteral("%1 could not be removed").arg(path));
        return done("autostart off: Tockwise no longer starts at login\n");
    }
    // The installed entry, launching this very program.
    QByteArray entry = installedEntry();
    // Its Exec line stays where it names this very program (tockwise on the
    // PATH, which survives an upgrade); otherwise it names this program.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    QList<QByteArray> lines = entry.split('\n');
    for (QByteArray &line : lines) {
        if (!line.startsWith("Exec="))
            continue;
        const QString program = QString::fromUtf8(line.mid(5)).section(QLatin1Char(' '), 0, 0);
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty() || QFileInfo(found).canonicalFilePath() != self)
            line = "Exec=" + entryValue(execLine(QCoreApplication::applicationFilePath()));
    }
    entry = lines.join('\n');
    QString reason;
    if (!StateFile::Replace(path, entry, &reason))
        return failWith(QStringLiteral("%1 could not be written: %2").arg(path, reason));
    return done(QStringLiteral("autostart on: %1\n").arg(path).toUtf8());
}

} // namespace Autostart
