#include "sync/CalDav.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <tuple>

namespace {

// Collects the answer of one call and counts how often it came.
template <typename... T> struct Answer
{
    std::tuple<T...> values;
    int calls = 0;
    auto callback()
    {
        return [this](const T &...v) {
            values = std::make_tuple(v...);
            ++calls;
        };
    }
    bool wait()
    {
        return QTest::qWaitFor([this] { return calls > 0; }, 5000);
    }
    const CalDav::Result &result() const { return std::get<0>(values); }
};

// A server on 127.0.0.1 that answers each request with the next scripted
// answer and keeps every request head it got. "silent" answers nothing,
// "stream" sends an endless chunked body, "trickle" a long body one byte
// every 50 ms.
class FakeServer : public QObject
{
public:
    QList<QByteArray> answers;
    QList<QByteArray> requests;

    FakeServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        const QRegularExpressionMatch length =
            QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)")).match(QString::fromLatin1(head));
        if (buffer.size() < end + 4 + (length.hasMatch() ? length.captured(1).toLongLong() : 0))
            return;
        buffer.clear();
        requests.append(head);
        const QByteArray answer = answers.value(requests.size() - 1, "HTTP/1.1 500 Out of script\r\n\r\n");
        if (answer == "silent")
            return;
        if (answer == "trickle") {
            socket->write(
                "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: 100000\r\n\r\n");
            auto *drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket] { socket->write(" "); });
            drip->start(50);
            return;
        }
        if (answer == "stream") {
            socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n");
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                if (socket->bytesToWrite() < 1 << 20)
                    socket->write("100000\r\n" + QByteArray(1 << 20, ' ') + "\r\n");
            });
            socket->write("100000\r\n" + QByteArray(1 << 20, ' ') + "\r\n");
            return;
        }
        socket->write(answer);
        if (answer.contains("Connection: close"))
            socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

// Whether a request head asks for the collection /cal/ or something in it,
// as a server would read its path: decoded, dot segments resolved.
bool InCollection(const QByteArray &head)
{
    const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
    const QString path = QDir::cleanPath(QUrl::fromEncoded("http://127.0.0.1" + target).path(QUrl::FullyDecoded));
    return path == QLatin1String("/cal") || path.startsWith(QLatin1String("/cal/"));
}

QByteArray Http(const QByteArray &status, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray MultistatusBody(const QByteArray &responses)
{
    return "<?xml version=\"1.0\"?>\n<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
           responses + "</d:multistatus>";
}

QByteArray Multistatus(const QByteArray &responses)
{
    return Http("207 Multi-Status", MultistatusBody(responses), "Content-Type: application/xml; charset=utf-8\r\n");
}

QByteArray Response(const QByteArray &href, const QByteArray &props)
{
    return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

const QByteArray kCalendarType = "<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>";

QByteArray Event(const QByteArray &uid, const QByteArray &summary = "Wake")
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tockwise//Test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20240307T080000Z\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\n"
           "END:VCALENDAR\r\n";
}

CalDav::Result NoAnswer()
{
    CalDav::Result result;
    result.error = QStringLiteral("no answer");
    return result;
}

QStringList Hrefs(const QList<CalDav::Resource> &resources)
{
    QStringList hrefs;
    for (const CalDav::Resource &r : resources)
        hrefs.append(r.href);
    hrefs.sort();
    return hrefs;
}

} // namespace

class TestCalDav : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_radicale;
    quint16 m_radicalePort = 0;

private slots:
    void initTestCase()
    {
        const QString radicale = QStandardPaths::findExecutable(QStringLiteral("radicale"));
        if (radicale.isEmpty())
            QSKIP("radicale is not installed");
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_radicalePort = probe.serverPort();
        probe.close();
        m_radicale.setProcessChannelMode(QProcess::MergedChannels);
        m_radicale.start(radicale,
                         {QStringLiteral("--config"), QString(), QStringLiteral("--storage-filesystem-folder"),
                          m_dir.filePath(QStringLiteral("collections")), QStringLiteral("--server-hosts"),
                          QStringLiteral("127.0.0.1:%1").arg(m_radicalePort), QStringLiteral("--auth-type"),
                          QStringLiteral("none")});
        QVERIFY(m_radicale.waitForStarted());
        const bool up = QTest::qWaitFor(
            [this] {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, m_radicalePort);
                return socket.waitForConnected(100);
            },
            10000);
        QVERIFY2(up, m_radicale.readAll().constData());
    }

    void cleanupTestCase()
    {
        m_radicale.terminate();
        m_radicale.waitForFinished(3000);
    }

    // A calendar's life on a real server: made, filled, changed behind our
    // back, listed whole and by token, read, emptied.
    void journey()
    {
        const QUrl collection(QStringLiteral("http://127.0.0.1:%1/alice/alarms/").arg(m_radicalePort));
        CalDav::Client client({collection, QStringLiteral("alice"), "secret"});
        auto ensure = [&] {
            Answer<CalDav::Result> a;
            client.EnsureCollection(a.callback());
            return a.wait() ? a.result() : NoAnswer();
        };
        auto put = [&](const QString &href, const QByteArray &uid, const QByteArray &etag,
                       const QByteArray &summary = "Wake") {
            Answer<CalDav::Result> a;
            client.Put(href, Event(uid, summary), etag, a.callback());
            return a.wait() ? a.result() : NoAnswer();
        };
        auto remove = [&](const QString &href, const QByteArray &etag) {
            Answer<CalDav::Result> a;
            client.Delete(href, etag, a.callback());
            return a.wait() ? a.result() : NoAnswer();
        };
        auto list = [&](const QByteArray &token) {
            Answer<CalDav::Result, CalDav::Listing> a;
            client.List(token, a.callback());
            if (!a.wait())
                return std::make_tuple(NoAnswer(), CalDav::Listing());
            return a.values;
        };

        CalDav::Result r = ensure();
        QVERIFY2(r.error.isEmpty() && r.created, qPrintable(r.error));
        r = ensure();
        QVERIFY2(r.error.isEmpty() && !r.created, qPrintable(r.error));

        const QString a = client.HrefFor(QStringLiteral("a@example.com"));
        const QString b = client.HrefFor(QStringLiteral("b/ü@example.com"));
        const CalDav::Result putA = put(a, "a@example.com", {});
        const CalDav::Result putB = put(b, "b/ü@example.com", {});
        QVERIFY2(putA.error.isEmpty() && !putA.etag.isEmpty(), qPrintable(putA.error));
        QVERIFY2(putB.error.isEmpty() && !putB.etag.isEmpty(), qPrintable(putB.error));
        r = put(a, "a@example.com", "\"stale\"");
        QVERIFY(r.preconditionFailed && !r.error.isEmpty());
        QCOMPARE(r.status, 412);
        r = put(a, "a@example.com", {});
        QVERIFY(r.preconditionFailed && r.error.contains(QLatin1String("already exists")));

        auto [listed, whole] = list({});
        QVERIFY2(listed.error.isEmpty(), qPrintable(listed.error));
        QVERIFY(whole.complete);
        QCOMPARE(Hrefs(whole.resources), QStringList({a, b}));
        QVERIFY(!whole.syncToken.isEmpty());

        const CalDav::Result changed = put(a, "a@example.com", putA.etag, "Wake up");
        QVERIFY2(changed.error.isEmpty() && changed.etag != putA.etag, qPrintable(changed.error));
        r = remove(b, "\"stale\"");
        QVERIFY(r.preconditionFailed);
        r = remove(b, putB.etag);
        QVERIFY2(r.error.isEmpty() && !r.missing, qPrintable(r.error));
        r = remove(b, putB.etag);
        QVERIFY(r.error.isEmpty() && r.missing);

        auto [synced, delta] = list(whole.syncToken);
        QVERIFY2(synced.error.isEmpty(), qPrintable(synced.error));
        QVERIFY(!delta.complete);
        QCOMPARE(Hrefs(delta.resources), QStringList({a}));
        QCOMPARE(delta.resources.first().etag, changed.etag);
        QCOMPARE(delta.removed, QStringList({b}));
        QVERIFY(delta.syncToken != whole.syncToken);

        // A token the server does not know falls back to everything.
        auto [fallback, again] = list("http://radicale.org/ns/sync/unknown");
        QVERIFY2(fallback.error.isEmpty(), qPrintable(fallback.error));
        QVERIFY(again.complete);
        QCOMPARE(Hrefs(again.resources), QStringList({a}));

        Answer<CalDav::Result, QList<CalDav::Resource>> fetched;
        client.Fetch({a, b}, fetched.callback());
        QVERIFY(fetched.wait());
        QVERIFY2(fetched.result().error.isEmpty(), qPrintable(fetched.result().error));
        const QList<CalDav::Resource> bodies = std::get<1>(fetched.values);
        QCOMPARE(Hrefs(bodies), QStringList({a}));
        QCOMPARE(bodies.first().etag, changed.etag);
        QVERIFY(bodies.first().body.contains("SUMMARY:Wake up"));

        CalDav::Client gone({collection.resolved(QUrl(QStringLiteral("../nothing/"))), QStringLiteral("alice"), "x"});
        Answer<CalDav::Result> checked;
        gone.Check(checked.callback());
        QVERIFY(checked.wait());
        QVERIFY(checked.result().missing && !checked.result().error.isEmpty());
    }

    void misbehaving_data()
    {
        QTest::addColumn<QString>("op"); // check, ensure, put, delete, list, sync, fetch; then the href, if any
        QTest::addColumn<QList<QByteArray>>("answers"); // {self}, {other}: the two servers' ports
        QTest::addColumn<QString>("error");             // part of the error; empty: must succeed
        QTest::addColumn<int>("requests");              // how many the server got; -1: any
        QTest::addColumn<QStringList>("hrefs");

        QTest::newRow("refuses password")
            << "check" << QList<QByteArray>{Http("401 Unauthorized", "no", "WWW-Authenticate: Basic realm=\"x\"\r\n")}
            << "refused the user name or password" << 1 << QStringList();
        QTest::newRow("redirect to another port")
            << "check" << QList<QByteArray>{Http("302 Found", {}, "Location: http://127.0.0.1:{other}/cal/\r\n")}
            << "redirects to http://127.0.0.1:{other}/cal/, which is not followed" << 1 << QStringList();
        QTest::newRow("redirect to another host")
            << "put" << QList<QByteArray>{Http("307 Moved", {}, "Location: https://evil.example/cal/a.ics\r\n")}
            << "redirects to https://evil.example/cal/a.ics, which is not followed" << 1 << QStringList();
        QTest::newRow("redirect within the collection followed")
            << "check"
            << QList<QByteArray>{Http("301 Moved", {}, "Location: http://127.0.0.1:{self}/cal\r\n"),
                                 Multistatus(Response("/cal/", kCalendarType))}
            << "" << 2 << QStringList();
        // A collection redirected elsewhere on its own server is not ours to
        // follow: nothing there is read, listed, fetched or changed.
        const QByteArray notFollowed = "which is not followed: nothing outside the calendar";
        const QByteArray stranger = Response("/moved/x.ics", "<d:getetag>\"1\"</d:getetag>");
        QTest::newRow("redirect out of the collection")
            << "check"
            << QList<QByteArray>{Http("301 Moved", {}, "Location: /moved/\r\n"),
                                 Multistatus(Response("/moved/", kCalendarType))}
            << QString("redirects to http://127.0.0.1:{self}/moved/, " + notFollowed) << 1 << QStringList();
        QTest::newRow("listing redirected out")
            << "list"
            << QList<QByteArray>{Http("302 Found", {}, "Location: /moved/\r\n"),
                                 Multistatus(Response("/moved/", kCalendarType) + stranger)}
            << QString(notFollowed) << 1 << QStringList();
        QTest::newRow("sync report redirected out")
            << "sync"
            << QList<QByteArray>{Http("307 Temporary Redirect", {}, "Location: ../moved/\r\n"), Multistatus(stranger)}
            << QString(notFollowed) << 1 << QStringList();
        QTest::newRow("GET redirected within the collection")
            << "fetch"
            << QList<QByteArray>{Http("405 Method Not Allowed"),
                                 Http("302 Found", {}, "Location: /cal/store/a.ics\r\n"),
                                 Http("200 OK", Event("a"), "ETag: \"7\"\r\n")}
            << "" << 3 << QStringList{"/cal/a.ics"};
        QTest::newRow("GET redirected out")
            << "fetch"
            << QList<QByteArray>{Http("405 Method Not Allowed"), Http("302 Found", {}, "Location: /blobs/a.ics\r\n"),
                                 Http("200 OK", Event("a"), "ETag: \"7\"\r\n")}
            << QString(notFollowed) << 2 << QStringList();
        QTest::newRow("delete redirected to another member")
            << "delete /cal/a.ics"
            << QList<QByteArray>{Http("307 Temporary Redirect", {}, "Location: /cal/b.ics\r\n"), Http("204 No Content")}
            << "a change goes only to the address it is meant for" << 1 << QStringList();
        QTest::newRow("delete outside") << "delete /moved/x.ics" << QList<QByteArray>() << "is not in the calendar" << 0
                                        << QStringList();
        QTest::newRow("fetch outside: not asked for")
            << "fetch /moved/x.ics" << QList<QByteArray>() << "" << 0 << QStringList();
        QTest::newRow("redirect loop") << "check" << QList<QByteArray>(6, Http("302 Found", {}, "Location: /cal/\r\n"))
                                       << "redirects more than" << 6 << QStringList();
        QTest::newRow("not a calendar") << "check"
                                        << QList<QByteArray>{Multistatus(
                                               Response("/cal/", "<d:resourcetype><d:collection/></d:resourcetype>"))}
                                        << "not a calendar collection" << 1 << QStringList();
        QTest::newRow("missing collection made")
            << "ensure" << QList<QByteArray>{Http("404 Not Found"), Http("201 Created")} << "" << 2 << QStringList();
        QTest::newRow("garbage with 207")
            << "list" << QList<QByteArray>{Http("207 Multi-Status", "this is { not xml", "Content-Type: text/xml\r\n")}
            << "not well-formed XML" << 1 << QStringList();
        QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE d:multistatus [<!ENTITY l0 \"lol\">";
        for (int i = 1; i < 10; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                      QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
        laughs += "]><d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>&l9;</d:href></d:response></d:multistatus>";
        QTest::newRow("billion laughs") << "list" << QList<QByteArray>{Http("207 Multi-Status", laughs)}
                                        << "document type" << 1 << QStringList();
        QTest::newRow("undeclared entity")
            << "list" << QList<QByteArray>{Multistatus(Response("/cal/&l9;", "<d:getetag>\"1\"</d:getetag>"))}
            << "not well-formed XML" << 1 << QStringList();
        const QByteArray whole = MultistatusBody(Response("/cal/a.ics", "<d:getetag>\"1\"</d:getetag>"));
        const QByteArray truncated = Http("207 Multi-Status", whole.left(whole.size() - 30));
        QTest::newRow("truncated XML") << "list" << QList<QByteArray>{truncated} << "not well-formed XML" << 1
                                       << QStringList();
        QTest::newRow("wrong root") << "check"
                                    << QList<QByteArray>{Http("207 Multi-Status", "<html><body>Hi</body></html>")}
                                    << "not a WebDAV multistatus" << 1 << QStringList();
        QTest::newRow("announces more than the limit")
            << "fetch" << QList<QByteArray>{"HTTP/1.1 207 Multi-Status\r\nContent-Length: 104857600\r\n\r\n<d:"}
            << "larger than the limit" << 1 << QStringList();
        QTest::newRow("streams past the limit")
            << "list" << QList<QByteArray>{"stream"} << "larger than the limit" << 1 << QStringList();
        QTest::newRow("body cut short") << "fetch"
                                        << QList<QByteArray>{"HTTP/1.1 207 Multi-Status\r\nContent-Length: "
                                                             "1000\r\nConnection: close\r\n\r\n<d:multistatus"}
                                        << "failed" << 1 << QStringList();
        QTest::newRow("silent") << "check" << QList<QByteArray>{"silent"} << "did not answer within 0.3 seconds" << 1
                                << QStringList();
        QTest::newRow("HTML 500") << "put"
                                  << QList<QByteArray>{Http("500 Internal Server Error", "<html>oops</html>",
                                                            "Content-Type: text/html\r\n")}
                                  << "500 Internal Server Error" << 1 << QStringList();
        QTest::newRow("no multiget: GET each")
            << "fetch"
            << QList<QByteArray>{Http("405 Method Not Allowed"), Http("200 OK", Event("a"), "ETag: \"7\"\r\n")} << ""
            << 2 << QStringList{"/cal/a.ics"};
        QTest::newRow("hrefs normalised, strangers dropped")
            << "list"
            << QList<QByteArray>{Multistatus(
                   Response("/cal/", kCalendarType + "<d:sync-token>t1</d:sync-token>") +
                   Response("/cal/sub/", "<d:resourcetype><d:collection/></d:resourcetype>") +
                   Response("https://evil.example/cal/x.ics", "<d:getetag>\"1\"</d:getetag>") +
                   Response("http://127.0.0.1:{self}/cal/b%20c.ics", "<d:getetag>\"2\"</d:getetag>") +
                   Response("/cal/caf%C3%A9.ics", "<d:getetag>\"3\"</d:getetag>") +
                   Response("/elsewhere/y.ics", "<d:getetag>\"4\"</d:getetag>") +
                   Response("/cal/..%2Felsewhere%2Fz.ics", "<d:getetag>\"5\"</d:getetag>") +
                   Response("/cal/sub/%2E%2E/d.ics", "<d:getetag>\"6\"</d:getetag>"))}
            << "" << 1 << QStringList{"/cal/b c.ics", QStringLiteral("/cal/café.ics"), "/cal/d.ics"};
    }

    // Servers that fail in every way we could think of: each call still
    // answers once, with the cause, and the password reaches nobody else.
    void misbehaving()
    {
        QFETCH(QString, op);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QString, error);
        QFETCH(int, requests);
        QFETCH(QStringList, hrefs);

        FakeServer server;
        FakeServer other;
        // The ports are known only now; an answer that held one gets its length again.
        auto ports = [&](QByteArray text) {
            const QByteArray before = text;
            text.replace("{self}", QByteArray::number(server.port()))
                .replace("{other}", QByteArray::number(other.port()));
            const qsizetype head = text.indexOf("\r\n\r\n");
            const qsizetype length = text.indexOf("Content-Length: ");
            if (text == before || head < 0 || length < 0)
                return text;
            const qsizetype end = text.indexOf("\r\n", length);
            return text.left(length) + "Content-Length: " + QByteArray::number(text.size() - head - 4) + text.mid(end);
        };
        for (const QByteArray &answer : answers)
            server.answers.append(ports(answer));
        other.answers = {Multistatus(Response("/cal/", kCalendarType))};
        error = QString::fromLatin1(ports(error.toLatin1()));

        CalDav::Client client(
            {QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.port())), QStringLiteral("alice"), "secret"});
        // Short for the server that never answers, roomy for the rest on a busy machine.
        client.SetTimeout(qstrcmp(QTest::currentDataTag(), "silent") == 0 ? 300 : 5000);
        Answer<CalDav::Result, QStringList> answer;
        auto done = answer.callback();
        const QString href =
            op.section(QLatin1Char(' '), 1).isEmpty() ? QStringLiteral("/cal/a.ics") : op.section(QLatin1Char(' '), 1);
        op = op.section(QLatin1Char(' '), 0, 0);
        if (op == QLatin1String("check")) {
            client.Check([&](const CalDav::Result &r) { done(r, {}); });
        } else if (op == QLatin1String("ensure")) {
            client.EnsureCollection([&](const CalDav::Result &r) { done(r, {}); });
        } else if (op == QLatin1String("put")) {
            client.Put(href, Event("a"), {}, [&](const CalDav::Result &r) { done(r, {}); });
        } else if (op == QLatin1String("delete")) {
            client.Delete(href, "\"1\"", [&](const CalDav::Result &r) { done(r, {}); });
        } else if (op == QLatin1String("list") || op == QLatin1String("sync")) {
            client.List(op == QLatin1String("sync") ? "t1" : "",
                        [&](const CalDav::Result &r, const CalDav::Listing &l) { done(r, Hrefs(l.resources)); });
        } else {
            client.Fetch({href},
                         [&](const CalDav::Result &r, const QList<CalDav::Resource> &got) { done(r, Hrefs(got)); });
        }
        QCOMPARE(answer.calls, 0); // never before the call returns
        QVERIFY(answer.wait());
        QTest::qWait(50);
        QCOMPARE(answer.calls, 1);

        const QString got = answer.result().error;
        if (error.isEmpty())
            QVERIFY2(got.isEmpty(), qPrintable(got));
        else
            QVERIFY2(got.contains(error), qPrintable(got));
        QVERIFY(!got.contains(QLatin1String("secret")));
        QCOMPARE(std::get<1>(answer.values), hrefs);
        if (requests >= 0)
            QCOMPARE(server.requests.size(), requests);
        for (const QByteArray &head : std::as_const(server.requests)) {
            QVERIFY(head.contains("\r\nAuthorization: Basic " + QByteArray("alice:secret").toBase64()));
            QVERIFY2(InCollection(head), head.constData());
        }
        QVERIFY(other.requests.isEmpty());
    }

    void deadlines_data()
    {
        QTest::addColumn<QByteArray>("stuck"); // the first request's answer
        QTest::addColumn<int>("stallMs");
        QTest::addColumn<int>("overallMs");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("meanwhile"); // the second call while the first still waits, else after it

        QTest::newRow("trickling: the deadline ends it")
            << QByteArray("trickle") << 5000 << 600 << "within the deadline of 0.6 seconds" << false;
        QTest::newRow("trickling, another call meanwhile")
            << QByteArray("trickle") << 5000 << 600 << "within the deadline of 0.6 seconds" << true;
        QTest::newRow("silent: no progress ends it")
            << QByteArray("silent") << 300 << 5000 << "did not answer within 0.3 seconds" << false;
    }

    // A server that makes the client wait (trickling a byte now and then, or
    // silent) ends in an error naming the limit, and holds up nothing else:
    // a call meanwhile is answered, and so is the next one.
    void deadlines()
    {
        QFETCH(QByteArray, stuck);
        QFETCH(int, stallMs);
        QFETCH(int, overallMs);
        QFETCH(QString, error);
        QFETCH(bool, meanwhile);

        FakeServer server;
        server.answers = {stuck, Multistatus(Response("/cal/", kCalendarType))};
        CalDav::Client client(
            {QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.port())), QStringLiteral("alice"), "secret"});
        client.SetTimeLimits(stallMs, overallMs);
        QElapsedTimer clock;
        clock.start();
        Answer<CalDav::Result> first;
        client.Fetch({QStringLiteral("/cal/a.ics")},
                     [&](const CalDav::Result &r, const QList<CalDav::Resource> &) { first.callback()(r); });
        Answer<CalDav::Result> second;
        if (meanwhile) {
            QTRY_COMPARE(server.requests.size(), 1);
            client.Check(second.callback());
            QVERIFY(second.wait());
            QCOMPARE(first.calls, 0);
        }
        QVERIFY(first.wait());
        const qint64 took = clock.elapsed();
        QVERIFY2(first.result().error.contains(error), qPrintable(first.result().error));
        QVERIFY2(took >= std::min(stallMs, overallMs) - 50 && took < std::min(stallMs, overallMs) + 3000,
                 qPrintable(QString::number(took)));
        if (!meanwhile) {
            client.Check(second.callback());
            QVERIFY(second.wait());
        }
        QVERIFY2(second.result().error.isEmpty(), qPrintable(second.result().error));
        QCOMPARE(first.calls, 1);
        QCOMPARE(second.calls, 1);
    }

    // A client made in one thread and moved to a worker before its first
    // call, as the sync runs it off the clock's thread: a whole listing and
    // fetch works there, and every answer comes in the worker.
    void inWorkerThread()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("thread"), QRegularExpression::CaseInsensitiveOption));
        FakeServer server;
        const QByteArray body = Event("a");
        server.answers = {
            Multistatus(Response("/cal/", kCalendarType) + Response("/cal/a.ics", "<d:getetag>\"1\"</d:getetag>")),
            Multistatus(
                Response("/cal/a.ics", "<d:getetag>\"1\"</d:getetag><c:calendar-data>" + body + "</c:calendar-data>"))};
        // What the worker's callbacks touch outlives the worker.
        QMutex mutex;
        QList<QThread *> threads; // where each answer came
        QString error;
        QList<CalDav::Resource> got;
        std::atomic<bool> done = false;
        std::atomic<bool> gone = false;
        QThread worker;
        worker.start();
        const auto stop = qScopeGuard([&worker] {
            worker.quit();
            worker.wait();
        });
        auto *client = new CalDav::Client(
            {QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.port())), QStringLiteral("alice"), "secret"});
        client->SetTimeout(5000);
        client->moveToThread(&worker);
        QMetaObject::invokeMethod(client, [&] {
            client->List({}, [&](const CalDav::Result &listed, const CalDav::Listing &listing) {
                {
                    QMutexLocker lock(&mutex);
                    threads.append(QThread::currentThread());
                    error = listed.error;
                }
                QStringList hrefs;
                for (const CalDav::Resource &r : listing.resources)
                    hrefs.append(r.href);
                client->Fetch(hrefs, [&](const CalDav::Result &fetched, const QList<CalDav::Resource> &resources) {
                    QMutexLocker lock(&mutex);
                    threads.append(QThread::currentThread());
                    error += fetched.error;
                    got = resources;
                    done = true;
                });
            });
        });
        const bool answered = QTest::qWaitFor([&] { return done.load(); }, 10000);
        QObject::connect(
            client, &QObject::destroyed, client, [&] { gone = true; }, Qt::DirectConnection);
        client->deleteLater();
        QTRY_VERIFY(gone.load());

        QVERIFY(answered);
        QMutexLocker lock(&mutex);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(threads, QList<QThread *>({&worker, &worker}));
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().href, QStringLiteral("/cal/a.ics"));
        QVERIFY(got.first().body.contains("UID:a"));
        QCOMPARE(server.requests.size(), 2);
    }

    void refuseUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason"); // part of the refusal; empty: accepted

        QTest::newRow("https") << "https://dav.example.com/cal/"
                               << "";
        QTest::newRow("http to 127.0.0.1") << "http://127.0.0.1:5232/cal/"
                                           << "";
        QTest::newRow("http to 127.8.9.10") << "http://127.8.9.10/cal/"
                                            << "";
        QTest::newRow("http to ::1") << "http://[::1]:5232/cal/"
                                     << "";
        QTest::newRow("http to localhost") << "http://LocalHost:5232/cal/"
                                           << "";
        QTest::newRow("http to a LAN address") << "http://192.168.1.10/cal/"
                                               << "unencrypted";
        QTest::newRow("http to a name like loopback") << "http://127.0.0.1.evil.example/cal/"
                                                      << "unencrypted";
        QTest::newRow("ftp") << "ftp://dav.example.com/cal/"
                             << "not an https:// address";
        QTest::newRow("no host") << "https:///cal/"
                                 << "names no server";
        QTest::newRow("nothing") << ""
                                 << "no calendar address";
    }

    // Refused addresses: the reason, and a client that sends nothing and
    // says so from the event loop.
    void refuseUrl()
    {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        const QString refusal = CalDav::RefuseUrl(QUrl(url));
        if (reason.isEmpty()) {
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            return;
        }
        QVERIFY2(refusal.contains(reason), qPrintable(refusal));
        CalDav::Client client({QUrl(url), QStringLiteral("alice"), "secret"});
        Answer<CalDav::Result> answer;
        client.Put(QStringLiteral("/cal/a.ics"), "x", {}, answer.callback());
        QCOMPARE(answer.calls, 0);
        QVERIFY(answer.wait());
        QCOMPARE(answer.result().error, refusal);
    }

    void hrefFor_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("href"); // empty: only the rules below

        QTest::newRow("plain") << "abc-123_x.y@example.com"
                               << "/cal/abc-123_x.y@example.com.ics";
        QTest::newRow("climbs out") << "../../etc/passwd"
                                    << "";
        QTest::newRow("slash") << "a/b"
                               << "";
        QTest::newRow("colon, same shape") << "a:b"
                                           << "";
        QTest::newRow("dots") << "..."
                              << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("long") << QString(500, QLatin1Char('z')) << "";
    }

    // Every UID gets its own file name in the collection, whatever it holds.
    void hrefFor()
    {
        QFETCH(QString, uid);
        QFETCH(QString, href);
        static QSet<QString> seen;
        const CalDav::Client client({QUrl(QStringLiteral("https://dav.example.com/cal")), {}, {}});
        const QString got = client.HrefFor(uid);
        if (!href.isEmpty())
            QCOMPARE(got, href);
        QVERIFY(got.startsWith(QLatin1String("/cal/")) && got.endsWith(QLatin1String(".ics")));
        const QString name = got.mid(5);
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9_@-][A-Za-z0-9._@-]{0,99}$")).match(name).hasMatch(),
                 qPrintable(got));
        QVERIFY(!name.contains(QLatin1String("..")));
        QVERIFY2(!seen.contains(got), qPrintable(got));
        seen.insert(got);
    }

    // A client deleted with answers pending calls none of them.
    void deletedWhileWaiting()
    {
        int calls = 0;
        auto *refused = new CalDav::Client({QUrl(QStringLiteral("ftp://example.com/cal/")), {}, {}});
        refused->Check([&](const CalDav::Result &) { ++calls; });
        delete refused;

        FakeServer server;
        server.answers = {"silent"};
        auto *waiting =
            new CalDav::Client({QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.port())), {}, {}});
        waiting->Check([&](const CalDav::Result &) { ++calls; });
        QTRY_COMPARE(server.requests.size(), 1);
        delete waiting;
        QTest::qWait(100);
        QCOMPARE(calls, 0);
    }
};

QTEST_MAIN(TestCalDav)
#include "tst_caldav.moc"
