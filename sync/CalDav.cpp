#include "sync/CalDav.h"

#include "sync/Multistatus.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <chrono>
#include <memory>
#include <utility>

namespace CalDav {

namespace {

// Enough for a server that moved once or twice; a loop ends here.
constexpr int kMaxRedirects = 5;
// Hrefs per calendar-multiget: small enough for any server's request limit.
constexpr qsizetype kBatch = 100;
// Rounds of a sync-collection report the server cut short (507) before we give up.
constexpr int kMaxSyncRounds = 50;

using Header = std::pair<QByteArray, QByteArray>;
using Headers = QList<Header>;

QString Shown(const QUrl &url)
{
    return url.toDisplayString(QUrl::RemoveUserInfo);
}

bool IsLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

// What came back for one request after any redirects were followed.
struct Answer
{
    QString error; // no usable HTTP answer came (network, time-out, size, redirect elsewhere)
    int status = 0;
    QByteArray reason;
    QByteArray body;
    QByteArray etag;
    QUrl url; // where the answer finally came from
};

// What a request is about, and so where a redirect of it may lead.
enum class Scope {
    Collection, // the collection itself: only its own path
    Read,       // reading one member: any member
    Write,      // changing one member: only that member
};

struct Exchange
{
    QByteArray method;
    QUrl url;
    Headers headers;
    QByteArray body;
    Scope scope = Scope::Collection;
    QDeadlineTimer deadline; // of the whole request, redirects included
    int hops = 0;
    QNetworkReply *reply = nullptr;
    QByteArray received;
    QString failure; // set when we ended the request ourselves, and why
    std::function<void(const Answer &)> done;
};

QString Describe(const Answer &answer, const QByteArray &method, const QUrl &url)
{
    if (!answer.error.isEmpty())
        return answer.error;
    // The reason phrase is the server's own text: shown, but not at any length.
    const QString status =
        QStringLiteral("%1 %2").arg(answer.status).arg(QString::fromLatin1(answer.reason.left(100))).trimmed();
    if (answer.status == 401 || answer.status == 403)
        return QStringLiteral("the server refused the user name or password (%1)").arg(status);
    return QStringLiteral("the server answered %1 to %2 %3").arg(status, QString::fromLatin1(method), url.path());
}

// ---- XML ------------------------------------------------------------------

// A request body: the root element in its namespace, what fill writes inside.
QByteArray RequestBody(const QString &ns, const QString &root, const std::function<void(QXmlStreamWriter &)> &fill)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(kDav, QStringLiteral("d"));
    if (ns == kCalDav)
        w.writeNamespace(kCalDav, QStringLiteral("c"));
    w.writeStartElement(ns, root);
    fill(w);
    w.writeEndDocument();
    return out;
}

QByteArray PropfindBody(bool listing)
{
    return RequestBody(kDav, QStringLiteral("propfind"), [listing](QXmlStreamWriter &w) {
        w.writeStartElement(kDav, QStringLiteral("prop"));
        w.writeEmptyElement(kDav, QStringLiteral("resourcetype"));
        if (listing) {
            w.writeEmptyElement(kDav, QStringLiteral("getetag"));
            w.writeEmptyElement(kDav, QStringLiteral("sync-token"));
        }
    });
}

QByteArray SyncCollectionBody(const QByteArray &token)
{
    return RequestBody(kDav, QStringLiteral("sync-collection"), [&token](QXmlStreamWriter &w) {
        w.writeTextElement(kDav, QStringLiteral("sync-token"), QString::fromUtf8(token));
        w.writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
        w.writeStartElement(kDav, QStringLiteral("prop"));
        w.writeEmptyElement(kDav, QStringLiteral("getetag"));
    });
}

QByteArray MultigetBody(const QStringList &paths)
{
    return RequestBody(kCalDav, QStringLiteral("calendar-multiget"), [&paths](QXmlStreamWriter &w) {
        w.writeStartElement(kDav, QStringLiteral("prop"));
        w.writeEmptyElement(kDav, QStringLiteral("getetag"));
        w.writeEmptyElement(kCalDav, QStringLiteral("calendar-data"));
        w.writeEndElement();
        for (const QString &path : paths)
            w.writeTextElement(kDav, QStringLiteral("href"), path);
    });
}

} // namespace

QString RefuseUrl(const QUrl &url)
{
    if (url.isEmpty())
        return QStringLiteral("no calendar address is set");
    if (!url.isValid())
        return QStringLiteral("the calendar address is not valid: %1").arg(url.errorString());
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return QStringLiteral("%1 is not an https:// address").arg(Shown(url));
    if (url.host().isEmpty())
        return QStringLiteral("%1 names no server").arg(Shown(url));
    if (scheme == QLatin1String("http") && !IsLoopback(url.host()))
        return QStringLiteral("%1 would send the password unencrypted: plain http:// is accepted only to this "
                              "computer (localhost); use https://")
            .arg(Shown(url));
    return {};
}

struct Client::Private
{
    Client *q = nullptr;
    QUrl base; // the collection, without user info or fragment, path ending in '/'
    QString basePath;
    QString refusal;
    QByteArray authorization;
    int stallMs = StallMs;
    int overallMs = RequestDeadlineMs;
    // Made on the first request, in the client's thread and as its child,
    // so a client moved to a worker thread before use takes it along.
    QNetworkAccessManager *nam = nullptr;
    QSet<QNetworkReply *> replies;

    QNetworkAccessManager *manager()
    {
        if (!nam)
            nam = new QNetworkAccessManager(q);
        return nam;
    }
    // A member of the collection: below its path, not the collection itself.
    bool inside(const QString &path) const { return path.startsWith(basePath) && !SamePath(path, basePath); }

    // Answers from the event loop and only while the client lives: a
    // deleted client's pending answers are dropped with it.
    template <typename F> void post(F f) { QMetaObject::invokeMethod(q, std::move(f), Qt::QueuedConnection); }
    // An answer of nothing but the error, from the event loop; false with no
    // error. The other arguments of done are empty.
    template <typename... Rest> bool refuse(const QString &error, std::function<void(const Result &, Rest...)> &done)
    {
        if (error.isEmpty())
            return false;
        Result result;
        result.error = error;
        post([done = std::move(done), result] { done(result, std::decay_t<Rest>()...); });
        return true;
    }

    void request(const QByteArray &method, const QUrl &url, Headers headers, const QByteArray &body,
                 std::function<void(const Answer &)> done);
    void send(const std::shared_ptr<Exchange> &ex);
    void take(const std::shared_ptr<Exchange> &ex);
    void fail(const std::shared_ptr<Exchange> &ex, const QString &why);
    void finished(const std::shared_ptr<Exchange> &ex);
    QString refuseRedirect(const Exchange &ex, const QUrl &target) const;

    QUrl urlFor(const QString &href, QString *error) const;
    void examine(bool create, std::function<void(const Result &)> done);
    void listAll(std::function<void(const Result &, const Listing &)> done);
    void syncRound(const QByteArray &token, int round, std::shared_ptr<Listing> listing,
                   std::function<void(const Result &, const Listing &)> done);

    struct Fetching
    {
        QStringList pending;
        QList<Resource> got;
        bool useGet = false;
        std::function<void(const Result &, const QList<Resource> &)> done;
    };
    void fetchStep(const std::shared_ptr<Fetching> &f);
};

void Client::Private::request(const QByteArray &method, const QUrl &url, Headers headers, const QByteArray &body,
                              std::function<void(const Answer &)> done)
{
    auto ex = std::make_shared<Exchange>();
    ex->method = method;
    ex->url = url;
    ex->headers = std::move(headers);
    ex->body = body;
    const QString path = url.path(QUrl::FullyDecoded);
    ex->scope = SamePath(path, basePath) ? Scope::Collection : method == "GET" ? Scope::Read : Scope::Write;
    ex->deadline = QDeadlineTimer(overallMs);
    ex->done = std::move(done);
    send(ex);
}

void Client::Private::send(const std::shared_ptr<Exchange> &ex)
{
    QNetworkRequest request(ex->url);
    // Redirects are ours to judge: Qt would follow them to any host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(stallMs);
    request.setRawHeader("Authorization", authorization);
    for (const auto &[name, value] : std::as_const(ex->headers))
        request.setRawHeader(name, value);
    QNetworkAccessManager *const m = manager();
    QNetworkReply *reply = ex->body.isEmpty() ? m->sendCustomRequest(request, ex->method)
                                              : m->sendCustomRequest(request, ex->method, ex->body);
    ex->reply = reply;
    ex->received.clear();
    replies.insert(reply);
    // Qt's transfer time-out ends only a request that makes no progress; a
    // server trickling a byte now and then is ended here. The timer goes
    // with the reply, so nothing of it outlives the request or the client.
    QTimer::singleShot(std::chrono::milliseconds(ex->deadline.remainingTime()), reply, [this, ex] {
        fail(ex, QStringLiteral("the server did not finish its answer to %1 %2 within the deadline of %3 seconds")
                     .arg(QString::fromLatin1(ex->method), ex->url.path())
                     .arg(overallMs / 1000.0));
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, q, [this, ex] {
        if (!ex->reply)
            return;
        const QVariant length = ex->reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > AnswerLimit)
            fail(ex, QStringLiteral("the server's answer of %1 MiB is larger than the limit of %2 MiB")
                         .arg(length.toLongLong() / (1024 * 1024))
                         .arg(AnswerLimit / (1024 * 1024)));
    });
    QObject::connect(reply, &QNetworkReply::readyRead, q, [this, ex] { take(ex); });
    QObject::connect(reply, &QNetworkReply::finished, q, [this, ex] { finished(ex); });
}

void Client::Private::take(const std::shared_ptr<Exchange> &ex)
{
    if (!ex->reply)
        return;
    // Never hold more than the limit: read at most one byte past it.
    ex->received += ex->reply->read(AnswerLimit + 1 - ex->received.size());
    if (ex->received.size() > AnswerLimit)
        fail(ex,
             QStringLiteral("the server's answer is larger than the limit of %1 MiB").arg(AnswerLimit / (1024 * 1024)));
}

void Client::Private::fail(const std::shared_ptr<Exchange> &ex, const QString &why)
{
    if (!ex->reply || !ex->failure.isEmpty())
        return;
    ex->failure = why;
    ex->received.clear();
    ex->reply->abort();
}

void Client::Private::finished(const std::shared_ptr<Exchange> &ex)
{
    QNetworkReply *reply = ex->reply;
    if (!reply)
        return;
    if (ex->failure.isEmpty() && reply->error() == QNetworkReply::NoError)
        take(ex);
    ex->reply = nullptr;
    replies.remove(reply);
    QObject::disconnect(reply, nullptr, q, nullptr);
    reply->deleteLater();

    Answer answer;
    answer.url = ex->url;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    const QNetworkReply::NetworkError error = reply->error();
    if (!ex->failure.isEmpty()) {
        answer.error = ex->failure;
    } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        // We cancel only through fail(), so a cancel we did not ask for is Qt's transfer time-out.
        answer.error = QStringLiteral("the server did not answer within %1 seconds").arg(stallMs / 1000.0);
    } else if (answer.status == 0 || (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
               (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError)) {
        // No answer at all, or one cut off by the connection or the protocol: its body is not to be trusted.
        answer.error = QStringLiteral("the connection to %1 failed: %2").arg(ex->url.host(), reply->errorString());
    } else if (answer.status >= 300 && answer.status < 400 && answer.status != 304) {
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        QUrl target = ex->url.resolved(location);
        target.setUserInfo({});
        if (location.isEmpty() || !target.isValid()) {
            answer.error = QStringLiteral("the server answered %1 without saying where to").arg(answer.status);
        } else if (const QString refused = refuseRedirect(*ex, target); !refused.isEmpty()) {
            answer.error = refused;
        } else if (ex->hops >= kMaxRedirects) {
            answer.error = QStringLiteral("%1 redirects more than %2 times").arg(Shown(base)).arg(kMaxRedirects);
        } else {
            ++ex->hops;
            ex->url = target;
            send(ex);
            return;
        }
    } else {
        answer.body = std::move(ex->received);
        answer.etag = reply->rawHeader("ETag");
    }
    auto done = std::move(ex->done);
    done(answer);
}

// Why a redirect from ex's address to target is not followed, empty when it
// is. It is followed for this one request only (base never changes), and only
// where it stays inside the collection: the collection's own requests to its
// own path (a slash added, another spelling), a read of a member to any
// member, a change of a member to that member alone. A collection that has
// moved elsewhere is the user's to set anew: following it would read another
// collection's members as ours (a complete listing of none of them says every
// event was deleted) and hand the password to whatever lives there.
QString Client::Private::refuseRedirect(const Exchange &ex, const QUrl &target) const
{
    const QString shown = Shown(target).left(300);
    if (OriginOf(target) != OriginOf(base))
        return QStringLiteral("%1 redirects to %2, which is not followed: the password goes only to %3")
            .arg(Shown(ex.url), shown, base.host());
    const QString path = Normalised(target.path(QUrl::FullyDecoded));
    bool allowed = false;
    switch (ex.scope) {
    case Scope::Collection:
        allowed = SamePath(path, basePath);
        break;
    case Scope::Read:
        allowed = inside(path);
        break;
    case Scope::Write:
        allowed = SamePath(path, Normalised(ex.url.path(QUrl::FullyDecoded)));
        break;
    }
    if (allowed)
        return {};
    if (ex.scope == Scope::Write)
        return QStringLiteral("%1 redirects to %2, which is not followed: a change goes only to the address it is "
                              "meant for")
            .arg(Shown(ex.url), shown);
    return QStringLiteral("%1 redirects to %2, which is not followed: nothing outside the calendar %3 is read or "
                          "changed (if the calendar has moved, set its new address)")
        .arg(Shown(ex.url), shown, Shown(base));
}

QUrl Client::Private::urlFor(const QString &href, QString *error) const
{
    const QStringList segments = href.split(QLatin1Char('/'));
    if (!href.startsWith(QLatin1Char('/')) || segments.contains(QLatin1String("..")) ||
        segments.contains(QLatin1String("."))) {
        *error = QStringLiteral("\"%1\" is not a path on the calendar server").arg(href.left(200));
        return {};
    }
    if (!inside(href)) {
        *error = QStringLiteral("\"%1\" is not in the calendar %2: nothing outside it is read or changed")
                     .arg(href.left(200), Shown(base));
        return {};
    }
    QUrl url = base;
    url.setPath(href, QUrl::DecodedMode);
    url.setQuery(QString());
    return url;
}

void Client::Private::examine(bool create, std::function<void(const Result &)> done)
{
    request("PROPFIND", base, {{"Depth", "0"}, {"Content-Type", "application/xml; charset=utf-8"}}, PropfindBody(false),
            [this, create, done = std::move(done)](const Answer &a) {
                Result result;
                result.status = a.status;
                if (a.error.isEmpty() && a.status == 404) {
                    if (!create) {
                        result.missing = true;
                        result.error = QStringLiteral("there is no calendar at %1").arg(Shown(base));
                        return done(result);
                    }
                    return request("MKCALENDAR", base, {}, {}, [this, done](const Answer &made) {
                        Result r;
                        r.status = made.status;
                        if (made.error.isEmpty() && Success(made.status))
                            r.created = true;
                        else
                            r.error = Describe(made, "MKCALENDAR", base);
                        done(r);
                    });
                }
                if (!a.error.isEmpty() || a.status != 207) {
                    result.error = Describe(a, "PROPFIND", a.url);
                    return done(result);
                }
                const Multistatus ms = ParseMultistatus(a.body, a.url, basePath);
                if (!ms.error.isEmpty()) {
                    result.error = ms.error;
                    return done(result);
                }
                const Entry *collection = nullptr;
                for (const Entry &entry : ms.entries) {
                    if (SamePath(entry.href, basePath))
                        collection = &entry;
                }
                if (!collection && ms.entries.size() == 1)
                    collection = &ms.entries.first();
                if (!collection || !collection->hasProps)
                    result.error = QStringLiteral("the server's answer does not describe %1").arg(Shown(base));
                else if (!collection->calendar)
                    result.error = QStringLiteral("%1 exists but is not a calendar collection").arg(Shown(base));
                done(result);
            });
}

void Client::Private::listAll(std::function<void(const Result &, const Listing &)> done)
{
    request("PROPFIND", base, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}}, PropfindBody(true),
            [this, done = std::move(done)](const Answer &a) {
                Result result;
                result.status = a.status;
                Listing listing;
                if (a.error.isEmpty() && a.status == 404) {
                    result.missing = true;
                    result.error = QStringLiteral("there is no calendar at %1").arg(Shown(base));
                    return done(result, listing);
                }
                if (!a.error.isEmpty() || a.status != 207) {
                    result.error = Describe(a, "PROPFIND", a.url);
                    return done(result, listing);
                }
                const Multistatus ms = ParseMultistatus(a.body, a.url, basePath);
                if (!ms.error.isEmpty()) {
                    result.error = ms.error;
                    return done(result, listing);
                }
                for (const Entry &entry : ms.entries) {
                    if (SamePath(entry.href, basePath))
                        listing.syncToken = entry.syncToken;
                    else if (IsMember(entry, basePath) && entry.hasProps)
                        listing.resources.append(Resource{entry.href, entry.etag, {}});
                }
                done(result, listing);
            });
}

void Client::Private::syncRound(const QByteArray &token, int round, std::shared_ptr<Listing> listing,
                                std::function<void(const Result &, const Listing &)> done)
{
    request("REPORT", base, {{"Depth", "0"}, {"Content-Type", "application/xml; charset=utf-8"}},
            SyncCollectionBody(token), [this, round, listing, done = std::move(done)](const Answer &a) mutable {
                Result result;
                result.status = a.status;
                if (a.error.isEmpty()) {
                    // A token the server no longer knows (403 valid-sync-token, 409), or no such
                    // report at all: only the complete listing is left.
                    static const QList<int> fallBack = {400, 403, 405, 409, 501};
                    if (fallBack.contains(a.status))
                        return listAll(std::move(done));
                    if (a.status == 404) {
                        result.missing = true;
                        result.error = QStringLiteral("there is no calendar at %1").arg(Shown(base));
                        return done(result, Listing());
                    }
                }
                if (!a.error.isEmpty() || a.status != 207) {
                    result.error = Describe(a, "REPORT", a.url);
                    return done(result, Listing());
                }
                const Multistatus ms = ParseMultistatus(a.body, a.url, basePath);
                if (!ms.error.isEmpty()) {
                    result.error = ms.error;
                    return done(result, Listing());
                }
                bool truncated = false;
                for (const Entry &entry : ms.entries) {
                    if (SamePath(entry.href, basePath)) {
                        truncated |= entry.status == 507;
                        continue;
                    }
                    if (!inside(entry.href) || entry.href.endsWith(QLatin1Char('/')))
                        continue;
                    if (entry.status == 404) {
                        listing->resources.removeIf([&](const Resource &r) { return r.href == entry.href; });
                        if (!listing->removed.contains(entry.href))
                            listing->removed.append(entry.href);
                    } else if (entry.hasProps && !entry.collection) {
                        listing->removed.removeAll(entry.href);
                        listing->resources.removeIf([&](const Resource &r) { return r.href == entry.href; });
                        listing->resources.append(Resource{entry.href, entry.etag, {}});
                    }
                }
                listing->syncToken = ms.syncToken;
                // The server sent only part of the changes (507 on the collection): the rest comes
                // with the token it just gave.
                if (truncated && !ms.syncToken.isEmpty() && round < kMaxSyncRounds)
                    return syncRound(ms.syncToken, round + 1, listing, std::move(done));
                done(result, *listing);
            });
}

void Client::Private::fetchStep(const std::shared_ptr<Fetching> &f)
{
    if (f->pending.isEmpty()) {
        auto done = std::move(f->done);
        return done(Result(), f->got);
    }
    auto failed = [f](const QString &error, int status) {
        Result result;
        result.error = error;
        result.status = status;
        auto done = std::move(f->done);
        done(result, {});
    };
    if (f->useGet) {
        const QString href = f->pending.first();
        QString error;
        const QUrl url = urlFor(href, &error);
        if (!error.isEmpty())
            return failed(error, 0);
        return request("GET", url, {}, {}, [this, f, href, url, failed](const Answer &a) {
            if (a.error.isEmpty() && a.status == 404) {
                f->pending.removeFirst();
                return fetchStep(f);
            }
            if (!a.error.isEmpty() || a.status != 200)
                return failed(Describe(a, "GET", url), a.status);
            f->pending.removeFirst();
            f->got.append(Resource{href, a.etag, a.body});
            fetchStep(f);
        });
    }
    const QStringList batch = f->pending.mid(0, kBatch);
    QStringList paths;
    for (const QString &href : batch) {
        QString error;
        const QUrl url = urlFor(href, &error);
        if (!error.isEmpty())
            return failed(error, 0);
        paths.append(url.path(QUrl::FullyEncoded));
    }
    request("REPORT", base, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}}, MultigetBody(paths),
            [this, f, failed, count = batch.size()](const Answer &a) {
                if (a.error.isEmpty() && QList<int>{400, 403, 405, 501}.contains(a.status)) {
                    // No calendar-multiget here: one GET per resource does the same, slower.
                    f->useGet = true;
                    return fetchStep(f);
                }
                if (!a.error.isEmpty() || a.status != 207)
                    return failed(Describe(a, "REPORT", a.url), a.status);
                const Multistatus ms = ParseMultistatus(a.body, a.url, basePath);
                if (!ms.error.isEmpty())
                    return failed(ms.error, a.status);
                for (const Entry &entry : ms.entries) {
                    if (entry.status == 404 || !inside(entry.href))
                        continue;
                    if (entry.status != 0 && !Success(entry.status))
                        return failed(QStringLiteral("the server answered %1 for %2").arg(entry.status).arg(entry.href),
                                      a.status);
                    if (entry.hasData)
                        f->got.append(Resource{entry.href, entry.etag, entry.data});
                }
                f->pending.remove(0, count);
                fetchStep(f);
            });
}

Client::Client(const Account &account, QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->q = this;
    d->refusal = RefuseUrl(account.collection);
    d->base = account.collection;
    // The password travels only in our own header, never in the address.
    d->base.setUserInfo({});
    d->base.setFragment({});
    d->basePath = Normalised(CollectionPath(d->base));
    d->base.setPath(d->basePath, QUrl::DecodedMode);
    d->authorization = "Basic " + (account.user.toUtf8() + ':' + account.password).toBase64();
}

Client::~Client()
{
    // Pending answers are dropped: nothing may call back into a client that is gone.
    const QSet<QNetworkReply *> replies = std::exchange(d->replies, {});
    for (QNetworkReply *reply : replies) {
        QObject::disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        delete reply;
    }
    delete d->nam;
    delete d;
}

void Client::SetTimeout(int ms)
{
    d->stallMs = ms > 0 ? ms : StallMs;
}

void Client::SetTimeLimits(int stallMs, int overallMs)
{
    SetTimeout(stallMs);
    d->overallMs = overallMs > 0 ? overallMs : RequestDeadlineMs;
}

void Client::EnsureCollection(std::function<void(const Result &)> done)
{
    if (d->refuse(d->refusal, done))
        return;
    d->examine(true, std::move(done));
}

void Client::Check(std::function<void(const Result &)> done)
{
    if (d->refuse(d->refusal, done))
        return;
    d->examine(false, std::move(done));
}

void Client::List(const QByteArray &syncToken, std::function<void(const Result &, const Listing &)> done)
{
    if (d->refuse(d->refusal, done))
        return;
    if (syncToken.isEmpty())
        return d->listAll(std::move(done));
    auto listing = std::make_shared<Listing>();
    listing->complete = false;
    d->syncRound(syncToken, 1, listing, std::move(done));
}

void Client::Fetch(const QStringList &hrefs, std::function<void(const Result &, const QList<Resource> &)> done)
{
    if (d->refuse(d->refusal, done))
        return;
    auto f = std::make_shared<Private::Fetching>();
    f->pending = hrefs;
    f->pending.removeDuplicates();
    // What cannot be a member of the collection is not asked for: to the
    // caller it is simply not there.
    f->pending.removeIf([this](const QString &href) {
        QString error;
        d->urlFor(href, &error);
        return !error.isEmpty();
    });
    f->done = std::move(done);
    // Even an empty list answers from the event loop, never before Fetch returns.
    d->post([this, f] { d->fetchStep(f); });
}

void Client::Put(const QString &href, const QByteArray &body, const QByteArray &etag,
                 std::function<void(const Result &)> done)
{
    QString error = d->refusal;
    const QUrl url = error.isEmpty() ? d->urlFor(href, &error) : QUrl();
    if (d->refuse(error, done))
        return;
    Headers headers = {{"Content-Type", "text/calendar; charset=utf-8"}};
    if (etag.isEmpty())
        headers.append(Header("If-None-Match", "*"));
    else
        headers.append(Header("If-Match", etag));
    d->request("PUT", url, headers, body, [this, url, etag, done = std::move(done)](const Answer &a) {
        Result result;
        result.status = a.status;
        if (a.error.isEmpty() && Success(a.status)) {
            result.etag = a.etag;
        } else if (a.error.isEmpty() && a.status == 412) {
            result.preconditionFailed = true;
            result.error = etag.isEmpty() ? QStringLiteral("%1 already exists on the server").arg(url.path())
                                          : QStringLiteral("%1 was changed on the server meanwhile").arg(url.path());
        } else {
            result.missing = a.error.isEmpty() && a.status == 404;
            result.error = Describe(a, "PUT", url);
        }
        done(result);
    });
}

void Client::Delete(const QString &href, const QByteArray &etag, std::function<void(const Result &)> done)
{
    QString error = d->refusal;
    const QUrl url = error.isEmpty() ? d->urlFor(href, &error) : QUrl();
    if (d->refuse(error, done))
        return;
    Headers headers;
    if (!etag.isEmpty())
        headers.append(Header("If-Match", etag));
    d->request("DELETE", url, headers, {}, [url, done = std::move(done)](const Answer &a) {
        Result result;
        result.status = a.status;
        if (a.error.isEmpty() && Success(a.status)) {
        } else if (a.error.isEmpty() && a.status == 404) {
            // Gone already is what the caller wanted.
            result.missing = true;
        } else if (a.error.isEmpty() && a.status == 412) {
            result.preconditionFailed = true;
            result.error = QStringLiteral("%1 was changed on the server meanwhile").arg(url.path());
        } else {
            result.error = Describe(a, "DELETE", url);
        }
        done(result);
    });
}

QString Client::HrefFor(const QString &uid) const
{
    QString name;
    for (const QChar c : uid) {
        const char16_t u = c.unicode();
        const bool safe = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
                          u == '_' || u == '-' || u == '@';
        name += safe ? c : QLatin1Char('_');
    }
    // No "." or ".." segment, no hidden file on servers that store files.
    while (name.contains(QLatin1String("..")))
        name.replace(QLatin1String(".."), QLatin1String("."));
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    name.truncate(80);
    // Where characters were replaced or cut, two UIDs could meet in one name: the
    // UID's own hash keeps them apart.
    if (name != uid || name.isEmpty())
        name += QLatin1Char('-') +
                QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    return d->basePath + name + QStringLiteral(".ics");
}

} // namespace CalDav
