#include "notify/SoundModule.h"

#include "resources/ArtworkConstants.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace SoundModule {

namespace {

QString programFolder;
Player player;

// Owned by the application object, so it goes before Qt Multimedia is torn down.
QPointer<QSoundEffect> effect;

// Qt's sound output connects to the sound server once, the first time anything
// asks for it, and never tries again. The program is often started before the
// server (at log-in), so it does not ask while the server's socket is plainly
// absent; the first chime after the server appears then finds it.
bool SoundServerMayBeUp()
{
#if defined(Q_OS_LINUX)
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return true; // no telling where the server listens: let Qt look
    return QFileInfo::exists(runtime + QStringLiteral("/pulse/native")) ||
           QFileInfo::exists(QStringLiteral("/run/pulse/native"));
#else
    return true;
#endif
}

QSoundEffect *preparedEffect(const QString &chimePath)
{
    if (!SoundServerMayBeUp())
        return nullptr;

    // The sound server may have come up (or changed its default output) since
    // the last chime, so the output is looked up again on every chime.
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return nullptr;

    const QUrl source = QUrl::fromLocalFile(chimePath);
    // A player bound to a replaced output stays mute; one that failed on the
    // file gets a fresh start in case the file has been put right.
    if (effect && (effect->audioDevice() != output || effect->status() == QSoundEffect::Error))
        delete effect.data();
    if (!effect) {
        QObject *owner = QCoreApplication::instance();
        if (!owner)
            return nullptr;
        effect = new QSoundEffect(output, owner);
    }
    if (effect->source() != source)
        effect->setSource(source);
    return effect;
}

} // namespace

void SetProgramFolder(const QString &folder)
{
    programFolder = folder;
}

QString ProgramFolder()
{
    return programFolder;
}

QString ChimePath()
{
    const QString name = QString::fromLatin1(Artwork::kChimeFileName.data(), qsizetype(Artwork::kChimeFileName.size()));
    return QDir(programFolder).filePath(name);
}

void SetPlayer(Player newPlayer)
{
    player = std::move(newPlayer);
}

void PlayWithSoundEffect(const QString &chimePath)
{
    if (!QFileInfo(chimePath).isReadable())
        return;
    if (QSoundEffect *sound = preparedEffect(chimePath))
        sound->play(); // restarts from the beginning when still playing
}

void PlayChime()
{
    const QString path = ChimePath();
    if (player)
        player(path);
    else
        PlayWithSoundEffect(path);
}

} // namespace SoundModule
