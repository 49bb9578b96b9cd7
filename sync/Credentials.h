#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

// The calendar server's password: from a file of the user's own named in the
// settings (read again at each sync), else from the desktop keyring (Secret
// Service). Never written to a settings file, a log or a command line; no
// plain-text fallback where no keyring runs.
namespace Credentials {

// Why path may not hold a password, empty when it may: it must be a plain
// file (or a link to one) owned by the user and readable by nobody else,
// and not empty.
QString RefusePasswordFile(const QString &path);

// The password read from such a file: its first line, without the line end.
// Empty with the reason in error when the file is refused or unreadable.
QByteArray ReadPasswordFile(const QString &path, QString *error);

struct Lookup
{
    QByteArray password; // empty when none was found
    QString error;       // why, for the user
};

// The password for user at the collection: from passwordFile when one is
// named, else from the keyring. Answers through done from the event loop.
void Read(const QUrl &collection, const QString &user, const QString &passwordFile,
          std::function<void(const Lookup &)> done);

// The keyring, synchronously (each spins its own event loop): store the
// password, forget it (none stored is no error).
bool Store(const QUrl &collection, const QString &user, const QByteArray &password, QString *error);
bool Forget(const QUrl &collection, const QString &user, QString *error);

} // namespace Credentials
