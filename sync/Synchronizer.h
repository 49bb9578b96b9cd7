#pragma once

#include "sync/CalDav.h"
#include "sync/SyncState.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// One two-way sync of the alarm table (AlarmHandling::Alarms, already
// loaded) with a calendar collection. What changed on the server since the
// last sync comes down first, what changed here goes up after; an alarm
// changed on both sides keeps the server's version and the local one as a
// disabled copy. Another program's events are followed but never changed on
// the server. A fault leaves Alarms.dat as it was, and what was done stays
// done: the next sync goes on from there.
class Synchronizer : public QObject
{
    Q_OBJECT

public:
    struct Report
    {
        QString error;       // empty when the sync ended well
        bool busy = false;   // it did not start on the table: try again soon
        QStringList changes; // one line per alarm changed on either side
        QString summary;     // the counts in each direction
        bool tableChanged = false;
    };

    Synchronizer(const CalDav::Account &account, const QString &statePath, QObject *parent = nullptr);

    // Why the table may not be changed right now (the user is editing it),
    // empty when it may; asked just before the table is changed.
    void SetBusyCheck(std::function<QString()> check);
    // Requests in flight at once while uploading (the server's connections).
    static constexpr int Parallel = 4;

    void Run(std::function<void(const Report &)> done);

private:
    struct Job
    {
        enum Type { PutNew, PutChange, Delete } type = PutNew;
        int entry = -1; // PutChange, Delete: its entry; PutNew: none yet
        QString id;
        QString href;
        QByteArray body;
        QByteArray etag;
        QByteArray fingerprint;
        QString what;
    };
    void listed(const CalDav::Result &result, const CalDav::Listing &listing);
    void fetched(const CalDav::Result &result, const QList<CalDav::Resource> &resources);
    bool applyDownloads(const QList<CalDav::Resource> &resources);
    void planUploads();
    void bodiesForUpdates(const CalDav::Result &result, const QList<CalDav::Resource> &resources);
    void nextJobs();
    void jobDone(const Job &job, const CalDav::Result &result);
    void finish(const QString &error = {});
    bool saveState(QString *error);
    int entryOfId(const QString &id) const;
    void reindex();

    CalDav::Client m_client;
    QString m_collection;
    QString m_statePath;
    std::function<QString()> m_busy;
    std::function<void(const Report &)> m_done;
    SyncState::State m_state;
    QByteArray m_newToken;
    QStringList m_removedHrefs;
    QHash<QString, CalDav::Resource> m_bodies; // fetched this round, by href
    QHash<QString, int> m_byHref;
    QHash<QString, int> m_byId;
    QList<Job> m_jobs;
    bool m_applied = false; // what came down is in the table: the state may be saved
    int m_inFlight = 0;
    int m_sinceSave = 0;
    QString m_jobError;
    Report m_report;
    int m_counts[2][3] = {}; // [from server, to server][added, changed, removed]
    int m_conflicts = 0;
    bool m_running = false;
};
