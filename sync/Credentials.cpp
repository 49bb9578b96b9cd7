#include "sync/Credentials.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Credentials {

namespace {

// The entries' service in the keyring; the key tells accounts apart.
const QString KeyringService = QStringLiteral("Tockwise");

// A password is a line; anything larger is the wrong file.
constexpr qint64 FileLimit = 64 * 1024;

// Unlocking a keyring may put a prompt before the user, so this is generous;
// it only stops a keyring that never answers from stalling the caller for good.
constexpr int KeyringWaitMs = 120 * 1000;

QString keyringKey(const QUrl &collection, const QString &user)
{
    // A password in the URL itself must not end up in the key, which the
    // keyring shows to anyone browsing it.
    const QUrl plain = collection.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    return user + QLatin1Char('@') + plain.toString(QUrl::FullyEncoded);
}

QString fixHint()
{
    return QStringLiteral("store the password in a file readable by you alone and name it with --password-file");
}

QString keyringError(QKeychain::Error code, const QString &detail, const QUrl &collection, const QString &user)
{
    const QString where = keyringKey(collection, user);
    switch (code) {
    case QKeychain::EntryNotFound:
        return QStringLiteral("the keyring holds no password for %1: store it there, or %2").arg(where, fixHint());
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("the keyring refused the password for %1 (%2): unlock the keyring, or %3")
            .arg(where, detail, fixHint());
    default:
        return QStringLiteral("no keyring is running or usable (%1): %2").arg(detail, fixHint());
    }
}

QString timeoutError()
{
    return QStringLiteral("the keyring did not answer within %1 seconds: %2").arg(KeyringWaitMs / 1000).arg(fixHint());
}

// Runs a keyring job to its end, at most KeyringWaitMs. A job that has not
// finished is left to delete itself when it does: the keyring library still
// holds it and would write into a deleted one.
bool runJob(QKeychain::Job *job, const QUrl &collection, const QString &user, QString *error)
{
    job->setAutoDelete(false);
    // Where no keyring runs the password is refused, never kept in a plain file.
    job->setInsecureFallback(false);
    job->setKey(keyringKey(collection, user));

    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(KeyringWaitMs, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();

    if (!finished) {
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
        if (error)
            *error = timeoutError();
        return false;
    }
    const std::unique_ptr<QKeychain::Job> owned(job);
    const QKeychain::Error code = job->error();
    if (code == QKeychain::NoError)
        return true;
    // Forgetting what was never stored leaves the keyring as asked.
    if (code == QKeychain::EntryNotFound && qobject_cast<QKeychain::DeletePasswordJob *>(job))
        return true;
    if (error)
        *error = keyringError(code, job->errorString(), collection, user);
    return false;
}

#ifdef Q_OS_UNIX
QString modeText(mode_t mode)
{
    return QStringLiteral("%1").arg(mode & 0777, 3, 8, QLatin1Char('0'));
}

// Why a file with this status may not hold a password, empty when it may.
QString refuseStatus(const QString &path, const struct stat &info)
{
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is a folder: name the file that holds the password").arg(path);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a plain file (a pipe, socket or device): keep the password in a plain file")
            .arg(path);
    if (info.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user: keep the password in a file of your own").arg(path);
    if ((info.st_mode & 077) != 0)
        return QStringLiteral("%1 is open to other users (mode %2): chmod 600 %1").arg(path, modeText(info.st_mode));
    if (info.st_size == 0)
        return QStringLiteral("%1 is empty: put the password on its first line").arg(path);
    if (info.st_size > FileLimit)
        return QStringLiteral("%1 is too large for a password file (%2 bytes): name the file that holds only the "
                              "password")
            .arg(path)
            .arg(info.st_size);
    return QString();
}

QString refuseMissing(const QString &path, int code)
{
    struct stat entry = {};
    if (code == ENOENT && ::lstat(QFile::encodeName(path).constData(), &entry) == 0 && S_ISLNK(entry.st_mode))
        return QStringLiteral("%1 is a link to %2, which does not exist: name the file that holds the password")
            .arg(path, QFileInfo(path).symLinkTarget());
    if (code == ENOENT)
        return QStringLiteral("%1 does not exist: name the file that holds the password").arg(path);
    return QStringLiteral("%1 cannot be read (%2)").arg(path, QString::fromLocal8Bit(std::strerror(code)));
}
#endif

QByteArray firstLine(const QByteArray &text)
{
    qsizetype end = text.indexOf('\n');
    if (end < 0)
        end = text.size();
    if (end > 0 && text.at(end - 1) == '\r')
        --end;
    return text.left(end);
}

} // namespace

#ifdef Q_OS_UNIX
QString RefusePasswordFile(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no password file named");
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return refuseMissing(path, errno);
    return refuseStatus(path, info);
}

QByteArray ReadPasswordFile(const QString &path, QString *error)
{
    QString refusal = RefusePasswordFile(path);
    QByteArray text;
    if (refusal.isEmpty()) {
        // The kind was checked before opening, so no pipe or device is ever
        // opened; O_NONBLOCK and the second look through the open descriptor
        // cover one swapped in meanwhile.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat info = {};
        if (fd < 0)
            refusal = refuseMissing(path, errno);
        else if (::fstat(fd, &info) != 0)
            refusal = refuseMissing(path, errno);
        else
            refusal = refuseStatus(path, info);
        if (refusal.isEmpty()) {
            text.resize(FileLimit + 1);
            qsizetype got = 0;
            while (got < text.size()) {
                const ssize_t n = ::read(fd, text.data() + got, size_t(text.size() - got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    refusal = refuseMissing(path, errno);
                    break;
                }
                if (n == 0)
                    break;
                got += n;
            }
            text.resize(got);
            if (refusal.isEmpty() && got > FileLimit)
                refusal = QStringLiteral("%1 is too large for a password file: name the file that holds only the "
                                         "password")
                              .arg(path);
        }
        if (fd >= 0)
            ::close(fd);
    }
    QByteArray password = refusal.isEmpty() ? firstLine(text) : QByteArray();
    text.fill('\0');
    if (refusal.isEmpty() && password.isEmpty())
        refusal = QStringLiteral("%1 has nothing on its first line: put the password there").arg(path);
    if (error)
        *error = refusal;
    return password;
}
#else
// Elsewhere the owner and mode bits mean little; only the kind and size are
// checked.
QString RefusePasswordFile(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no password file named");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist: name the file that holds the password").arg(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder: name the file that holds the password").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a plain file: keep the password in a plain file").arg(path);
    if (info.size() == 0)
        return QStringLiteral("%1 is empty: put the password on its first line").arg(path);
    if (info.size() > FileLimit)
        return QStringLiteral("%1 is too large for a password file: name the file that holds only the password")
            .arg(path);
    return QString();
}

QByteArray ReadPasswordFile(const QString &path, QString *error)
{
    QString refusal = RefusePasswordFile(path);
    QByteArray password;
    if (refusal.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            refusal = QStringLiteral("%1 cannot be read (%2)").arg(path, file.errorString());
        } else {
            QByteArray text = file.read(FileLimit + 1);
            if (text.size() > FileLimit)
                refusal = QStringLiteral("%1 is too large for a password file").arg(path);
            else
                password = firstLine(text);
            text.fill('\0');
        }
    }
    if (refusal.isEmpty() && password.isEmpty())
        refusal = QStringLiteral("%1 has nothing on its first line: put the password there").arg(path);
    if (error)
        *error = refusal;
    return password;
}
#endif

void Read(const QUrl &collection, const QString &user, const QString &passwordFile,
          std::function<void(const Lookup &)> done)
{
    if (!passwordFile.isEmpty()) {
        Lookup lookup;
        lookup.password = ReadPasswordFile(passwordFile, &lookup.error);
        QTimer::singleShot(0, [done = std::move(done), lookup] { done(lookup); });
        return;
    }

    auto *job = new QKeychain::ReadPasswordJob(KeyringService);
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(keyringKey(collection, user));

    // Whichever comes first answers: the keyring or the time limit. The job
    // outlives a time-out until the keyring library lets go of it.
    auto answered = std::make_shared<bool>(false);
    auto answer = [answered, done = std::move(done)](const Lookup &lookup) {
        if (*answered)
            return;
        *answered = true;
        done(lookup);
    };
    QObject::connect(job, &QKeychain::Job::finished, job, [job, answer, collection, user] {
        Lookup lookup;
        if (job->error() == QKeychain::NoError)
            lookup.password = job->binaryData();
        else
            lookup.error = keyringError(job->error(), job->errorString(), collection, user);
        if (lookup.error.isEmpty() && lookup.password.isEmpty())
            lookup.error = keyringError(QKeychain::EntryNotFound, QString(), collection, user);
        job->deleteLater();
        answer(lookup);
    });
    QTimer::singleShot(KeyringWaitMs, job, [answer] { answer(Lookup{QByteArray(), timeoutError()}); });
    job->start();
}

bool Store(const QUrl &collection, const QString &user, const QByteArray &password, QString *error)
{
    if (password.isEmpty()) {
        if (error)
            *error = QStringLiteral("no password to store");
        return false;
    }
    // The keyring tells text and bytes apart, and a lookup finds text first:
    // whatever was there goes, or an old text password would shadow new bytes.
    if (!Forget(collection, user, error))
        return false;
    auto *job = new QKeychain::WritePasswordJob(KeyringService);
    // As text where it is text, so keyring browsers show it as typed.
    const QString text = QString::fromUtf8(password);
    if (text.toUtf8() == password)
        job->setTextData(text);
    else
        job->setBinaryData(password);
    return runJob(job, collection, user, error);
}

bool Forget(const QUrl &collection, const QString &user, QString *error)
{
    return runJob(new QKeychain::DeletePasswordJob(KeyringService), collection, user, error);
}

} // namespace Credentials
