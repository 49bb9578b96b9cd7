#pragma once

#include "sync/CalDav.h"
#include "sync/Reconcile.h"
#include "sync/SyncState.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QThread;

// One two-way sync of the alarm table (the AlarmStore) with a
// calendar collection. What changed on the server since the last sync comes
// down first, what changed here goes up after; an alarm changed on both sides
// keeps the server's version and the local one as a disabled copy. Another
// program's events are followed but never changed on the server. A fault
// leaves Alarms.dat as it was, and what was done stays done: the next sync
// goes on from there. What is done is decided by Reconcile; this carries it
// out (carryOut is the one place that changes the table).
//
// Everything that talks to the server or reads what it sends (the answers,
// their XML, every event) runs on a thread of its own, made for the sync and
// ended with it, so that a slow or huge answer never holds up the thread the
// clock keeps time on. The table and the sync state are read and changed only
// on the thread that called Run, and what came down reaches the table in one
// step, with one save.
class Synchronizer : public QObject
{
    Q_OBJECT

public:
    struct Report
    {
        QString error;       // empty when the sync ended well
        bool busy = false;   // it did not start on the table: try again soon
        QStringList changes; // one line per alarm changed on either side
        QStringList skipped; // one line per event (or alarm) left out, and why
        QString summary;     // the counts in each direction
        bool tableChanged = false;
    };

    Synchronizer(const CalDav::Account &account, const QString &statePath, QObject *parent = nullptr);
    ~Synchronizer() override;

    // Called just before what came down is applied: empty when the table may
    // be changed now (and the AlarmStore holds it as it is now), else
    // why not, with busy set when it is worth trying again soon. release, if
    // given, is called once the table is no longer needed (the uploads are
    // planned, or the sync ended); after it the uploads read only what was
    // planned.
    void SetTableAccess(std::function<QString(bool *busy)> take, std::function<void()> release = {});
    // Requests in flight at once while uploading (the server's connections).
    static constexpr int Parallel = 4;

    // The longest a whole sync may take: 15 minutes, or what
    // TOCKWISE_SYNC_DEADLINE_MS says (for tests), or what SetDeadlineMs set
    // (0 goes back to those).
    static int DeadlineMs();
    static void SetDeadlineMs(int ms);
    // What a sync past its deadline says.
    static QString DeadlineError(int ms);

    // Runs the sync; done gets the report, once, from the event loop. Past
    // DeadlineMs the sync is abandoned (its requests dropped, its thread
    // ended) and reported like any failure.
    void Run(std::function<void(const Report &)> done);

    // Ends the sync under way, if any, without a report (what it waits for
    // is dropped), and waits up to waitMs for the server's thread to end
    // (after a sync it ends on its own within moments; a command waits for
    // it before it exits). True when no such thread runs any more.
    bool Stop(int waitMs);

private:
    // How long the destructor waits for the worker's thread to end.
    static constexpr int EndWaitMs = 2000;
    struct Job
    {
        enum Type { PutNew, PutChange, Delete } type = PutNew;
        int entry = -1; // PutChange, Delete: its entry; PutNew: none yet
        QString id;
        QString href; // PutNew: filled in where it is sent
        QByteArray etag;
        AlarmRecord alarm; // what goes up (PutNew, PutChange)
        QByteArray fingerprint;
        QString what;
    };
    // How a job ended where it was sent.
    enum class Sent { Done, NoBody, Gone, NotUpdatable };

    struct Link;
    class Worker;

    void listed(const CalDav::Result &result, const CalDav::Listing &listing);
    // Each downloaded event is read on the server's thread.
    void fetched(const CalDav::Result &result, const QList<Reconcile::Download> &resources);
    bool carryOut(const Reconcile::Plan &plan, QStringList *addedIds);
    static QStringList identities();
    static bool alarmNow(const QString &id, AlarmRecord *alarm);
    void planUploads(const Reconcile::Plan &plan, const QStringList &addedIds);
    void releaseTable();
    void bodiesForUpdates(const CalDav::Result &result);
    void nextJobs();
    void jobDone(const Job &job, Sent sent, const CalDav::Result &result);
    void finish(const QString &error = {});
    void stopWorker();
    bool saveState(QString *error);
    void reindex();
    // Runs f on the server's thread, in the worker.
    template <typename F> void toWorker(F f);

    CalDav::Account m_account;
    QString m_collection;
    QString m_statePath;
    std::function<QString(bool *)> m_take;
    std::function<void()> m_release;
    bool m_holdsTable = false;
    std::function<void(const Report &)> m_done;
    std::shared_ptr<Link> m_link; // the worker of the sync under way
    QPointer<QThread> m_thread;
    Worker *m_worker = nullptr;
    QTimer m_deadline;
    int m_deadlineMs = 0;
    SyncState::State m_state;
    QByteArray m_newToken;
    QStringList m_removedHrefs;
    QSet<QString> m_fetched; // hrefs whose body came down this round
    QHash<QString, int> m_byHref;
    QList<Job> m_jobs;
    bool m_applied = false; // what came down is in the table: the state may be saved
    int m_inFlight = 0;
    int m_sinceSave = 0;
    int m_sent = 0;    // uploads the server answered
    int m_refused = 0; // of those, refused as changed meanwhile
    QString m_refusal; // the first refusal's words
    QString m_jobError;
    Report m_report;
    int m_counts[2][3] = {}; // [from server, to server][added, changed, removed]
    int m_conflicts = 0;
    bool m_running = false;
};
