// Figures for iCalendar files: exporting a table of 10,000 alarms and
// importing a file of 10,000 events into an empty table, and the same file
// again beside them (every event then a duplicate).
#include "interchange/ICalendar.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTextStream>

#include "bench/BenchTools.h"

#include <algorithm>

namespace {} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int count = 10000;
    const int rounds = 5;
    QList<AlarmRecord> table;
    for (int i = 0; i < count; ++i) {
        AlarmRecord r;
        r.Name = AlarmRecord::FixedName(QStringLiteral("Alarm number %1").arg(i));
        r.AlarmType = static_cast<quint8>(i % 4);
        r.Hour = static_cast<quint8>(i % 24);
        r.Minute = static_cast<quint8>(i % 60);
        r.WeekDay = static_cast<quint8>(i % 7);
        r.Day = static_cast<quint8>(1 + i % 28);
        r.Month = static_cast<quint8>(1 + i % 12);
        r.Year = static_cast<qint16>(2024 + i % 2);
        r.Disabled = (i % 10 == 0) ? -1 : 0;
        table.append(r);
    }
    const QDate today(2024, 3, 7);

    QList<double> exports, imports, again;
    QByteArray text;
    int imported = 0, skipped = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        text = ICalendar::Export(table);
        exports.append(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        const ICalendar::Import read = ICalendar::Read(text, {}, today);
        imports.append(double(timer.nsecsElapsed()) / 1e6);
        imported = int(read.alarms.size());
        timer.restart();
        skipped = int(ICalendar::Read(text, read.alarms, today).skipped.size());
        again.append(double(timer.nsecsElapsed()) / 1e6);
    }
    out << "export of " << count << " alarms: " << median(exports) << " ms (" << text.size() / 1024 << " KiB)\n";
    out << "import of " << count << " events: " << median(imports) << " ms (" << imported << " alarms)\n";
    out << "the same file again: " << median(again) << " ms (" << skipped << " duplicates skipped)\n";
    out << "median of " << rounds << " rounds\n";
    return imported == count && skipped == count ? 0 : 1;
}
