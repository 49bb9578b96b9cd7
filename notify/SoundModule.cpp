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

QSoundEffect *preparedEffect(const QString &chimePath)
{
    // The sound server may have come up (or changed its default output) since
    // the last chime, so the output is looked up again on every chime.
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return nullptr;

    const QUrl source = QUrl::fromLocalFile(chimePath);
    if (effect && effect->audioDevice() != output) {
        // A player bound to a vanished or replaced output stays mute: start over.
        delete effect.data();
    }
    if (!effect) {
        QObject *owner = QCoreApplication::instance();
        if (!owner)
            return nullptr;
        effect = new QSoundEffect(output, owner);
    }
    // A file that was missing or broken at the last chime may have been put right.
    if (effect->source() != source || effect->status() == QSoundEffect::Error)
        effect->setSource(QUrl());
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
