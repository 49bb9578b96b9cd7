#include "sync/Synchronizer.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/TimingModule.h"
#include "interchange/ICalendar.h"

#include <QDate>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

using SyncState::Entry;
using SyncState::Fingerprint;
using SyncState::Kind;

namespace {

enum Direction { FromServer, ToServer };
enum Change { Added, Changed, Removed };

// State written every so many finished requests, so that a sync cut off
// goes on from there.
constexpr int SaveEvery = 50;
constexpr int DefaultDeadlineMs = 15 * 60 * 1000;
int deadlineOverride = 0;

bool dead(const Entry &e)
{
    return e.id.isEmpty() && e.href.isEmpty();
}

void kill(Entry &e)
{
    e.id.clear();
    e.href.clear();
}

} // namespace

// Who listens to the worker: the sync it works for, until that sync ends.
struct Synchronizer::Link
{
    QMutex mutex;
    Synchronizer *sync = nullptr;
};

// The sync's side that talks to the server and reads what it sends, on the
// server's thread. It keeps the bodies fetched this round: the uploads change
// an event from its own text.
class Synchronizer::Worker : public QObject
{
public:
    Worker(const CalDav::Account &account, std::shared_ptr<Link> link)
        : m_account(account)
        , m_link(std::move(link))
    {}

    void list(const QByteArray &token)
    {
        client().List(token, [this](const CalDav::Result &result, const CalDav::Listing &listing) {
            answer([result, listing](Synchronizer &s) { s.listed(result, listing); });
        });
    }

    // Every event is read here, however large: never where the clock keeps time.
    void fetch(const QStringList &hrefs, const QDate &today)
    {
        client().Fetch(hrefs, [this, today](const CalDav::Result &result, const QList<CalDav::Resource> &got) {
            QList<Reconcile::Download> mapped;
            if (result.error.isEmpty()) {
                mapped.reserve(got.size());
                for (const CalDav::Resource &r : got) {
                    m_bodies.insert(r.href, r);
                    mapped.append(Reconcile::Download{r.href, r.etag, ICalendar::ReadEvent(r.body, today)});
                }
            }
            answer([result, mapped](Synchronizer &s) { s.fetched(result, mapped); });
        });
    }

    void fetchBodies(const QStringList &hrefs)
    {
        client().Fetch(hrefs, [this](const CalDav::Result &result, const QList<CalDav::Resource> &got) {
            for (const CalDav::Resource &r : got)
                m_bodies.insert(r.href, r);
            answer([result](Synchronizer &s) { s.bodiesForUpdates(result); });
        });
    }

    void send(Job job)
    {
        const auto ended = [this](const Job &j, Sent sent, const CalDav::Result &result = {}) {
            answer([j, sent, result](Synchronizer &s) { s.jobDone(j, sent, result); });
        };
        QByteArray body;
        if (job.type == Job::PutNew) {
            job.href = client().HrefFor(job.id);
            body = ICalendar::NewEvent(job.alarm, job.id);
            if (body.isEmpty())
                return ended(job, Sent::NoBody);
        } else if (job.type == Job::PutChange) {
            const CalDav::Resource old = m_bodies.value(job.href);
            if (old.body.isEmpty() || old.etag != job.etag)
                return ended(job, Sent::Gone);
            body = ICalendar::UpdateEvent(old.body, job.alarm);
            if (body.isEmpty())
                return ended(job, Sent::NotUpdatable);
        }
        const auto done = [ended, job](const CalDav::Result &result) { ended(job, Sent::Done, result); };
        if (job.type == Job::Delete)
            client().Delete(job.href, job.etag, done);
        else
            client().Put(job.href, body, job.type == Job::PutNew ? QByteArray() : job.etag, done);
    }

    // Pending requests are dropped with the client; the thread ends.
    void stop()
    {
        m_client.reset();
        m_bodies.clear();
        QThread::currentThread()->quit();
    }

private:
    // Made here, so that its connections belong to this thread.
    CalDav::Client &client()
    {
        if (!m_client)
            m_client = std::make_unique<CalDav::Client>(m_account);
        return *m_client;
    }

    // f runs on the sync's thread, and only while that sync still listens.
    template <typename F> void answer(F f)
    {
        QMutexLocker locker(&m_link->mutex);
        Synchronizer *sync = m_link->sync;
        if (!sync)
            return;
        QMetaObject::invokeMethod(
            sync,
            [sync, link = m_link, f = std::move(f)]() mutable {
                if (sync->m_link == link)
                    f(*sync);
            },
            Qt::QueuedConnection);
    }

    CalDav::Account m_account;
    std::shared_ptr<Link> m_link;
    std::unique_ptr<CalDav::Client> m_client;
    QHash<QString, CalDav::Resource> m_bodies;
};

Synchronizer::Synchronizer(const CalDav::Account &account, const QString &statePath, QObject *parent)
    : QObject(parent)
    , m_account(account)
    , m_collection(account.collection.toString())
    , m_statePath(statePath)
{
    m_deadline.setSingleShot(true);
    // To the second is plenty for a deadline of minutes.
    m_deadline.setTimerType(Qt::CoarseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(DeadlineError(m_deadlineMs)); });
}

Synchronizer::~Synchronizer()
{
    m_running = false;
    releaseTable();
    stopWorker();
    // Waited for here where it ends soon (the worker drops its requests at
    // once): a command about to exit would never run the thread's own
    // deleteLater. One still busy deletes itself when it has ended.
    if (m_thread && m_thread->wait(QDeadlineTimer(EndWaitMs)))
        delete m_thread.data();
}

void Synchronizer::SetTableAccess(std::function<QString(bool *)> take, std::function<void()> release)
{
    m_take = std::move(take);
    m_release = std::move(release);
}

int Synchronizer::DeadlineMs()
{
    if (deadlineOverride > 0)
        return deadlineOverride;
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("TOCKWISE_SYNC_DEADLINE_MS", &ok);
    return ok && fromEnvironment > 0 ? fromEnvironment : DefaultDeadlineMs;
}

void Synchronizer::SetDeadlineMs(int ms)
{
    deadlineOverride = qMax(0, ms);
}

QString Synchronizer::DeadlineError(int ms)
{
    const QString length = ms >= 60000 && ms % 60000 == 0
                               ? QStringLiteral("%1 minutes").arg(ms / 60000)
                               : QStringLiteral("%1 seconds").arg(QString::number(ms / 1000.0));
    return QStringLiteral("the sync took longer than %1 and was abandoned").arg(length);
}

template <typename F> void Synchronizer::toWorker(F f)
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, std::move(f), Qt::QueuedConnection);
}

void Synchronizer::Run(std::function<void(const Report &)> done)
{
    m_done = std::move(done);
    m_report = Report();
    m_running = true;
    m_fetched.clear();
    m_removedHrefs.clear();
    m_inFlight = 0;
    m_sinceSave = 0;
    m_sent = 0;
    m_refused = 0;
    m_refusal.clear();
    m_jobError.clear();
    m_conflicts = 0;
    m_applied = false;
    m_jobs.clear();
    std::fill(&m_counts[0][0], &m_counts[0][0] + 6, 0);
    QString error;
    if (!SyncState::Read(m_statePath, &m_state, &error)) {
        // Always from the event loop, as every other answer.
        QMetaObject::invokeMethod(
            this, [this, error] { finish(error); }, Qt::QueuedConnection);
        return;
    }
    if (m_state.collection != m_collection) {
        // Another calendar: nothing known there yet.
        m_state = SyncState::State();
        m_state.collection = m_collection;
    }
    // What an older copy took from outside the collection (a redirect moved
    // it once) is no longer followed or changed there; the alarms it linked
    // go up into the collection as new events.
    QString collectionPath = m_account.collection.path(QUrl::FullyDecoded);
    if (!collectionPath.endsWith(QLatin1Char('/')))
        collectionPath += QLatin1Char('/');
    for (Entry &e : m_state.entries) {
        if (!e.href.isEmpty() && (!e.href.startsWith(collectionPath) || e.href == collectionPath))
            kill(e);
    }
    m_state.entries.removeIf(dead);
    m_newToken = m_state.token;
    reindex();

    m_deadlineMs = DeadlineMs();
    m_deadline.start(m_deadlineMs);
    if (m_thread && m_thread->isFinished()) {
        m_thread->wait();
        delete m_thread.data();
    }
    m_link = std::make_shared<Link>();
    m_link->sync = this;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("calendar sync"));
    m_worker = new Worker(m_account, m_link);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
    toWorker([w = m_worker, token = m_state.token] { w->list(token); });
}

bool Synchronizer::Stop(int waitMs)
{
    m_running = false;
    m_deadline.stop();
    m_done = nullptr;
    releaseTable();
    stopWorker();
    return !m_thread || m_thread->wait(QDeadlineTimer(waitMs));
}

void Synchronizer::stopWorker()
{
    if (m_link) {
        QMutexLocker locker(&m_link->mutex);
        m_link->sync = nullptr;
    }
    m_link.reset();
    toWorker([w = m_worker] { w->stop(); });
    m_worker = nullptr;
}

void Synchronizer::reindex()
{
    m_byHref.clear();
    for (int i = 0; i < m_state.entries.size(); ++i) {
        const Entry &e = m_state.entries.at(i);
        if (!e.href.isEmpty())
            m_byHref.insert(e.href, i);
    }
}

void Synchronizer::listed(const CalDav::Result &result, const CalDav::Listing &listing)
{
    if (!result.error.isEmpty())
        return finish(result.error);
    m_newToken = listing.syncToken;
    QStringList toFetch;
    QSet<QString> listed;
    for (const CalDav::Resource &r : listing.resources) {
        listed.insert(r.href);
        const int e = m_byHref.value(r.href, -1);
        if (e < 0 || m_state.entries.at(e).etag != r.etag || r.etag.isEmpty())
            toFetch.append(r.href);
    }
    if (listing.complete) {
        for (const Entry &e : m_state.entries) {
            if (!e.href.isEmpty() && !listed.contains(e.href))
                m_removedHrefs.append(e.href);
        }
    } else {
        m_removedHrefs = listing.removed;
    }
    toWorker([w = m_worker, toFetch, today = TimingModule::Now().date()] { w->fetch(toFetch, today); });
}

void Synchronizer::fetched(const CalDav::Result &result, const QList<Reconcile::Download> &resources)
{
    if (!result.error.isEmpty())
        return finish(result.error);
    for (const Reconcile::Download &r : resources)
        m_fetched.insert(r.href);
    if (m_take) {
        bool busy = false;
        const QString why = m_take(&busy);
        if (!why.isEmpty()) {
            m_report.busy = busy;
            return finish(why);
        }
    }
    m_holdsTable = true;
    const Reconcile::Plan plan =
        Reconcile::Decide(AlarmStore::Instance().Records(), identities(), m_state, m_removedHrefs, resources);
    QStringList addedIds;
    if (!carryOut(plan, &addedIds))
        return;
    planUploads(plan, addedIds);
}

void Synchronizer::releaseTable()
{
    if (!m_holdsTable)
        return;
    m_holdsTable = false;
    if (m_release)
        m_release();
}

// The plan carried out on the table in one step: what came down and what
// was removed on the server, all of it saved or none; the state follows.
// False when the sync ended here. Every change of the table is made here and
// nowhere else; addedIds gets the identities the added records were given.
bool Synchronizer::carryOut(const Reconcile::Plan &plan, QStringList *addedIds)
{
    m_report.skipped += plan.skipped;
    m_conflicts += plan.conflicts;
    AlarmStore &store = AlarmStore::Instance();
    QList<Entry> entries = plan.entries;
    if (!plan.replaced.isEmpty() || !plan.added.isEmpty() || !plan.removed.isEmpty()) {
        const qint64 records = store.Records().size() + plan.added.size();
        if (records * AlarmHandling::SlotSize > AlarmHandling::MaxFileSize) {
            finish(QStringLiteral("the calendar holds %1 alarms, more than the alarm table can hold; nothing was "
                                  "changed here")
                       .arg(records - 1));
            return false;
        }
        AlarmStore::Change change;
        for (auto it = plan.replaced.cbegin(); it != plan.replaced.cend(); ++it)
            change.replace.append({it.key(), it.value()});
        for (const Reconcile::Added &added : plan.added)
            change.add.append(added.alarm);
        change.remove = plan.removed;
        change.changedAt = TimingModule::CurrentMinute();
        QString error;
        if (!store.Apply(change, &error, addedIds)) {
            finish(QStringLiteral("the alarms from the server could not be saved: %1").arg(error));
            return false;
        }
        m_report.tableChanged = true;
        for (int k = 0; k < plan.added.size(); ++k)
            if (plan.added.at(k).entry >= 0)
                entries[plan.added.at(k).entry].id = addedIds->value(k);
        for (int e : plan.removedEntries)
            kill(entries[e]);
    }
    m_report.changes += plan.changes;
    m_report.changes += plan.removedLines;
    m_counts[FromServer][Added] += plan.counts.added;
    m_counts[FromServer][Changed] += plan.counts.changed;
    m_counts[FromServer][Removed] += plan.counts.removed;
    m_state.entries = entries;
    m_applied = true;
    QString error;
    if (!saveState(&error)) {
        finish(error);
        return false;
    }
    return true;
}

// The table as it is now, each record with its identity.
QStringList Synchronizer::identities()
{
    const AlarmStore &store = AlarmStore::Instance();
    QStringList ids;
    for (int i = 0; i < store.Records().size(); ++i)
        ids.append(store.IdOf(i));
    return ids;
}

// The alarm as it is now: changed meanwhile, it goes up as it is. False when
// it was removed meanwhile.
bool Synchronizer::alarmNow(const QString &id, AlarmRecord *alarm)
{
    const AlarmStore &store = AlarmStore::Instance();
    const int index = store.IndexOf(id);
    if (!store.Holds(index))
        return false;
    *alarm = store.At(index);
    return true;
}

void Synchronizer::planUploads(const Reconcile::Plan &plan, const QStringList &addedIds)
{
    for (auto it = plan.settled.cbegin(); it != plan.settled.cend(); ++it)
        m_state.entries[it.key()] = it.value();
    m_report.changes += plan.keptLines;
    m_jobs.clear();
    QStringList needBodies;
    for (const Reconcile::Upload &upload : plan.uploads) {
        Job job;
        job.id = upload.added >= 0 ? addedIds.value(upload.added) : upload.id;
        if (upload.change) {
            const Entry &entry = m_state.entries.at(upload.entry);
            job.type = Job::PutChange;
            job.entry = upload.entry;
            job.href = entry.href;
            job.etag = entry.etag;
            if (!m_fetched.contains(entry.href))
                needBodies.append(entry.href);
        }
        m_jobs.append(job);
    }
    for (int e : plan.deletions) {
        const Entry &entry = m_state.entries.at(e);
        Job job;
        job.type = Job::Delete;
        job.entry = e;
        job.href = entry.href;
        job.etag = entry.etag;
        job.what = QStringLiteral("the event %1").arg(entry.href);
        m_jobs.append(job);
    }
    // What goes up is taken from the table as each request is sent. Where the
    // table was lent for the sync (a command with no clock), it is given back
    // now: the uploads change only the sync state, and send what it held.
    releaseTable();
    if (needBodies.isEmpty())
        return nextJobs();
    toWorker([w = m_worker, needBodies] { w->fetchBodies(needBodies); });
}

void Synchronizer::bodiesForUpdates(const CalDav::Result &result)
{
    if (!result.error.isEmpty())
        return finish(result.error);
    nextJobs();
}

void Synchronizer::nextJobs()
{
    QList<Job> &jobs = m_jobs;
    while (m_jobError.isEmpty() && m_inFlight < Parallel && !jobs.isEmpty()) {
        Job job = jobs.takeFirst();
        if (job.type != Job::Delete) {
            if (!alarmNow(job.id, &job.alarm))
                continue; // removed meanwhile: the next sync takes it
            job.fingerprint = Fingerprint(job.alarm);
            job.what = AlarmWords::Describe(job.alarm);
        }
        ++m_inFlight;
        toWorker([w = m_worker, job] { w->send(job); });
    }
    if (m_inFlight == 0)
        finish(m_jobError);
}

void Synchronizer::jobDone(const Job &job, Sent sent, const CalDav::Result &result)
{
    --m_inFlight;
    if (sent == Sent::NoBody) {
        m_report.skipped.append(QStringLiteral("not sent: %1, which has no day to start on").arg(job.what));
    } else if (sent == Sent::NotUpdatable) {
        m_state.entries[job.entry].kind = Kind::Kept;
        m_report.skipped.append(
            QStringLiteral("kept here: %1, whose event on the server holds no single event to change").arg(job.what));
    } else if (sent == Sent::Gone) {
        // Gone or changed there meanwhile: the next sync takes it.
    } else if (!result.error.isEmpty() && !result.preconditionFailed && !(job.type == Job::Delete && result.missing)) {
        ++m_sent;
        if (m_jobError.isEmpty())
            m_jobError = result.error;
    } else if (result.preconditionFailed) {
        // Changed on the server meanwhile (or already there from a sync cut
        // off): never overwritten blindly; the next complete listing sorts it.
        ++m_sent;
        ++m_refused;
        if (m_refusal.isEmpty())
            m_refusal = result.error;
        m_newToken.clear();
        m_report.changes.append(
            QStringLiteral("left for the next sync: %1, changed on the server meanwhile").arg(job.what));
    } else if (job.type == Job::PutNew) {
        ++m_sent;
        Entry entry;
        entry.kind = Kind::Own;
        entry.id = job.id;
        entry.href = job.href;
        entry.etag = result.etag;
        entry.uid = job.id;
        entry.synced = job.fingerprint;
        m_state.entries.append(entry);
        m_report.changes.append(QStringLiteral("to the server: added %1").arg(job.what));
        ++m_counts[ToServer][Added];
    } else if (job.type == Job::PutChange) {
        ++m_sent;
        Entry &entry = m_state.entries[job.entry];
        entry.etag = result.etag;
        entry.synced = job.fingerprint;
        m_report.changes.append(QStringLiteral("to the server: changed %1").arg(job.what));
        ++m_counts[ToServer][Changed];
    } else {
        ++m_sent;
        kill(m_state.entries[job.entry]);
        m_report.changes.append(QStringLiteral("to the server: removed %1").arg(job.what));
        ++m_counts[ToServer][Removed];
    }
    if (++m_sinceSave >= SaveEvery) {
        m_sinceSave = 0;
        QString error;
        saveState(&error);
    }
    nextJobs();
}

bool Synchronizer::saveState(QString *error)
{
    // Until every change is through, the old token keeps them coming.
    m_state.token = m_newToken;
    return SyncState::Write(m_statePath, m_state, error);
}

void Synchronizer::finish(const QString &error)
{
    if (!m_running)
        return;
    m_running = false;
    m_deadline.stop();
    releaseTable();
    // Whatever is still on its way is dropped: the next sync finds it out.
    stopWorker();
    if (m_report.error.isEmpty())
        m_report.error = error;
    // The server took none of what was sent: nothing went up, and saying
    // "done" would hide it until the user looks at the other computer.
    if (m_report.error.isEmpty() && m_sent > 0 && m_refused == m_sent)
        m_report.error =
            QStringLiteral("the server refused %1 sent to it (%2); nothing went up, and the next sync "
                           "tries again")
                .arg(m_sent == 1 ? QStringLiteral("the one change") : QStringLiteral("all %1 changes").arg(m_sent),
                     m_refusal);
    // Before what came down is in the table, the state stays as it was: the
    // next sync fetches the same changes again.
    if (m_applied) {
        QString stateError;
        if (!saveState(&stateError) && m_report.error.isEmpty())
            m_report.error = stateError;
    }
    m_report.summary =
        QStringLiteral("from the server: %1 added, %2 changed, %3 removed; to the server: %4 added, %5 changed, %6 "
                       "removed")
            .arg(m_counts[FromServer][Added])
            .arg(m_counts[FromServer][Changed])
            .arg(m_counts[FromServer][Removed])
            .arg(m_counts[ToServer][Added])
            .arg(m_counts[ToServer][Changed])
            .arg(m_counts[ToServer][Removed]);
    if (m_conflicts > 0)
        m_report.summary += QStringLiteral("; %1 changed on both sides").arg(m_conflicts);
    if (!m_report.skipped.isEmpty())
        m_report.summary += QStringLiteral("; %1 skipped").arg(m_report.skipped.size());
    const auto done = std::move(m_done);
    const Report report = m_report;
    if (done)
        done(report);
}
