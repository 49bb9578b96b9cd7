// Test-only driver for the kill test: loads Alarms.dat from a folder, then
// saves two different alarm tables one after the other until it is killed.
//
//   save_loop FOLDER OLD_COUNT NEW_COUNT PROGRESS_FILE
//
// The tables are KillTables::Make(0, OLD_COUNT) and KillTables::Make(1, NEW_COUNT).
// PROGRESS_FILE (made by the caller, at least sizeof(KillProgress) bytes) is
// mapped shared, so the caller can read after a SIGKILL whether the kill
// landed inside a save and which table was being written. One byte on stdout
// says the first load is done and the loop begins.
#include "KillTables.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: save_loop FOLDER OLD_COUNT NEW_COUNT PROGRESS_FILE\n");
        return 2;
    }
    const QList<AlarmRecord> tables[2] = {KillTables::Make(0, std::atoi(argv[2])),
                                          KillTables::Make(1, std::atoi(argv[3]))};

    const int fd = ::open(argv[4], O_RDWR);
    if (fd < 0) {
        std::perror("progress file");
        return 2;
    }
    void *page = ::mmap(nullptr, sizeof(KillProgress), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (page == MAP_FAILED) {
        std::perror("mmap");
        return 2;
    }
    auto *progress = static_cast<KillProgress *>(page);

    AlarmHandling::SetAlarmFolder(QString::fromLocal8Bit(argv[1]));
    QString error;
    AlarmStore &store = AlarmStore::Instance();
    if (!store.Load(&error)) {
        std::fprintf(stderr, "load: %s\n", qPrintable(error));
        return 3;
    }
    // Start with the table the file does not hold, so every save changes it.
    int next = store.Records() == tables[0] ? 1 : 0;

    if (::write(STDOUT_FILENO, "R", 1) != 1)
        return 2;

    for (;;) {
        // Every record changes in one step, and the table grows or shrinks.
        const QList<AlarmRecord> &table = tables[next];
        const qsizetype held = store.Records().size();
        AlarmStore::Change change;
        for (int i = 1; i < table.size(); ++i) {
            if (i < held)
                change.replace.append({i, table.at(i)});
            else
                change.add.append(table.at(i));
        }
        for (int i = static_cast<int>(table.size()); i < held; ++i)
            change.remove.append(i);
        progress->writing.store(next, std::memory_order_relaxed);
        progress->begun.fetch_add(1, std::memory_order_seq_cst);
        if (!store.Apply(change, &error)) {
            std::fprintf(stderr, "save: %s\n", qPrintable(error));
            return 4;
        }
        progress->written.store(next, std::memory_order_relaxed);
        progress->done.fetch_add(1, std::memory_order_seq_cst);
        next = 1 - next;
    }
}
