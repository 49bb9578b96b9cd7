#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// The reading of a CalDAV server's WebDAV multistatus answers: outside bytes,
// so it takes anything and gives entries or a reason, never more than the
// answer names of the collection asked about.
namespace CalDav {

inline const QString kDav = QStringLiteral("DAV:");
inline const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

// Where a URL leads: scheme, host and port, as compared for redirects and hrefs.
struct Origin
{
    QString scheme;
    QString host;
    int port = -1;
    bool operator==(const Origin &) const = default;
};

Origin OriginOf(const QUrl &url);

// An HTTP status of 2xx.
bool Success(int status);

struct Entry
{
    QString href;   // percent-decoded absolute path
    int status = 0; // of the response itself; 0 where it carries properties instead
    bool hasProps = false;
    bool collection = false;
    bool calendar = false;
    bool hasData = false;
    QByteArray etag;
    QByteArray data;
    QByteArray syncToken;
};

struct Multistatus
{
    QList<Entry> entries;
    QByteArray syncToken;
    QString error;
};

// Parses a DAV:multistatus; hrefs are resolved against requestUrl (what they
// are relative to), decoded and normalised; those of another origin or
// outside collectionPath are dropped: they name nothing of this collection.
Multistatus ParseMultistatus(const QByteArray &xml, const QUrl &requestUrl, const QString &collectionPath);

// Two paths naming one folder, with or without the closing slash.
bool SamePath(const QString &a, const QString &b);
// A decoded absolute path with its "." and ".." segments resolved.
QString Normalised(const QString &path);
// The decoded path of a collection's URL, ending in '/'.
QString CollectionPath(const QUrl &url);
// A member of the collection at collectionPath that holds data: not the
// collection itself, not a collection inside it.
bool IsMember(const Entry &entry, const QString &collectionPath);

} // namespace CalDav
