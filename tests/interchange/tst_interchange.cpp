#include "engine/AlarmRecord.h"
#include "engine/AlarmWords.h"
#include "interchange/ICalendar.h"
#include "interchange/InputLimits.h"
#include "interchange/Recurrence.h"

#include <QtTest>

#include <sys/stat.h>

// Events as calendar programs write them, each with the alarm it becomes
// ("kind HH:MM day", as the command line lists it) or the reason it is skipped.
class TestInterchange : public QObject
{
    Q_OBJECT

    static QByteArray calendar(const QByteArray &body)
    {
        QByteArray text =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Calendar//EN\r\n" + body + "END:VCALENDAR\r\n";
        return text;
    }

    static QByteArray event(const QByteArray &lines)
    {
        return "BEGIN:VEVENT\r\nUID:1@example.com\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:Standup\r\n" + lines +
               "END:VEVENT\r\n";
    }

    static QByteArray named(const QByteArray &summary, const QByteArray &lines = "DTSTART:20240307T080000\r\n")
    {
        return calendar("BEGIN:VEVENT\r\nUID:1@example.com\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:" + summary + "\r\n" +
                        lines + "END:VEVENT\r\n");
    }

    // A time zone of parts many parts, each changing by rule.
    static QByteArray zone(int parts, const QByteArray &rule)
    {
        QByteArray text = "BEGIN:VTIMEZONE\r\nTZID:Z\r\n";
        for (int i = 0; i < parts; ++i)
            text += "BEGIN:STANDARD\r\nDTSTART:16010101T030000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0100\r\n" + rule +
                    "END:STANDARD\r\n";
        return text + "END:VTIMEZONE\r\n";
    }

    // A FIFO that nothing writes to: opening it waits for ever.
    QTemporaryDir m_dir;
    QByteArray m_fifo;

    static QString describe(const AlarmRecord &a)
    {
        static const char *const kinds[] = {"once", "daily", "weekly", "weekdays"};
        QString text = QStringLiteral("%1 %2:%3")
                           .arg(QLatin1String(kinds[a.AlarmType]))
                           .arg(a.Hour, 2, 10, QLatin1Char('0'))
                           .arg(a.Minute, 2, 10, QLatin1Char('0'));
        if (a.AlarmType == AlarmRecord::OnceOnly)
            text += QStringLiteral(" %1-%2-%3").arg(a.Year).arg(a.Month).arg(a.Day);
        if (a.AlarmType == AlarmRecord::Weekly)
            text += QStringLiteral(" day%1").arg(a.WeekDay);
        if (a.Disabled)
            text += QStringLiteral(" disabled");
        return text;
    }

private slots:
    void initTestCase()
    {
        Recurrence::Install();
        QVERIFY(m_dir.isValid());
        m_fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("fifo")));
        QCOMPARE(mkfifo(m_fifo.constData(), 0600), 0);
    }

    void import_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("alarm");   // empty: skipped; "refused": the whole file
        QTest::addColumn<QString>("message"); // part of the skip or warning line

        QTest::newRow("once") << calendar(event("DTSTART:20240307T080000\r\n")) << "once 08:00 2024-3-7"
                              << "";
        QTest::newRow("daily") << calendar(event("DTSTART:20240307T063000\r\nRRULE:FREQ=DAILY\r\n")) << "daily 06:30"
                               << "";
        QTest::newRow("weekly from start day")
            << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=WEEKLY\r\n")) << "weekly 08:00 day3"
            << "";
        QTest::newRow("weekly BYDAY=SU") << calendar(event("DTSTART:20240310T080000\r\nRRULE:FREQ=WEEKLY;BYDAY=SU\r\n"))
                                         << "weekly 08:00 day6"
                                         << "";
        QTest::newRow("weekdays, Google shape") << calendar(event("DTSTART;TZID=Europe/Berlin:20240304T090000\r\n"
                                                                  "RRULE:FREQ=WEEKLY;WKST=MO;BYDAY=FR,MO,TH,TU,WE\r\n"))
                                                << "custom 09:00 Berlin time Mon, Tue, Wed, Thu, Fri"
                                                << "";
        QTest::newRow("reminder 10 minutes before")
            << calendar(event("DTSTART:20240307T080000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
                              "TRIGGER:-PT10M\r\nEND:VALARM\r\n"))
            << "once 07:50 2024-3-7"
            << "";
        QTest::newRow("first DISPLAY or AUDIO reminder counts")
            << calendar(event("DTSTART:20240307T080000\r\nBEGIN:VALARM\r\nACTION:EMAIL\r\nTRIGGER:-PT1H\r\n"
                              "END:VALARM\r\nBEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\n"))
            << "once 07:55 2024-3-7"
            << "";
        QTest::newRow("UTC to local (TZ=UTC)")
            << calendar(event("DTSTART:20240307T080000Z\r\n")) << "once 08:00 2024-3-7"
            << "";
        QTest::newRow("folded summary")
            << calendar("BEGIN:VEVENT\r\nUID:2\r\nDTSTART:20240307T080000\r\nSUMMARY:Stand\r\n up\r\nEND:VEVENT\r\n")
            << "once 08:00 2024-3-7"
            << "";
        QTest::newRow("disabled mark") << calendar(event("DTSTART:20240307T080000\r\nX-TOCKWISE-DISABLED:TRUE\r\n"))
                                       << "once 08:00 2024-3-7 disabled"
                                       << "";
        QTest::newRow("zone with other DST warns")
            << calendar(event("DTSTART;TZID=America/New_York:20240307T080000\r\nRRULE:FREQ=DAILY\r\n"))
            << "custom 08:00 New York time daily"
            << "";

        QTest::newRow("reminder before the end")
            << calendar(event("DTSTART:20240307T080000\r\nDTEND:20240307T090000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER;RELATED=END:-PT15M\r\nEND:VALARM\r\n"))
            << "once 08:45 2024-3-7"
            << "";
        QTest::newRow("reminder at a fixed moment rings then")
            << calendar(event("DTSTART:20240307T080000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER;VALUE=DATE-TIME:20240306T120000Z\r\nEND:VALARM\r\n"))
            << "once 12:00 2024-3-6"
            << "";
        QTest::newRow("reminder at a fixed moment leaves a series at its starts")
            << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER;VALUE=DATE-TIME:20240306T120000Z\r\nEND:VALARM\r\n"))
            << "daily 08:00"
            << "";
        // The shape a desktop mail program writes: its own zone name, defined
        // in the file with daylight saving rules.
        QTest::newRow("zone defined in the file, with rules")
            << calendar("BEGIN:VTIMEZONE\r\nTZID:W. Europe Standard Time\r\nBEGIN:STANDARD\r\n"
                        "DTSTART:16010101T030000\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
                        "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\n"
                        "DTSTART:16010101T020000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
                        "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n" +
                        event("DTSTART;TZID=\"W. Europe Standard Time\":20240304T090000\r\n"
                              "RRULE:FREQ=WEEKLY;BYDAY=MO\r\nX-MICROSOFT-CDO-BUSYSTATUS:BUSY\r\n"))
            << "weekly 08:00 day0"
            << "daylight saving time";
        QTest::newRow("RFC 5545 daily for 10 occurrences")
            << calendar(event("DTSTART;TZID=America/New_York:19970902T090000\r\nRRULE:FREQ=DAILY;COUNT=10\r\n"))
            << "custom 09:00 New York time daily, 10 times"
            << "";
        QTest::newRow("RFC 5545 monthly on the first Friday")
            << calendar(event("DTSTART;TZID=America/New_York:19970905T090000\r\nRRULE:FREQ=MONTHLY;BYDAY=1FR\r\n"))
            << "custom 09:00 New York time monthly on the first Friday"
            << "";
        QTest::newRow("RFC 5545 every other week") << calendar(event("DTSTART;TZID=America/New_York:19970902T090000\r\n"
                                                                     "RRULE:FREQ=WEEKLY;INTERVAL=2;WKST=SU\r\n"))
                                                   << "custom 09:00 New York time every 2 weeks on Tuesday"
                                                   << "";
        QTest::newRow("monthly") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=MONTHLY\r\n"))
                                 << "custom 08:00 monthly on day 7"
                                 << "";
        QTest::newRow("yearly") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=YEARLY\r\n"))
                                << "custom 08:00 yearly on 7 March"
                                << "";
        QTest::newRow("INTERVAL=2") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=WEEKLY;INTERVAL=2\r\n"))
                                    << "custom 08:00 every 2 weeks on Thursday"
                                    << "";
        QTest::newRow("COUNT") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;COUNT=5\r\n"))
                               << "custom 08:00 daily, 5 times"
                               << "";
        QTest::newRow("UNTIL") << calendar(
                                      event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;UNTIL=20240401T000000Z\r\n"))
                               << "custom 08:00 daily, until 2024-04-01"
                               << "";
        QTest::newRow("BYDAY=MO,WE") << calendar(event("DTSTART:20240304T080000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n"))
                                     << "custom 08:00 Mon, Wed"
                                     << "";
        QTest::newRow("all-day") << calendar(event("DTSTART;VALUE=DATE:20240307\r\n")) << ""
                                 << "all-day";
        QTest::newRow("1999") << calendar(event("DTSTART:19991231T080000\r\n")) << ""
                              << "outside 2000-2050";
        QTest::newRow("2051") << calendar(event("DTSTART:20510101T080000\r\n")) << ""
                              << "outside 2000-2050";
        QTest::newRow("name beyond Windows-1252")
            << calendar("BEGIN:VEVENT\r\nUID:3\r\nDTSTART:20240307T080000\r\nSUMMARY:\xe6\x97\xa5\xe6\x9c\xac\r\nEND:"
                        "VEVENT\r\n")
            << ""
            << "cannot hold";
        QTest::newRow("reminder moves a weekly day")
            << calendar(event("DTSTART:20240307T001000\r\nRRULE:FREQ=WEEKLY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER:-PT30M\r\nEND:VALARM\r\n"))
            << "custom 23:40 weekly on Wednesday"
            << "";
        // A calendar's moved or cancelled occurrence is an event of the series' UID: one alarm, no ring at
        // the time the calendar moved away from (the engine's table rings it).
        QTest::newRow("RECURRENCE-ID moves one occurrence")
            << calendar(event("DTSTART:20240307T064000\r\nRRULE:FREQ=DAILY\r\n") +
                        event("RECURRENCE-ID:20240309T064000\r\nDTSTART:20240309T090000\r\n"))
            << "custom 06:40 daily"
            << "";
        QTest::newRow("RECURRENCE-ID cancels one occurrence")
            << calendar(event("DTSTART:20240307T064000\r\nRRULE:FREQ=DAILY\r\n") +
                        event("RECURRENCE-ID:20240309T064000\r\nDTSTART:20240309T064000\r\nSTATUS:CANCELLED\r\n"))
            << "custom 06:40 daily, skips 9 March"
            << "";
        QTest::newRow("RDATE") << calendar(event("DTSTART:20240304T080000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\n"
                                                 "RDATE:20240307T080000\r\n"))
                               << "custom 08:00 Mon"
                               << "";
        QTest::newRow("EXDATE") << calendar(event(
                                       "DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY\r\nEXDATE:20240308T080000\r\n"))
                                << "custom 08:00 daily, skips 8 March"
                                << "";

        // Rules that cannot be an alarm's, libical's reading of them aside
        // (it drops a rule it cannot read, which left a once-only alarm).
        QTest::newRow("FREQ=HOURLY") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=HOURLY\r\n")) << ""
                                     << "repeats hourly (FREQ=HOURLY)";
        QTest::newRow("COUNT=0") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;COUNT=0\r\n")) << ""
                                 << "its rule FREQ=DAILY;COUNT=0 repeats it 0 times, below 1";
        QTest::newRow("COUNT=-1") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;COUNT=-1\r\n")) << ""
                                  << "repeats it -1 times, below 1";
        QTest::newRow("UNTIL=0") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;UNTIL=0\r\n")) << ""
                                 << "has UNTIL=0, which is no date";

        // Names are text: the character is named, whichever way it is written.
        QTest::newRow("tab in SUMMARY") << named("Stand\tup") << ""
                                        << "its name holds a control character (U+0009)";
        QTest::newRow("\\n escape in SUMMARY") << named("Stand\\nup") << ""
                                               << "its name holds a control character (U+000A)";
        QTest::newRow("NUL in SUMMARY") << named(QByteArray("Stand\0up", 7)) << ""
                                        << "its name holds a control character (U+0000)";
        QTest::newRow("C1 control in SUMMARY") << named("Stand\xc2\x85up") << ""
                                               << "its name holds a control character (U+0085)";

        // What comes from outside is bounded before libical reads it: each of
        // these took libical from a minute to for ever.
        QTest::newRow("30 MB summary") << named(QByteArray(30'000'000, 'a')) << ""
                                       << "line 7 is longer than 1 MiB";
        QTest::newRow("time zone of 20,000 parts")
            << calendar(zone(20000, "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n") +
                        event("DTSTART;TZID=Z:20240307T080000\r\n"))
            << "refused"
            << "the time zone \"Z\" at line 4 has more than 1000 entries";
        QTest::newRow("time zone changing hourly by rule")
            << calendar(zone(1, "RRULE:FREQ=HOURLY\r\n") + event("DTSTART;TZID=Z:20240307T080000\r\n")) << "refused"
            << "more than 1000 entries";
        QByteArray zones;
        for (int i = 0; i < 60; ++i) {
            const QByteArray name = "Z" + QByteArray::number(i);
            zones += zone(2, "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n").replace("TZID:Z", "TZID:" + name) +
                     event("DTSTART;TZID=" + name + ":20240307T080000\r\n");
        }
        QTest::newRow("60 time zones each within the limit") << calendar(zones) << "refused"
                                                             << "its time zones have more than 50000 entries in all";
        QTest::newRow("file over 64 MiB")
            << calendar(event("DTSTART:20240307T080000\r\n") + QByteArray(InputLimits::FileBytes, '\n')) << "refused"
            << "larger than 64 MiB";
        // A zone name not in the file is looked up below the system's zone
        // folder; climbing out of it opened the FIFO and waited for ever.
        QTest::newRow("zone name climbing out to a FIFO")
            << calendar(event("DTSTART;TZID=../../../../../../../.." + m_fifo + ":20240307T080000\r\n")) << ""
            << "is unknown";
    }

    void import()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, alarm);
        QFETCH(QString, message);
        QElapsedTimer timer;
        timer.start();
        const ICalendar::Import read = ICalendar::Read(file, {}, QDate(2024, 1, 1));
        // The same event on a calendar server maps, or does not, alike.
        const ICalendar::Event ev = ICalendar::ReadEvent(file, QDate(2024, 1, 1));
        // Generous: the machine may be busy; libical alone took a minute.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        if (alarm == QLatin1String("refused")) {
            QVERIFY(!read.ok);
            QVERIFY(read.alarms.isEmpty());
            QVERIFY2(read.error.contains(message), qPrintable(read.error));
            QVERIFY(!ev.maps);
            QVERIFY2(ev.skip.contains(message), qPrintable(ev.skip));
            return;
        }
        QVERIFY2(read.ok, qPrintable(read.error));
        if (alarm.startsWith(QLatin1String("custom "))) {
            // Kept as a rule of its own, ringing at the calendar's moments; the
            // sync still maps such an event onto a kind or leaves it alone.
            QVERIFY2(read.skipped.isEmpty(), qPrintable(read.skipped.join('\n')));
            QCOMPARE(read.alarms.size(), 1);
            const AlarmRule &rule = read.rules.value(0);
            QCOMPARE(QStringLiteral("custom %1 %2").arg(AlarmWords::RuleTime(rule), AlarmWords::RuleText(rule)), alarm);
            QCOMPARE(read.warnings.join('\n'), message);
            return;
        }
        if (alarm.isEmpty()) {
            QCOMPARE(read.alarms.size(), 0);
            QCOMPARE(read.skipped.size(), 1);
            QVERIFY2(read.skipped.first().contains(message), qPrintable(read.skipped.first()));
            QVERIFY(!ev.maps);
            QVERIFY2(ev.skip.contains(message), qPrintable(ev.skip));
            QVERIFY(!ev.uid.isEmpty());
            // What is shown of the event holds no control character.
            QVERIFY(AlarmRecord::ControlCharacterIn(read.skipped.first()).isEmpty());
        } else {
            QVERIFY2(ev.maps, qPrintable(ev.skip));
            QCOMPARE(describe(ev.alarm), alarm);
            QVERIFY2(read.skipped.isEmpty(), qPrintable(read.skipped.join('\n')));
            QCOMPARE(read.alarms.size(), 1);
            QCOMPARE(describe(read.alarms.first()), alarm);
            QCOMPARE(read.warnings.join('\n').contains(message), true);
            QCOMPARE(read.warnings.isEmpty(), message.isEmpty());
        }
    }

    // An alarm of a rule goes out as a calendar writes it and comes back the
    // same: its rule, skipped, added and moved dates, its zone.
    void rulesGoOutAndComeBack_data()
    {
        QTest::addColumn<QString>("rule"); // as the alarm store keeps it
        QTest::newRow("any days, a skip")
            << R"({"start":"2024-03-04T07:00","recur":"FREQ=WEEKLY;BYDAY=MO,WE,FR","skipped":["2024-03-06T07:00"]})";
        QTest::newRow("New York, a skip") << R"({"start":"2024-03-04T09:00","recur":"FREQ=WEEKLY;BYDAY=MO",)"
                                             R"("zone":"America/New_York","skipped":["2024-03-11T09:00"]})";
        QTest::newRow("monthly, one moved") << R"({"start":"2024-03-04T08:00","recur":"FREQ=MONTHLY;BYDAY=1MO",)"
                                               R"("moved":[["2024-04-01T08:00","2024-04-02T10:30"]]})";
        QTest::newRow("UTC, a date added")
            << R"({"start":"2024-03-04T06:00","recur":"FREQ=DAILY;COUNT=3","zone":"UTC","added":["2024-03-20T06:00"]})";
    }
    void rulesGoOutAndComeBack()
    {
        QFETCH(QString, rule);
        const AlarmRule kept = AlarmRule::Decode(rule);
        QVERIFY(!kept.IsEmpty());
        AlarmRecord alarm;
        alarm.Name = AlarmRecord::FixedName(QStringLiteral("Standup"));
        kept.StandIn(&alarm, 0);
        const QByteArray file = ICalendar::Export({alarm}, {QStringLiteral("uid-1")}, {kept});
        const ICalendar::Import read = ICalendar::Read(file, {}, QDate(2024, 1, 1));
        QVERIFY2(read.skipped.isEmpty(), qPrintable(read.skipped.join('\n') + "\n" + file));
        QCOMPARE(read.alarms.size(), 1);
        QCOMPARE(read.rules.value(0).Encode(), kept.Encode());
        QCOMPARE(read.alarms.first().TrimmedName(), QStringLiteral("Standup"));
    }

    void fileShapes()
    {
        // Two calendars, a time zone block, a to-do and a journal (ignored),
        // one event twice: one alarm, one duplicate line.
        const QByteArray vtimezone = "BEGIN:VTIMEZONE\r\nTZID:Fixed+2\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                                     "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0200\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
        const QByteArray file =
            calendar(vtimezone + "BEGIN:VTODO\r\nUID:t\r\nSUMMARY:Todo\r\nEND:VTODO\r\n" +
                     event("DTSTART;TZID=Fixed+2:20240307T100000\r\n")) +
            calendar("BEGIN:VJOURNAL\r\nUID:j\r\nEND:VJOURNAL\r\n" + event("DTSTART:20240307T080000Z\r\n"));
        const ICalendar::Import read = ICalendar::Read(file, {}, QDate(2024, 1, 1));
        QVERIFY(read.ok);
        QCOMPARE(read.alarms.size(), 1);
        QCOMPARE(describe(read.alarms.first()), QStringLiteral("once 08:00 2024-3-7"));
        QCOMPARE(read.skipped.size(), 1);
        QVERIFY(read.skipped.first().contains("already there"));
        QCOMPARE(read.described, QStringList{"\"Standup\" (20240307T100000)"});

        QVERIFY(!ICalendar::Read("not a calendar", {}, QDate(2024, 1, 1)).ok);

        // A line past the limit outside any event or zone is left out alone;
        // in the calendar's own lines that begin or end a part, it refuses all.
        const QByteArray longLine = "DESCRIPTION:" + QByteArray(InputLimits::LineBytes, 'x') + "\r\n";
        const ICalendar::Import todo =
            ICalendar::Read(calendar("X-WR-CALDESC:" + longLine + "BEGIN:VTODO\r\nUID:t\r\n" + longLine +
                                     "END:VTODO\r\n" + event("DTSTART:20240307T080000\r\n")),
                            {}, QDate(2024, 1, 1));
        QVERIFY2(todo.ok && todo.skipped.isEmpty(), qPrintable(todo.error + todo.skipped.join('\n')));
        QCOMPARE(todo.alarms.size(), 1);
        const ICalendar::Import begin =
            ICalendar::Read(calendar("BEGIN:VTODO" + QByteArray(InputLimits::LineBytes, ' ') + "x\r\nEND:VTODO\r\n"),
                            {}, QDate(2024, 1, 1));
        QVERIFY(!begin.ok);
        QVERIFY2(begin.error.contains("line 4 is longer than 1 MiB"), qPrintable(begin.error));
    }

    void roundTrip()
    {
        const auto make = [](const char *name, int type, int hour, int minute, int weekDay, int day, int month,
                             int year, bool disabled) {
            AlarmRecord a;
            a.Name = AlarmRecord::FixedName(QString::fromUtf8(name));
            a.AlarmType = quint8(type);
            a.Hour = quint8(hour);
            a.Minute = quint8(minute);
            a.WeekDay = quint8(weekDay);
            a.Day = quint8(day);
            a.Month = quint8(month);
            a.Year = qint16(year);
            a.Disabled = disabled ? -1 : 0;
            return a;
        };
        const QList<AlarmRecord> table{
            make("Dentist, 2nd floor; bring card", 0, 9, 15, 0, 24, 12, 2026, false),
            make("Wake up", 1, 6, 0, 0, 1, 1, 2024, false),
            make("Café", 2, 23, 59, 6, 1, 1, 2024, true),
            make("Work", 3, 0, 0, 0, 1, 1, 2024, false),
        };
        const QByteArray text = ICalendar::Export(table, {"a", "b", "c", "d"});
        QVERIFY(text.contains("DTSTART:20000102T235900\r\nRRULE:FREQ=WEEKLY;BYDAY=SU\r\n")); // first Sunday of 2000
        QVERIFY(text.contains("DTSTART:20000103T000000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR\r\n"));
        QVERIFY(text.contains("DTSTART:20000101T060000\r\nRRULE:FREQ=DAILY\r\n"));
        QVERIFY(text.contains("TRIGGER:PT0S\r\n"));
        QVERIFY(text.contains("UID:c\r\n"));
        const ICalendar::Import read = ICalendar::Read(text, {}, QDate(2024, 1, 1));
        QVERIFY2(read.skipped.isEmpty(), qPrintable(read.skipped.join('\n')));
        QCOMPARE(read.alarms, table);
        // Read again beside what it added: nothing more.
        QCOMPARE(ICalendar::Read(text, read.alarms, QDate(2024, 1, 1)).alarms.size(), 0);
    }

    // An event on a calendar server changed to what an alarm now holds: the
    // alarm reads back from it, and what other programs put there stays.
    // An event of ours carries a reminder in the alarm's name while the alarm
    // is enabled, and none while it is disabled, so that other calendar
    // programs stop reminding too; it rings at the same moment throughout.
    void ourEventsRemindAsTheAlarmRings()
    {
        AlarmRecord a;
        a.Name = AlarmRecord::FixedName(QStringLiteral("Standup"));
        a.AlarmType = AlarmRecord::Daily;
        a.Hour = 7;
        QByteArray resource = ICalendar::NewEvent(a, QStringLiteral("own-2"));
        QVERIFY(resource.contains("BEGIN:VALARM") && resource.contains("DESCRIPTION:Standup\r\n"));
        // Reminded 15 minutes early on a phone: the alarm rings at 07:00 all the same.
        resource.replace("TRIGGER:PT0S", "TRIGGER:-PT15M")
            .replace("DTSTART:20000101T070000", "DTSTART:20000101T071500");
        QVERIFY2(resource.contains("TRIGGER:-PT15M") && resource.contains("T071500"), resource.constData());
        QCOMPARE(describe(ICalendar::ReadEvent(resource, QDate(2030, 1, 5)).alarm), QStringLiteral("daily 07:00"));
        const struct
        {
            const char *name;
            bool disabled;
            bool reminded;
        } steps[] = {{"Stand-up", false, true}, {"Stand-up", true, false}, {"Stand-up", false, true}};
        for (const auto &step : steps) {
            a.Name = AlarmRecord::FixedName(QString::fromLatin1(step.name));
            a.Disabled = step.disabled ? -1 : 0;
            resource = ICalendar::UpdateEvent(resource, a);
            const ICalendar::Event read = ICalendar::ReadEvent(resource, QDate(2030, 1, 5));
            QVERIFY2(read.maps && read.ours, qPrintable(read.skip));
            QCOMPARE(describe(read.alarm), step.disabled ? QStringLiteral("daily 07:00 disabled") : "daily 07:00");
            QCOMPARE(resource.contains("BEGIN:VALARM"), step.reminded);
            QVERIFY(!resource.contains("DESCRIPTION:Standup\r\n"));
            QCOMPARE(resource.contains("DESCRIPTION:Stand-up\r\n"), step.reminded);
        }
    }

    void updateEvent_data()
    {
        QTest::addColumn<QByteArray>("resource");
        QTest::addColumn<QString>("alarm"); // as describe() gives it; empty: no single event
        QTest::addColumn<QStringList>("kept");

        QTest::newRow("a phone's event, 1 h long, reminded 15 min early, in a zone")
            << calendar(event("DTSTART;TZID=Europe/Berlin:20240307T100000\r\nDTEND;TZID=Europe/Berlin:"
                              "20240307T110000\r\nSEQUENCE:4\r\nLOCATION:Room 2\r\nDESCRIPTION:Bring notes\r\n"
                              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"))
            << "weekly 08:00 day0 disabled"
            << QStringList{"LOCATION:Room 2",         "DESCRIPTION:Bring notes", "SEQUENCE:5",
                           "DTSTART:20000103T081500", "DTEND:20000103T091500",   "UID:1@example.com",
                           "TRIGGER:-PT15M"};
        QTest::newRow("a repeating one made to ring once")
            << calendar(event("DTSTART:20240307T063000\r\nRRULE:FREQ=DAILY\r\nX-OTHER:kept\r\n"))
            << "once 07:45 2030-1-5" << QStringList{"X-OTHER:kept", "DTSTART:20300105T074500"};
        QTest::newRow("a zone name climbing out to a FIFO")
            << calendar(event("DTSTART;TZID=../../../../../../../.." + m_fifo + ":20240307T080000\r\n")) << ""
            << QStringList{};
        QTest::newRow("changed occurrences: two events of one UID")
            << calendar(event("DTSTART:20240307T063000\r\nRRULE:FREQ=DAILY\r\n") +
                        event("RECURRENCE-ID:20240308T063000\r\nDTSTART:20240308T070000\r\n"))
            << "" << QStringList{};
    }

    void updateEvent()
    {
        QFETCH(QByteArray, resource);
        QFETCH(QString, alarm);
        QFETCH(QStringList, kept);
        qputenv("TZ", "Europe/Berlin");
        AlarmRecord a;
        a.Name = AlarmRecord::FixedName(QStringLiteral("Standup"));
        const QStringList parts = alarm.split(' ');
        a.AlarmType = quint8(QStringList{"once", "daily", "weekly", "weekdays"}.indexOf(parts.value(0)));
        a.Hour = quint8(parts.value(1).left(2).toInt());
        a.Minute = quint8(parts.value(1).mid(3).toInt());
        a.WeekDay = 0;
        a.Day = 5;
        a.Month = 1;
        a.Year = 2030;
        a.Disabled = alarm.endsWith("disabled") ? -1 : 0;
        const QByteArray updated = ICalendar::UpdateEvent(resource, a);
        const ICalendar::Event read = ICalendar::ReadEvent(updated.isEmpty() ? resource : updated, QDate(2030, 1, 5));
        qputenv("TZ", "UTC");
        if (alarm.isEmpty()) {
            QVERIFY(updated.isEmpty());
            QVERIFY(!read.maps);
            return;
        }
        QVERIFY2(read.maps, qPrintable(read.skip));
        QCOMPARE(describe(read.alarm), alarm);
        QCOMPARE(read.uid, QStringLiteral("1@example.com"));
        QVERIFY(!read.ours); // another program's event stays another program's
        for (const QString &line : kept)
            QVERIFY2(updated.contains(line.toUtf8() + "\r\n"), qPrintable(line + " missing from\n" + updated));
        QVERIFY(!updated.contains("TZID"));
        // Tockwise's own events say so, and read back as they were made.
        const ICalendar::Event own = ICalendar::ReadEvent(ICalendar::NewEvent(read.alarm, "own-1"), QDate(2030, 1, 5));
        QVERIFY(own.maps && own.ours);
        QCOMPARE(own.uid, QStringLiteral("own-1"));
        QCOMPARE(describe(own.alarm), alarm);
    }
};

QTEST_GUILESS_MAIN(TestInterchange)
#include "tst_interchange.moc"
