#pragma once

#include "interchange/InputLimits.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

// A client of one calendar collection on a CalDAV server (RFC 4791), with the
// collection synchronisation report (RFC 6578) where the server offers it.
// Every call is asynchronous and answers exactly once through its callback,
// from the event loop, never before the call returns. The password goes only
// to the collection's own scheme, host and port, and nothing outside the
// collection's path is read or changed: a redirect is followed for its one
// request only and only where it stays inside the collection (see
// Client::Private::finished). Every request ends: after StallMs without
// progress, or at the latest RequestDeadlineMs after it was sent. A client
// deleted with calls still pending drops their answers: none comes after the
// destructor.
//
// A client belongs to one thread, which runs an event loop: create it there
// or move it there before its first call; call it, and delete it, there. Its
// callbacks run there. Clients in different threads share nothing.
namespace CalDav {

// Why the password may not be sent to url, empty when it may: HTTPS (with
// the system's certificate check), or plain HTTP to a loopback address.
QString RefuseUrl(const QUrl &url);

// The largest answer read from a server; a larger one is a fault.
inline constexpr qint64 AnswerLimit = InputLimits::FileBytes;
// The longest wait for any progress of one request.
inline constexpr int StallMs = 30 * 1000;
// The longest one request may take in all, redirects included: a server
// trickling a byte now and then is cut off here.
inline constexpr int RequestDeadlineMs = 2 * 60 * 1000;

struct Account
{
    QUrl collection; // the calendar collection; its path ends in '/'
    QString user;
    QByteArray password;
};

struct Resource
{
    QString href;    // the absolute path on the server, percent-decoded, dot segments resolved; inside the collection
    QByteArray etag; // as the server sends it, quotes included
    QByteArray body; // the iCalendar text; empty where only listed
};

struct Listing
{
    // True: resources lists every resource of the collection (anything known
    // and not listed is gone). False: only what changed since the token,
    // with what went in removed.
    bool complete = true;
    QList<Resource> resources; // without bodies
    QStringList removed;
    QByteArray syncToken; // for the next List; empty where the server keeps none
};

struct Result
{
    QString error;                   // empty when it was done; else what failed, for the user
    int status = 0;                  // the HTTP status, 0 when none came
    bool preconditionFailed = false; // 412: changed meanwhile (If-Match) or there already (If-None-Match)
    bool missing = false;            // 404: no such resource or collection
    QByteArray etag;                 // Put: the new ETag where the server sent one
    bool created = false;            // EnsureCollection: made with MKCALENDAR
};

class Client : public QObject
{
    Q_OBJECT

public:
    explicit Client(const Account &account, QObject *parent = nullptr);
    ~Client() override;

    // Longest wait for any progress of one request (default StallMs).
    void SetTimeout(int ms);
    // Both limits of one request at once (tests shorten them); a value of 0
    // or less keeps the default (StallMs, RequestDeadlineMs).
    void SetTimeLimits(int stallMs, int overallMs);

    // The collection exists (made with MKCALENDAR when the server says 404).
    void EnsureCollection(std::function<void(const Result &)> done);
    // The collection is there and is a calendar (missing set, with the error,
    // when it is gone).
    void Check(std::function<void(const Result &)> done);
    // What changed since syncToken (empty: everything). A token the server
    // no longer accepts gives the complete listing instead.
    void List(const QByteArray &syncToken, std::function<void(const Result &, const Listing &)> done);
    // The bodies and ETags of these resources (calendar-multiget in batches,
    // GET where the server has no REPORT). A resource gone meanwhile is left
    // out, and so is an href outside the collection: it is never asked for.
    void Fetch(const QStringList &hrefs, std::function<void(const Result &, const QList<Resource> &)> done);
    // Stores body at href: only if its ETag is still etag, or, with etag
    // empty, only if there is nothing at href yet (If-Match / If-None-Match: *).
    void Put(const QString &href, const QByteArray &body, const QByteArray &etag,
             std::function<void(const Result &)> done);
    // Removes href only if its ETag is still etag (any ETag when etag is
    // empty). Already gone: missing set, error empty, as nothing is left to do.
    // Put and Delete refuse an href outside the collection with an error,
    // sending nothing.
    void Delete(const QString &href, const QByteArray &etag, std::function<void(const Result &)> done);

    // Where a new event with this UID is stored: the collection's path and a
    // file name made of the UID's safe characters, ending in ".ics".
    QString HrefFor(const QString &uid) const;

private:
    struct Private;
    Private *d;
};

} // namespace CalDav
