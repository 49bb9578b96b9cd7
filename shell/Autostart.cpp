#include "shell/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <ostream>

namespace Autostart {

namespace {

const QString DesktopId = QStringLiteral("example.varnod.Tockwise.desktop");

void print(std::ostream &stream, const QByteArray &bytes)
{
    stream.write(bytes.constData(), bytes.size());
    stream.flush();
}

int failWith(std::ostream &err, const QString &why)
{
    print(err, QStringLiteral("tockwise: %1\n").arg(why).toUtf8());
    return 1;
}

} // namespace

QString Path()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/") + DesktopId);
}

int Run(const QString &value, std::ostream &out, std::ostream &err)
{
    const QString path = Path();
    if (value.isEmpty()) {
        print(out, QFile::exists(path) ? QStringLiteral("on (%1)\n").arg(path).toUtf8() : QByteArray("off\n"));
        return 0;
    }
    if (value == QLatin1String("off")) {
        if (QFile::exists(path) && !QFile::remove(path))
            return failWith(err, QStringLiteral("%1 could not be removed").arg(path));
        print(out, "autostart off: Tockwise no longer starts at login\n");
        return 0;
    }
    // The installed entry, launching this very program.
    QByteArray entry = "[Desktop Entry]\nType=Application\nName=Tockwise\nExec=tockwise\nTerminal=false\n";
    const QString installed = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, DesktopId);
    QFile source(installed);
    if (!installed.isEmpty() && source.open(QIODevice::ReadOnly))
        entry = source.readAll();
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
            line = "Exec=" + QCoreApplication::applicationFilePath().toUtf8();
    }
    entry = lines.join('\n');
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        return failWith(err, QStringLiteral("%1 could not be written: %2").arg(path, file.errorString()));
    print(out, QStringLiteral("autostart on: %1\n").arg(path).toUtf8());
    return 0;
}

} // namespace Autostart
