#include "engine/AlarmRecord.h"
#include "interchange/ICalendar.h"

#include <QtTest>

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
    void import_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("alarm");   // empty: skipped
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
                                                << "weekdays 08:00"
                                                << "daylight saving time";
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
            << calendar(event("DTSTART;TZID=America/New_York:20240307T080000\r\nRRULE:FREQ=DAILY\r\n")) << "daily 13:00"
            << "daylight saving time";

        QTest::newRow("reminder before the end")
            << calendar(event("DTSTART:20240307T080000\r\nDTEND:20240307T090000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER;RELATED=END:-PT15M\r\nEND:VALARM\r\n"))
            << "once 08:45 2024-3-7"
            << "";
        QTest::newRow("reminder at a fixed moment does not move it")
            << calendar(event("DTSTART:20240307T080000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                              "TRIGGER;VALUE=DATE-TIME:20240306T120000Z\r\nEND:VALARM\r\n"))
            << "once 08:00 2024-3-7"
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
            << calendar(event("DTSTART;TZID=America/New_York:19970902T090000\r\nRRULE:FREQ=DAILY;COUNT=10\r\n")) << ""
            << "repeats end";
        QTest::newRow("RFC 5545 monthly on the first Friday")
            << calendar(event("DTSTART;TZID=America/New_York:19970905T090000\r\nRRULE:FREQ=MONTHLY;BYDAY=1FR\r\n"))
            << ""
            << "repeats monthly";
        QTest::newRow("RFC 5545 every other week") << calendar(event("DTSTART;TZID=America/New_York:19970902T090000\r\n"
                                                                     "RRULE:FREQ=WEEKLY;INTERVAL=2;WKST=SU\r\n"))
                                                   << ""
                                                   << "every 2 weeks";
        QTest::newRow("monthly") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=MONTHLY\r\n")) << ""
                                 << "repeats monthly";
        QTest::newRow("yearly") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=YEARLY\r\n")) << ""
                                << "repeats yearly";
        QTest::newRow("INTERVAL=2") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=WEEKLY;INTERVAL=2\r\n"))
                                    << ""
                                    << "every 2 weeks";
        QTest::newRow("COUNT") << calendar(event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;COUNT=5\r\n")) << ""
                               << "repeats end";
        QTest::newRow("UNTIL") << calendar(
                                      event("DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY;UNTIL=20240401T000000Z\r\n"))
                               << ""
                               << "repeats end";
        QTest::newRow("BYDAY=MO,WE") << calendar(event("DTSTART:20240304T080000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n"))
                                     << ""
                                     << "no alarm kind";
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
            << ""
            << "another day";
        QTest::newRow("EXDATE") << calendar(event(
                                       "DTSTART:20240307T080000\r\nRRULE:FREQ=DAILY\r\nEXDATE:20240308T080000\r\n"))
                                << ""
                                << "left-out dates";
    }

    void import()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, alarm);
        QFETCH(QString, message);
        const ICalendar::Import read = ICalendar::Read(file, {}, QDate(2024, 1, 1));
        QVERIFY(read.ok);
        if (alarm.isEmpty()) {
            QCOMPARE(read.alarms.size(), 0);
            QCOMPARE(read.skipped.size(), 1);
            QVERIFY2(read.skipped.first().contains(message), qPrintable(read.skipped.first()));
        } else {
            QVERIFY2(read.skipped.isEmpty(), qPrintable(read.skipped.join('\n')));
            QCOMPARE(read.alarms.size(), 1);
            QCOMPARE(describe(read.alarms.first()), alarm);
            QCOMPARE(read.warnings.join('\n').contains(message), true);
            QCOMPARE(read.warnings.isEmpty(), message.isEmpty());
        }
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

        QVERIFY(!ICalendar::Read("not a calendar", {}, QDate(2024, 1, 1)).ok);
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
