#include "sync/Multistatus.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace CalDav {

namespace {

bool Is(const QXmlStreamReader &r, const QString &ns, const char *name)
{
    return r.namespaceUri() == ns && r.name() == QLatin1String(name);
}

int StatusOf(const QString &line)
{
    // "HTTP/1.1 404 Not Found"
    const QStringList parts = line.simplified().split(QLatin1Char(' '));
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

QString Text(QXmlStreamReader &r)
{
    return r.readElementText(QXmlStreamReader::IncludeChildElements);
}

void ReadProp(QXmlStreamReader &r, Entry &props)
{
    while (r.readNextStartElement()) {
        if (Is(r, kDav, "getetag")) {
            props.etag = Text(r).trimmed().toUtf8();
        } else if (Is(r, kDav, "sync-token")) {
            props.syncToken = Text(r).trimmed().toUtf8();
        } else if (Is(r, kCalDav, "calendar-data")) {
            props.data = Text(r).toUtf8();
            props.hasData = true;
        } else if (Is(r, kDav, "resourcetype")) {
            while (r.readNextStartElement()) {
                props.collection |= Is(r, kDav, "collection");
                props.calendar |= Is(r, kCalDav, "calendar");
                r.skipCurrentElement();
            }
        } else {
            r.skipCurrentElement();
        }
    }
}

void ReadPropstat(QXmlStreamReader &r, Entry &entry)
{
    Entry props;
    int status = 0;
    while (r.readNextStartElement()) {
        if (Is(r, kDav, "prop"))
            ReadProp(r, props);
        else if (Is(r, kDav, "status"))
            status = StatusOf(Text(r));
        else
            r.skipCurrentElement();
    }
    // Properties the server could not give (404 propstat) say nothing about the resource.
    if (status != 0 && !Success(status))
        return;
    entry.hasProps = true;
    entry.collection |= props.collection;
    entry.calendar |= props.calendar;
    if (!props.etag.isEmpty())
        entry.etag = props.etag;
    if (!props.syncToken.isEmpty())
        entry.syncToken = props.syncToken;
    if (props.hasData) {
        entry.data = props.data;
        entry.hasData = true;
    }
}

} // namespace

Origin OriginOf(const QUrl &url)
{
    Origin origin;
    origin.scheme = url.scheme().toLower();
    origin.host = url.host().toLower();
    origin.port = url.port(origin.scheme == QLatin1String("https") ? 443 : 80);
    return origin;
}

bool Success(int status)
{
    return status >= 200 && status < 300;
}

bool SamePath(const QString &a, const QString &b)
{
    auto trimmed = [](const QString &s) { return s.endsWith(QLatin1Char('/')) ? s.chopped(1) : s; };
    return trimmed(a) == trimmed(b);
}

// A decoded absolute path with its "." and ".." segments resolved as the
// server resolves them (RFC 3986 5.2.4). QUrl does this for the encoded form
// only, and a "%2F" that decodes to a slash could otherwise climb out.
QString Normalised(const QString &path)
{
    const QStringList in = path.split(QLatin1Char('/'));
    QStringList out;
    for (qsizetype i = 1; i < in.size(); ++i) {
        const QString &segment = in.at(i);
        const bool last = i == in.size() - 1;
        if (segment == QLatin1String("..")) {
            if (!out.isEmpty())
                out.removeLast();
        } else if (segment != QLatin1String(".")) {
            out.append(segment);
            continue;
        }
        // A dot segment at the end leaves a folder: its path ends in '/'.
        if (last)
            out.append(QString());
    }
    return QLatin1Char('/') + out.join(QLatin1Char('/'));
}

Multistatus ParseMultistatus(const QByteArray &xml, const QUrl &requestUrl, const QString &collectionPath)
{
    Multistatus result;
    const Origin origin = OriginOf(requestUrl);
    QXmlStreamReader r(xml);
    bool root = false;
    while (!r.atEnd() && !r.hasError()) {
        r.readNext();
        if (r.tokenType() == QXmlStreamReader::DTD) {
            // A multistatus never needs a document type; refusing one keeps
            // entity declarations (and their expansion tricks) out entirely.
            result.error = QStringLiteral("the server's answer declares an XML document type, which is not accepted");
            return result;
        }
        if (!r.isStartElement())
            continue;
        if (!root) {
            if (!Is(r, kDav, "multistatus")) {
                result.error = QStringLiteral("the server's answer is not a WebDAV multistatus but <%1>")
                                   .arg(r.qualifiedName().toString().left(40));
                return result;
            }
            root = true;
            continue;
        }
        if (Is(r, kDav, "sync-token")) {
            result.syncToken = Text(r).trimmed().toUtf8();
        } else if (Is(r, kDav, "response")) {
            Entry entry;
            QString href;
            while (r.readNextStartElement()) {
                if (Is(r, kDav, "href"))
                    href = Text(r).trimmed();
                else if (Is(r, kDav, "status"))
                    entry.status = StatusOf(Text(r));
                else if (Is(r, kDav, "propstat"))
                    ReadPropstat(r, entry);
                else
                    r.skipCurrentElement();
            }
            if (r.hasError() || href.isEmpty())
                continue;
            const QUrl url = requestUrl.resolved(QUrl(href));
            if (!url.isValid() || OriginOf(url) != origin)
                continue;
            entry.href = Normalised(url.path(QUrl::FullyDecoded));
            if (!entry.href.startsWith(collectionPath) && !SamePath(entry.href, collectionPath))
                continue;
            result.entries.append(entry);
        } else {
            r.skipCurrentElement();
        }
    }
    if (r.hasError()) {
        result.error = QStringLiteral("the server's answer is not well-formed XML (line %1: %2)")
                           .arg(r.lineNumber())
                           .arg(r.errorString());
        result.entries.clear();
    } else if (!root) {
        result.error = QStringLiteral("the server's answer holds no XML");
    }
    return result;
}

QString CollectionPath(const QUrl &url)
{
    QString path = url.path(QUrl::FullyDecoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool IsMember(const Entry &entry, const QString &collectionPath)
{
    return entry.href.startsWith(collectionPath) && !SamePath(entry.href, collectionPath) &&
           !entry.href.endsWith(QLatin1Char('/')) && !entry.collection;
}

} // namespace CalDav
