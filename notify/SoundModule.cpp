#include "notify/SoundModule.h"

#include "platform/SoundServer.h"
#include "resources/Artwork.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#if defined(TOCKWISE_HAVE_CANBERRA)
#include <canberra.h>
#endif

namespace SoundModule {

namespace {

QString programFolder;
Player player;
std::function<void()> stopper;

// Says once on standard error what plays instead of a chime file that cannot
// be played, and again only when that changes.
void reportSubstitute(const QString &line)
{
    static QString reported;
    if (line == reported)
        return;
    reported = line;
    if (!line.isEmpty()) {
        std::fprintf(stderr, "tockwise: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

QString unplayable(const QString &path, const QString &reason)
{
    return QStringLiteral("%1 cannot be played (%2)").arg(QDir::toNativeSeparators(path), reason);
}

// Owned by the application object, so it goes before Qt Multimedia is torn down.
QPointer<QSoundEffect> effect;

QSoundEffect *preparedEffect(const QUrl &source)
{
    if (!SoundServer::MayBeUp())
        return nullptr;

    // The sound server may have come up (or changed its default output) since
    // the last chime, so the output is looked up again on every chime.
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return nullptr;

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

void playWithSoundEffect(const QUrl &source)
{
    if (QSoundEffect *sound = preparedEffect(source))
        sound->play(); // restarts from the beginning when still playing
}

#if defined(TOCKWISE_HAVE_CANBERRA)

// Qt 6.4's sound effect opens a new stream with the server's default buffer
// at every play: the first chime came a quarter of a second late and some
// chimes were cut short. The freedesktop event-sound library instead hands
// the sound to the server once; every chime after that is one request that
// the server plays from its own memory, at once and whole.
class EventSounds
{
public:
    enum class Source { None, File, Theme, BuiltIn };

    ~EventSounds() { close(); }

    // Connects and hands over the sound when that has not been done, or when
    // the chime file has come or gone since. False when there is no server.
    bool prepare(const QString &path)
    {
        const bool readable = QFileInfo(path).isReadable();
        if (m_context && m_source != Source::None && m_file == path && readable == m_readable)
            return true;
        if (!open())
            return false;
        m_file = path;
        m_readable = readable;
        m_source = choose(path, readable);
        return m_source != Source::None;
    }

    void stop()
    {
        if (m_context)
            ca_context_cancel(m_context, ChimeId);
    }

    void play(const QString &path)
    {
        // A server that restarted has forgotten the sound: connect again once.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!prepare(path))
                return;
            int result = CA_SUCCESS;
            switch (m_source) {
            case Source::File:
                ca_context_cancel(m_context, ChimeId);
                result = ca_context_play(m_context, ChimeId, CA_PROP_EVENT_ID, ChimeEvent, CA_PROP_MEDIA_FILENAME,
                                         QFile::encodeName(path).constData(), CA_PROP_MEDIA_ROLE, AlarmRole,
                                         CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
                break;
            case Source::Theme:
                ca_context_cancel(m_context, ChimeId);
                result = ca_context_play(m_context, ChimeId, CA_PROP_EVENT_ID, ThemeAlarm, CA_PROP_MEDIA_ROLE,
                                         AlarmRole, CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
                break;
            case Source::BuiltIn:
                onMainThread([] { playWithSoundEffect(Artwork::BuiltInChime()); });
                return;
            case Source::None:
                return;
            }
            if (result == CA_SUCCESS)
                return;
            close();
        }
    }

private:
    // Qt's sound effect belongs to the main thread.
    template <typename F> static void onMainThread(F f)
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, f, Qt::QueuedConnection);
    }

    static constexpr uint32_t ChimeId = 1;
    static constexpr const char *ChimeEvent = "tockwise-chime";
    // The freedesktop sound theme's name for an alarm that went off.
    static constexpr const char *ThemeAlarm = "alarm-clock-elapsed";
    // An alarm, not an event sound: a desktop that mutes event sounds still
    // lets it through.
    static constexpr const char *AlarmRole = "alarm";

    bool open()
    {
        if (m_context)
            return true;
        if (!SoundServer::MayBeUp())
            return false;
        ca_context *context = nullptr;
        if (ca_context_create(&context) != CA_SUCCESS)
            return false;
        ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Tockwise", CA_PROP_APPLICATION_ID,
                                "example.varnod.Tockwise", nullptr);
        if (ca_context_open(context) != CA_SUCCESS) {
            ca_context_destroy(context);
            return false;
        }
        m_context = context;
        return true;
    }

    void close()
    {
        if (m_context)
            ca_context_destroy(m_context);
        m_context = nullptr;
        m_source = Source::None;
    }

    // What the file itself says is wrong with it, as against a lost server.
    static bool fileFault(int result)
    {
        return result == CA_ERROR_NOTFOUND || result == CA_ERROR_CORRUPT || result == CA_ERROR_NOTSUPPORTED ||
               result == CA_ERROR_ACCESS || result == CA_ERROR_IO || result == CA_ERROR_TOOBIG;
    }

    Source choose(const QString &path, bool readable)
    {
        QString problem;
        if (readable) {
            const int result =
                ca_context_cache(m_context, CA_PROP_EVENT_ID, ChimeEvent, CA_PROP_MEDIA_FILENAME,
                                 QFile::encodeName(path).constData(), CA_PROP_MEDIA_ROLE, AlarmRole, nullptr);
            if (result == CA_SUCCESS) {
                reportSubstitute(QString());
                return Source::File;
            }
            if (!fileFault(result)) {
                close();
                return Source::None;
            }
            problem = unplayable(path, QString::fromLocal8Bit(ca_strerror(result)));
        } else {
            problem = unplayable(path, QFileInfo::exists(path) ? QStringLiteral("not readable")
                                                               : QStringLiteral("no such file"));
        }
        const int theme =
            ca_context_cache(m_context, CA_PROP_EVENT_ID, ThemeAlarm, CA_PROP_MEDIA_ROLE, AlarmRole, nullptr);
        if (theme == CA_SUCCESS) {
            reportSubstitute(problem + QStringLiteral(": the sound theme's \"alarm-clock-elapsed\" plays instead"));
            return Source::Theme;
        }
        if (!fileFault(theme)) {
            close();
            return Source::None;
        }
        reportSubstitute(problem + QStringLiteral(": the built-in chime plays instead"));
        onMainThread([] { preparedEffect(Artwork::BuiltInChime()); });
        return Source::BuiltIn;
    }

    ca_context *m_context = nullptr;
    Source m_source = Source::None;
    QString m_file;
    bool m_readable = false;
};

// The sound server is asked on a thread of its own: a server that hangs (a
// stopped or swapping process, a stuck output) holds up that thread and not
// the clock's, whose notification still shows, closes and snoozes. An ask not
// yet taken is replaced by a newer one, so a hung server never piles them up.
class ChimeThread
{
public:
    enum class Ask { None, Prepare, Play, Stop };

    void ask(Ask what, const QString &path = QString())
    {
        {
            std::lock_guard lock(m_mutex);
            m_ask = what;
            m_path = path;
        }
        m_wake.notify_one();
        std::call_once(m_started, [this] { std::thread([this] { run(); }).detach(); });
    }

private:
    [[noreturn]] void run()
    {
        for (;;) {
            Ask what;
            QString path;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_ask != Ask::None; });
                what = std::exchange(m_ask, Ask::None);
                path = std::move(m_path);
            }
            switch (what) {
            case Ask::Prepare:
                m_sounds.prepare(path);
                break;
            case Ask::Play:
                m_sounds.play(path);
                break;
            case Ask::Stop:
                m_sounds.stop();
                break;
            case Ask::None:
                break;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    Ask m_ask = Ask::None;
    QString m_path;
    std::once_flag m_started;
    EventSounds m_sounds; // used on the thread alone
};

// Never deleted: the program's end must not wait for a server that hangs.
ChimeThread &chimeThread()
{
    static ChimeThread *thread = new ChimeThread;
    return *thread;
}

#endif

} // namespace

void SetProgramFolder(const QString &folder)
{
    programFolder = folder;
}

QString ChimePath()
{
    const QString name = QString::fromLatin1(Artwork::kChimeFileName.data(), qsizetype(Artwork::kChimeFileName.size()));
    return QDir(programFolder).filePath(name);
}

void SetPlayer(Player newPlayer, std::function<void()> newStopper)
{
    player = std::move(newPlayer);
    stopper = std::move(newStopper);
}

void Prepare()
{
    if (player)
        return;
#if defined(TOCKWISE_HAVE_CANBERRA)
    chimeThread().ask(ChimeThread::Ask::Prepare, ChimePath());
#else
    const QString path = ChimePath();
    preparedEffect(QFileInfo(path).isReadable() ? QUrl::fromLocalFile(path) : Artwork::BuiltInChime());
#endif
}

void Play(const QString &chimePath)
{
#if defined(TOCKWISE_HAVE_CANBERRA)
    chimeThread().ask(ChimeThread::Ask::Play, chimePath);
#else
    if (QFileInfo(chimePath).isReadable()) {
        playWithSoundEffect(QUrl::fromLocalFile(chimePath));
    } else {
        reportSubstitute(unplayable(chimePath, QStringLiteral("no such file or not readable")) +
                         QStringLiteral(": the built-in chime plays instead"));
        playWithSoundEffect(Artwork::BuiltInChime());
    }
#endif
}

void StopChime()
{
    if (player) {
        if (stopper)
            stopper();
        return;
    }
#if defined(TOCKWISE_HAVE_CANBERRA)
    chimeThread().ask(ChimeThread::Ask::Stop);
#endif
    if (effect)
        effect->stop();
}

void PlayChime()
{
    const QString path = ChimePath();
    if (player)
        player(path);
    else
        Play(path);
}

} // namespace SoundModule
