#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "alarmui/AlarmForm.h"
#include "alarmui/AlarmOptionsForm.h"
#include "alarmui/ModifyForm.h"
#include "engine/AlarmEditing.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "interchange/Recurrence.h"
#include "tests/common/AlarmFixtures.h"
#include "tests/common/FormTestHelpers.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using AlarmEditing::EditAlarm;

namespace {

const QDate Today(2024, 3, 7);

// Dated 1 January 2024 unless told otherwise, so the editor's calendar has a
// real date to show.
AlarmRecord Alarm(const QString &name, quint8 type, quint8 hour, quint8 minute, quint8 weekDay = 0, quint8 day = 1,
                  quint8 month = 1, qint16 year = 2024, qint16 disabled = 0)
{
    return makeAlarm(name, type, hour, minute, weekDay, day, month, year, disabled);
}

// Puts the alarms into the table and the file, as a start-up load would find them.
void SetAlarms(const QList<AlarmRecord> &alarms)
{
    QVERIFY(useTable(QList<AlarmRecord>{AlarmRecord{}} + alarms));
}

QByteArray FileBytes()
{
    QFile file(AlarmHandling::AlarmFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The alarms in the file, without the placeholder, by trimmed name.
QStringList FileNames()
{
    QStringList names;
    const QList<AlarmRecord> table = AlarmHandling::DecodeTable(FileBytes());
    for (qsizetype i = 1; i < table.size(); ++i)
        names << table.at(i).TrimmedName();
    return names;
}

QStringList Rows(QListWidget *list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

// Selects the row whose text begins with the prefix, as a click would.
void SelectRow(QListWidget *list, const QString &prefix)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().startsWith(prefix)) {
            const QRect r = list->visualItemRect(list->item(i));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no row %1").arg(prefix)));
}

// Every control of the editor that is shown, by name.
QStringList ShownControls(QWidget *form)
{
    QStringList shown;
    for (QWidget *w : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!w->objectName().isEmpty() && !w->isHidden())
            shown << w->objectName();
    shown.sort();
    return shown;
}

const QStringList NameRowOnly{"CancelButton", "Label1", "NameText"};
const QStringList Common{"CancelButton", "ConfirmButton", "DisabledCheck", "HourText",   "Label1",
                         "MinuteText",   "NameText",      "OptionsLink",   "TimeLabel1", "TimeLabel2",
                         "TimeLabel3",   "TypeLabel",     "TypeList"};

QStringList With(QStringList names, const QStringList &more)
{
    names << more;
    names.sort();
    return names;
}

} // namespace

class TestAlarmUi : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QStringList asked;
    QStringList errors;
    bool answer = true;

    AlarmForm *OpenList()
    {
        AlarmForm *form = Forms().ShowOrRaise<AlarmForm>();
        if (!QTest::qWaitForWindowExposed(form))
            qWarning("alarm list not exposed");
        return form;
    }

    // Opens the editor the way the list does and waits until it can take keys.
    ModifyForm *Editor()
    {
        ModifyForm *editor = Forms().Find<ModifyForm>();
        if (editor) {
            editor->activateWindow();
            if (!QTest::qWaitForWindowActive(editor))
                qWarning("editor not active");
        }
        return editor;
    }

    ModifyForm *OpenEditorFor(const AlarmRecord &record)
    {
        EditAlarm = record;
        ModifyForm *editor = Forms().ShowOrRaise<ModifyForm>();
        return Editor() ? editor : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        AlarmHandling::SetAlarmFolder(folder.path());
        TimingModule::SetClock([] { return QDateTime(Today, QTime(9, 30)); });
        Dialogs::SetAskHandler([this](const QString &text) {
            asked << text;
            return answer;
        });
        Dialogs::SetErrorHandler([this](const QString &text) { errors << text; });
    }

    void init()
    {
        Recurrence::Install();
        asked.clear();
        errors.clear();
        answer = true;
        QDir(folder.path()).removeRecursively();
        QDir().mkpath(folder.path());
    }

    void cleanup()
    {
        Forms().DeleteAll();
        RunDeferredDeletes();
    }

    void rowText_data()
    {
        QTest::addColumn<AlarmRecord>("alarm");
        QTest::addColumn<QString>("text");

        QTest::newRow("once only") << Alarm("Dentist", 0, 9, 5, 0, 7, 3) << "Dentist - 09:05, 7 March";
        QTest::newRow("daily") << Alarm("Stand-up", 1, 10, 0) << "Stand-up - 10:00 every day";
        QTest::newRow("weekly") << Alarm("Gym", 2, 18, 30, 4) << "Gym - 18:30 every Friday";
        QTest::newRow("every weekday, disabled")
            << Alarm("Pills", 3, 8, 0, 0, 1, 1, 2024, -1) << "Pills - 08:00 every weekday (disabled)";
        QTest::newRow("day without zero, time with") << Alarm("Tax", 0, 7, 5, 0, 1, 5) << "Tax - 07:05, 1 May";
        QTest::newRow("year not shown") << Alarm("New year", 0, 0, 0, 0, 31, 12, 2049)
                                        << "New year - 00:00, 31 December";
        QTest::newRow("blanks around the name") << Alarm("  Tea  ", 1, 16, 0) << "Tea - 16:00 every day";
        QTest::newRow("name of blanks") << Alarm("", 1, 6, 45) << " - 06:45 every day";
        QTest::newRow("monday") << Alarm("Bins", 2, 7, 0, 0) << "Bins - 07:00 every Monday";
        QTest::newRow("sunday") << Alarm("Call", 2, 20, 0, 6) << "Call - 20:00 every Sunday";
        QTest::newRow("weekday 7") << Alarm("Odd", 2, 20, 0, 7) << "Odd - 20:00 every ";
        QTest::newRow("type out of range") << Alarm("Odd", 4, 1, 2) << "Odd - 01:02";
        QTest::newRow("type out of range, disabled")
            << Alarm("Odd", 9, 1, 2, 0, 1, 1, 2024, -1) << "Odd - 01:02 (disabled)";
        // Any non-zero flag keeps the alarm silent, so the list says so.
        QTest::newRow("disabled other than -1 is marked too")
            << Alarm("Odd", 1, 1, 2, 0, 1, 1, 2024, 1) << "Odd - 01:02 every day (disabled)";
        QTest::newRow("month out of range") << Alarm("Odd", 0, 1, 2, 0, 9, 13) << "Odd - 01:02, 9";
    }

    void rowText()
    {
        QFETCH(AlarmRecord, alarm);
        QFETCH(QString, text);
        QCOMPARE(AlarmForm::RowText(alarm), text);
    }

    // A snoozed alarm's row says until when, the day too when that is another;
    // the note follows the snoozes with the selection kept.
    void snoozedRowsSayUntilWhen()
    {
        SetAlarms({Alarm("Tea", 1, 16, 0), Alarm("Walk", 1, 17, 0)});
        QTemporaryDir state;
        AlarmStore::Instance().SetIdentityFile(state.filePath("alarm-ids"));
        Snoozes::SetFile(state.filePath("snoozes"));
        QVERIFY(AlarmStore::Instance().Load());
        // Mid-minute: the wall clock stands still here while the snoozes' own clock runs on.
        TimingModule::SetClock([] { return QDateTime(Today, QTime(9, 30, 30)); });
        Snoozes::Add(AlarmStore::Instance().IdOf(1), "Tea", 25);
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");
        QCOMPARE(Rows(list), QStringList({"Tea - 16:00 every day (snoozed until 09:55)", "Walk - 17:00 every day"}));

        list->setCurrentRow(1);
        Snoozes::Add(AlarmStore::Instance().IdOf(2), "Walk", 15 * 60);
        form->UpdateSnoozes();
        QCOMPARE(Rows(list), QStringList({"Tea - 16:00 every day (snoozed until 09:55)",
                                          "Walk - 17:00 every day (snoozed until Fri 00:30)"}));
        QCOMPARE(list->currentItem()->text().left(4), QStringLiteral("Walk"));
        QVERIFY(Child<QPushButton>(form, "EditButton")->isEnabled());
        Snoozes::SetFile(QString());
        AlarmStore::Instance().SetIdentityFile(QString());
        TimingModule::SetClock([] { return QDateTime(Today, QTime(9, 30)); });
    }

    void listIsSortedWithoutRegardToCase()
    {
        AlarmRecord gone = Alarm("aardvark", 1, 7, 0);
        gone.Deleted = -1;
        SetAlarms({Alarm("b", 1, 7, 0), Alarm("D", 1, 7, 0), Alarm("A", 1, 7, 0), gone, Alarm("c", 1, 7, 0)});
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");

        QCOMPARE(Rows(list), QStringList({"A - 07:00 every day", "b - 07:00 every day", "c - 07:00 every day",
                                          "D - 07:00 every day"}));
        QList<int> positions;
        for (int i = 0; i < list->count(); ++i)
            positions << list->item(i)->data(AlarmForm::PositionRole).toInt();
        QCOMPARE(positions, QList<int>({3, 1, 5, 2}));
        QVERIFY(list->selectedItems().isEmpty());
    }

    void emptyTableGivesEmptyListAndButtonsDoNothing()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");
        QCOMPARE(list->count(), 0);

        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(form, "RemoveButton"), Qt::LeftButton);
        QVERIFY(!Forms().Find<ModifyForm>());
        QVERIFY(asked.isEmpty());
        QVERIFY(form->isEnabled());
    }

    void removeAndEditActOnTheRowsAlarm()
    {
        SetAlarms({Alarm("b", 1, 7, 0), Alarm("A", 1, 7, 0), Alarm("c", 1, 7, 0)});
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");

        // "A" is the first row but the second alarm of the table.
        SelectRow(list, "A");
        QTest::mouseClick(Child<QPushButton>(form, "RemoveButton"), Qt::LeftButton);
        QCOMPARE(asked, QStringList{"Are you sure you want to delete this alarm?"});
        QCOMPARE(FileNames(), QStringList({"b", "c"}));
        QCOMPARE(Rows(list), QStringList({"b - 07:00 every day", "c - 07:00 every day"}));
        QCOMPARE(storedTable().size(), 3);

        // "c" moved from position 3 to 2; editing it must change it, not "b".
        SelectRow(list, "c");
        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        QCOMPARE(EditAlarm.Index, 2);
        QVERIFY(!form->isEnabled());
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        auto *name = Child<QLineEdit>(editor, "NameText");
        QCOMPARE(name->text(), QStringLiteral("c"));
        name->setFocus();
        QTest::keyClicks(name, "2");
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);

        QCOMPARE(FileNames(), QStringList({"b", "c2"}));
        QCOMPARE(Rows(list), QStringList({"b - 07:00 every day", "c2 - 07:00 every day"}));
        QVERIFY(form->isEnabled());
    }

    void removeAnsweredNoChangesNothing()
    {
        SetAlarms({Alarm("b", 1, 7, 0), Alarm("A", 1, 7, 0)});
        const QByteArray before = FileBytes();
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");
        answer = false;
        SelectRow(list, "b");
        QTest::mouseClick(Child<QPushButton>(form, "RemoveButton"), Qt::LeftButton);

        QCOMPARE(asked.size(), 1);
        QCOMPARE(FileBytes(), before);
        QCOMPARE(storedTable().at(1).Deleted, qint16(0));
        QCOMPARE(list->count(), 2);
    }

    void removeThatCannotBeSavedKeepsTheAlarm()
    {
        SetAlarms({Alarm("b", 1, 7, 0), Alarm("A", 1, 7, 0)});
        AlarmForm *form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");
        SelectRow(list, "b");
        // A folder in the file's place makes the save fail for real.
        QVERIFY(QFile::remove(AlarmHandling::AlarmFilePath()));
        QVERIFY(QDir().mkpath(AlarmHandling::AlarmFilePath()));
        QTest::mouseClick(Child<QPushButton>(form, "RemoveButton"), Qt::LeftButton);

        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().contains(QDir::toNativeSeparators(AlarmHandling::AlarmFilePath())));
        QCOMPARE(storedTable().size(), 3);
        QCOMPARE(storedTable().at(1).Deleted, qint16(0));
        QCOMPARE(list->count(), 2);
    }

    void addOpensAFreshEditorAndDisablesTheList()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        EditAlarm = Alarm("left over", 2, 5, 5, 3);
        EditAlarm.Index = 1;
        QTest::mouseClick(Child<QPushButton>(form, "AddButton"), Qt::LeftButton);
        QVERIFY(!form->isEnabled());
        ModifyForm *editor = Editor();
        QVERIFY(editor);

        QCOMPARE(ShownControls(editor), NameRowOnly);
        QTest::keyClicks(Child<QLineEdit>(editor, "NameText"), "Wake");
        QCOMPARE(ShownControls(editor), With(Common, {"DateLabel", "DateSelection"}));
        QCOMPARE(Child<QComboBox>(editor, "TypeList")->currentText(), QStringLiteral("Once Only"));
        // The next whole hour after 09:30.
        QCOMPARE(Child<QLineEdit>(editor, "HourText")->text(), QStringLiteral("10"));
        QCOMPARE(Child<QLineEdit>(editor, "MinuteText")->text(), QStringLiteral("00"));
        QCOMPARE(Child<QComboBox>(editor, "DayList")->currentText(), QStringLiteral("Monday"));
        QCOMPARE(Child<QCalendarWidget>(editor, "DateSelection")->selectedDate(), Today);
        QVERIFY(!Child<QCheckBox>(editor, "DisabledCheck")->isChecked());
        QCOMPARE(editor->ShownType, QStringLiteral("Once Only"));

        // A time of today already gone is pointed out while it is chosen.
        auto *hour = Child<QLineEdit>(editor, "HourText");
        hour->setText("09");
        QCOMPARE(ShownControls(editor), With(Common, {"DateLabel", "DateSelection", "PassedHint"}));
        QCOMPARE(Child<QLabel>(editor, "PassedHint")->text(),
                 QStringLiteral("This moment has passed: the alarm will not ring."));
        Child<QLineEdit>(editor, "MinuteText")->setText("31");
        QCOMPARE(ShownControls(editor), With(Common, {"DateLabel", "DateSelection"}));
    }

    void visibilityFollowsTheType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("year"); // of the stored date, 31 January
        QTest::newRow("once only") << 0 << With(Common, {"DateLabel", "DateSelection"}) << 2030;
        // Saved before its moment passed: it will not ring, and the editor says so.
        QTest::newRow("once only, its moment gone")
            << 0 << With(Common, {"DateLabel", "DateSelection", "PassedHint"}) << 2024;
        QTest::newRow("daily") << 1 << Common << 2024;
        QTest::newRow("weekly") << 2 << With(Common, {"DayLabel", "DayList"}) << 2024;
        QTest::newRow("every weekday") << 3 << Common << 2030;
    }

    void visibilityFollowsTheType()
    {
        QFETCH(int, type);
        QFETCH(QStringList, shown);
        QFETCH(int, year);

        // Opened with the type stored...
        ModifyForm *editor = OpenEditorFor(Alarm("Alarm", quint8(type), 7, 0, 4, 31, 1, qint16(year)));
        QVERIFY(editor);
        QCOMPARE(ShownControls(editor), shown);
        QCOMPARE(editor->ShownType, Child<QComboBox>(editor, "TypeList")->itemText(type));
        editor->close();
        RunDeferredDeletes();

        // ...and chosen in the list from another type.
        editor = OpenEditorFor(Alarm("Alarm", quint8((type + 1) % 4), 7, 0, 4, 31, 1, qint16(year)));
        QVERIFY(editor);
        auto *types = Child<QComboBox>(editor, "TypeList");
        types->setFocus();
        QTest::keyClick(types, type < (type + 1) % 4 ? Qt::Key_Up : Qt::Key_Down);
        if (type == 3)
            QTest::keyClick(types, Qt::Key_End);
        QCOMPARE(types->currentIndex(), type);
        QCOMPARE(ShownControls(editor), shown);

        // Emptying the name hides everything but the name row, and typing it
        // again brings back the layout of the chosen type.
        auto *name = Child<QLineEdit>(editor, "NameText");
        name->setFocus();
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete);
        QCOMPARE(ShownControls(editor), NameRowOnly);
        QVERIFY(editor->ShownType.isEmpty());
        QTest::keyClicks(name, "x");
        QCOMPARE(ShownControls(editor), shown);
    }

    void editorOpensOnTheStoredFields()
    {
        ModifyForm *editor = OpenEditorFor(Alarm("  Gym ", 2, 18, 30, 4, 31, 1, 2031, -1));
        QVERIFY(editor);
        QCOMPARE(Child<QLineEdit>(editor, "NameText")->text(), QStringLiteral("Gym"));
        QCOMPARE(Child<QComboBox>(editor, "DayList")->currentText(), QStringLiteral("Friday"));
        QVERIFY(Child<QCalendarWidget>(editor, "DateSelection")->isHidden());
        QCOMPARE(Child<QCalendarWidget>(editor, "DateSelection")->selectedDate(), QDate(2031, 1, 31));
        QCOMPARE(Child<QLineEdit>(editor, "HourText")->text(), QStringLiteral("18"));
        QCOMPARE(Child<QLineEdit>(editor, "MinuteText")->text(), QStringLiteral("30"));
        QVERIFY(Child<QCheckBox>(editor, "DisabledCheck")->isChecked());

        // Switching to Once Only and back keeps the calendar's date.
        auto *types = Child<QComboBox>(editor, "TypeList");
        types->setCurrentIndex(0);
        QVERIFY(!Child<QCalendarWidget>(editor, "DateSelection")->isHidden());
        types->setCurrentIndex(2);
        types->setCurrentIndex(0);
        QCOMPARE(Child<QCalendarWidget>(editor, "DateSelection")->selectedDate(), QDate(2031, 1, 31));
    }

    void calendarKeepsToItsRange()
    {
        auto *calendar = Child<QCalendarWidget>(OpenEditorFor(Alarm("x", 0, 1, 1, 0, 30, 2, 1999)), "DateSelection");
        QCOMPARE(calendar->minimumDate(), QDate(2000, 1, 1));
        QCOMPARE(calendar->maximumDate(), QDate(2050, 12, 31));
        // A damaged date opens on the nearest real one instead of failing.
        QCOMPARE(calendar->selectedDate(), QDate(2000, 2, 29));
    }

    void timeBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed"); // '<' is Backspace, '#' is Delete
        QTest::addColumn<QString>("whileTyping");
        QTest::addColumn<QString>("afterLeaving");

        QTest::newRow("one digit") << "HourText"
                                   << "7"
                                   << "7"
                                   << "07";
        QTest::newRow("two digits") << "MinuteText"
                                    << "45"
                                    << "45"
                                    << "45";
        QTest::newRow("no more than two") << "MinuteText"
                                          << "456"
                                          << "45"
                                          << "45";
        QTest::newRow("hour above 23") << "HourText"
                                       << "99"
                                       << "99"
                                       << "23";
        QTest::newRow("hour 24") << "HourText"
                                 << "24"
                                 << "24"
                                 << "23";
        QTest::newRow("minute above 59") << "MinuteText"
                                         << "99"
                                         << "99"
                                         << "59";
        QTest::newRow("minute 60") << "MinuteText"
                                   << "60"
                                   << "60"
                                   << "59";
        QTest::newRow("letters are dropped") << "HourText"
                                             << "a1b"
                                             << "1"
                                             << "01";
        QTest::newRow("signs are dropped") << "MinuteText"
                                           << "-5"
                                           << "5"
                                           << "05";
        QTest::newRow("backspace is dropped") << "HourText"
                                              << "<"
                                              << ""
                                              << "00";
        QTest::newRow("delete empties") << "HourText"
                                        << "#"
                                        << ""
                                        << "00";
        QTest::newRow("backspace after digits") << "MinuteText"
                                                << "12<"
                                                << "12"
                                                << "12";
    }

    void timeBoxes()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, whileTyping);
        QFETCH(QString, afterLeaving);

        ModifyForm *editor = OpenEditorFor(Alarm("Alarm", 1, 8, 30));
        QVERIFY(editor);
        auto *time = Child<QLineEdit>(editor, qPrintable(box));
        time->setFocus(Qt::MouseFocusReason);
        // Getting the focus selects both digits, so typing replaces them.
        QCOMPARE(time->selectedText(), time->text());
        for (const QChar c : typed) {
            if (c == QLatin1Char('<'))
                QTest::keyClick(time, Qt::Key_Backspace);
            else if (c == QLatin1Char('#'))
                QTest::keyClick(time, Qt::Key_Delete);
            else
                QTest::keyClick(time, c.toLatin1());
        }
        // Backspace alone leaves the selected text in place.
        if (typed == QLatin1String("<"))
            QCOMPARE(time->text(), box == QLatin1String("HourText") ? QStringLiteral("08") : QStringLiteral("30"));
        else
            QCOMPARE(time->text(), whileTyping);
        if (typed != QLatin1String("<")) {
            Child<QLineEdit>(editor, "NameText")->setFocus();
            QCOMPARE(time->text(), afterLeaving);
        }
    }

    void damagedRecordsKeepTheirMeaning_data()
    {
        // A record as only a damaged or hand-edited file holds it, what the
        // user does in the editor before Confirm, and the record stored.
        QTest::addColumn<AlarmRecord>("stored");
        QTest::addColumn<QString>("action");
        QTest::addColumn<AlarmRecord>("expected");

        QTest::newRow("disabled 1 shows checked, is stored as -1")
            << Alarm("Off", 1, 7, 0, 0, 1, 1, 2024, 1) << "" << Alarm("Off", 1, 7, 0, 0, 1, 1, 2024, -1);
        QTest::newRow("disabled 1, unchecked by the user, is active")
            << Alarm("Off", 1, 7, 0, 0, 1, 1, 2024, 1) << "uncheck" << Alarm("Off", 1, 7, 0, 0, 1, 1, 2024, 0);
        QTest::newRow("year 2051 is kept")
            << Alarm("Later", 0, 7, 0, 0, 15, 6, 2051) << "" << Alarm("Later", 0, 7, 0, 0, 15, 6, 2051);
        QTest::newRow("year 1999 is kept")
            << Alarm("Past", 0, 7, 0, 0, 30, 12, 1999) << "" << Alarm("Past", 0, 7, 0, 0, 30, 12, 1999);
        QTest::newRow("31 February is kept")
            << Alarm("Feb", 0, 7, 0, 0, 31, 2, 2024) << "" << Alarm("Feb", 0, 7, 0, 0, 31, 2, 2024);
        QTest::newRow("a date the user picks replaces a damaged one")
            << Alarm("Later", 0, 7, 0, 0, 15, 6, 2051) << "pick 2024-05-01" << Alarm("Later", 0, 7, 0, 0, 1, 5, 2024);
        QTest::newRow("type 7 is kept") << Alarm("Odd", 7, 7, 0) << "" << Alarm("Odd", 7, 7, 0);
        QTest::newRow("type 7, Daily chosen by the user") << Alarm("Odd", 7, 7, 0) << "daily" << Alarm("Odd", 1, 7, 0);
        QTest::newRow("weekday 9 is kept") << Alarm("Wk", 2, 7, 0, 9) << "" << Alarm("Wk", 2, 7, 0, 9);
        QTest::newRow("hour 25 left as shown is kept") << Alarm("H", 1, 25, 0) << "" << Alarm("H", 1, 25, 0);
        QTest::newRow("minute 75 left as shown is kept") << Alarm("M", 1, 7, 75) << "" << Alarm("M", 1, 7, 75);
    }

    void damagedRecordsKeepTheirMeaning()
    {
        QFETCH(AlarmRecord, stored);
        QFETCH(QString, action);
        QFETCH(AlarmRecord, expected);
        SetAlarms({stored});
        ModifyForm *editor = OpenEditorFor(storedTable().at(1));
        QVERIFY(editor);
        QCOMPARE(Child<QCheckBox>(editor, "DisabledCheck")->isChecked(), stored.Disabled != 0);
        if (action == QLatin1String("uncheck"))
            QTest::mouseClick(Child<QCheckBox>(editor, "DisabledCheck"), Qt::LeftButton);
        else if (action.startsWith(QLatin1String("pick ")))
            Child<QCalendarWidget>(editor, "DateSelection")
                ->setSelectedDate(QDate::fromString(action.mid(5), Qt::ISODate));
        else if (action == QLatin1String("daily"))
            Child<QComboBox>(editor, "TypeList")->setCurrentIndex(1);
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();

        expected.Index = 1;
        QCOMPARE(AlarmHandling::DecodeTable(FileBytes()).at(1), expected);
    }

    void namesTheFileCannotHoldAreRefused_data()
    {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("hint");

        QTest::newRow("typed: Western European letters")
            << false << QString::fromUtf8("Café €5 Zürich") << QString::fromUtf8("Café €5 Zürich") << false;
        QTest::newRow("typed: a check mark")
            << false << QString::fromUtf8("Zürich ✓") << QString::fromUtf8("Zürich ") << true;
        QTest::newRow("typed: Japanese only") << false << QString::fromUtf8("日本") << QString() << true;
        QTest::newRow("typed: beyond the basic plane")
            << false << QString::fromUtf8("Tea \U0001F375") << QStringLiteral("Tea ") << true;
        QTest::newRow("pasted: Western European letters")
            << true << QString::fromUtf8("Crème brûlée") << QString::fromUtf8("Crème brûlée") << false;
        QTest::newRow("pasted: mixed") << true << QString::fromUtf8("Zürich ✓ 日本 Bahnhof")
                                       << QString::fromUtf8("Zürich   Bahnhof") << true;
        // Control characters would forge lines of --list and never reach a calendar.
        QTest::newRow("pasted: a tab") << true << QStringLiteral("Tea\tTime") << QStringLiteral("TeaTime") << true;
        QTest::newRow("pasted: an escape") << true << QStringLiteral("A\x1b[2JB") << QStringLiteral("A[2JB") << true;
        QTest::newRow("pasted: DEL and a C1 control")
            << true << QString::fromUtf8("Tea\x7f\xc2\x85") << QStringLiteral("Tea") << true;
    }

    void namesTheFileCannotHoldAreRefused()
    {
        QFETCH(bool, paste);
        QFETCH(QString, input);
        QFETCH(QString, shown);
        QFETCH(bool, hint);
        SetAlarms({});
        AlarmForm *form = OpenList();
        QTest::mouseClick(Child<QPushButton>(form, "AddButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        auto *name = Child<QLineEdit>(editor, "NameText");
        name->setFocus();
        if (paste) {
            QGuiApplication::clipboard()->setText(input);
            QTest::keySequence(name, QKeySequence::Paste);
        } else {
            // One key event per character, as a keyboard or input method sends it.
            for (qsizetype i = 0; i < input.size(); ++i) {
                const qsizetype n = input.at(i).isHighSurrogate() ? 2 : 1;
                QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, input.mid(i, n), Qt::NoModifier);
                i += n - 1;
            }
        }
        QCOMPARE(name->text(), shown);
        auto *hintLabel = Child<QLabel>(editor, "NameHint");
        QCOMPARE(!hintLabel->isHidden(), hint);
        const QString control = AlarmRecord::ControlCharacterIn(input);
        QCOMPARE(hintLabel->text(),
                 control.isEmpty() ? ModifyForm::NameHintText : ModifyForm::ControlHintText.arg(control));
        // The hint covers none of the controls shown beside it.
        for (QWidget *w : editor->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w != hintLabel && !w->isHidden() && !w->objectName().isEmpty())
                QVERIFY2(!w->geometry().intersects(hintLabel->geometry()), qPrintable(w->objectName()));
        if (shown.isEmpty()) {
            QCOMPARE(ShownControls(editor), With(NameRowOnly, {"NameHint"}));
            return;
        }
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();
        QCOMPARE(FileNames(), QStringList{shown.trimmed()});
    }

    void nameHintStaysClearOfEveryLayout_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("Once Only") << 0;
        QTest::newRow("Daily") << 1;
        QTest::newRow("Weekly") << 2;
        QTest::newRow("Every Weekday") << 3;
    }

    void nameHintStaysClearOfEveryLayout()
    {
        QFETCH(int, type);
        ModifyForm *editor = OpenEditorFor(Alarm("Trip", quint8(type), 7, 0));
        QVERIFY(editor);
        auto *name = Child<QLineEdit>(editor, "NameText");
        name->setFocus();
        name->end(false);
        QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString::fromUtf8("✈"), Qt::NoModifier);
        QCOMPARE(name->text(), QStringLiteral("Trip"));
        auto *hintLabel = Child<QLabel>(editor, "NameHint");
        QVERIFY(!hintLabel->isHidden());
        QVERIFY(editor->rect().contains(hintLabel->geometry()));
        for (QWidget *w : editor->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w != hintLabel && !w->isHidden() && !w->objectName().isEmpty())
                QVERIFY2(!w->geometry().intersects(hintLabel->geometry()), qPrintable(w->objectName()));
        // Its words fit the room it has.
        QVERIFY(hintLabel->heightForWidth(hintLabel->width()) <= hintLabel->height());
    }

    void confirmAppendsANewAlarm()
    {
        SetAlarms({Alarm("First", 1, 6, 0), Alarm("Second", 1, 6, 30), Alarm("Third", 1, 7, 0)});
        AlarmForm *form = OpenList();
        QTest::mouseClick(Child<QPushButton>(form, "AddButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        QTest::keyClicks(Child<QLineEdit>(editor, "NameText"), " Dentist");
        auto *hour = Child<QLineEdit>(editor, "HourText");
        hour->setFocus();
        QTest::keyClicks(hour, "9");
        auto *minute = Child<QLineEdit>(editor, "MinuteText");
        minute->setFocus();
        QTest::keyClicks(minute, "5");
        Child<QCalendarWidget>(editor, "DateSelection")->setSelectedDate(QDate(2024, 4, 30));
        QTest::mouseClick(Child<QCheckBox>(editor, "DisabledCheck"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();

        QVERIFY(!Forms().Find<ModifyForm>());
        QVERIFY(form->isEnabled());
        QCOMPARE(storedTable().size(), 5);
        QCOMPARE(FileBytes().size(), 5 * AlarmHandling::SlotSize);
        const QList<AlarmRecord> file = AlarmHandling::DecodeTable(FileBytes());
        AlarmRecord expected = Alarm(" Dentist", 0, 9, 5, 0, 30, 4, 2024, -1);
        expected.Index = 4;
        QCOMPARE(file.at(4), expected);
        QCOMPARE(storedTable().at(4), expected);
        // The leading blank is stored but not shown.
        QVERIFY(Rows(Child<QListWidget>(form, "AlarmList")).contains("Dentist - 09:05, 30 April (disabled)"));
    }

    void confirmOverwritesTheEditedAlarm()
    {
        SetAlarms({Alarm("First", 1, 6, 0), Alarm("Second", 1, 6, 30), Alarm("Third", 1, 7, 0)});
        const QByteArray before = FileBytes();
        AlarmForm *form = OpenList();
        SelectRow(Child<QListWidget>(form, "AlarmList"), "Second");
        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        Child<QComboBox>(editor, "TypeList")->setCurrentIndex(2);
        Child<QComboBox>(editor, "DayList")->setCurrentIndex(6);
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);

        const QByteArray after = FileBytes();
        QCOMPARE(after.size(), before.size());
        const int slot = 2 * AlarmHandling::SlotSize;
        // Only the second alarm's slot changed, and in it only type and weekday.
        QCOMPARE(after.left(slot), before.left(slot));
        QCOMPARE(after.mid(slot + AlarmHandling::SlotSize), before.mid(slot + AlarmHandling::SlotSize));
        const AlarmRecord second = AlarmHandling::DecodeTable(after).at(2);
        QCOMPARE(second.AlarmType, quint8(2));
        QCOMPARE(second.WeekDay, quint8(6));
        QCOMPARE(second.TrimmedName(), QStringLiteral("Second"));
        QCOMPARE(second.Hour, quint8(6));
        QCOMPARE(second.Minute, quint8(30));
        QVERIFY(Rows(Child<QListWidget>(form, "AlarmList")).contains("Second - 06:30 every Sunday"));
    }

    void nameOfBlanksCanBeConfirmedAndReopensUnnamed()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        QTest::mouseClick(Child<QPushButton>(form, "AddButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        QTest::keyClicks(Child<QLineEdit>(editor, "NameText"), "   ");
        QVERIFY(!Child<QPushButton>(editor, "ConfirmButton")->isHidden());
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();
        QCOMPARE(storedTable().size(), 2);

        editor = OpenEditorFor(storedTable().at(1));
        QVERIFY(editor);
        QCOMPARE(ShownControls(editor), NameRowOnly);
    }

    void cancelAndCloseChangeNothing_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("cancel") << false;
        QTest::newRow("close box") << true;
    }

    void cancelAndCloseChangeNothing()
    {
        QFETCH(bool, closeBox);
        SetAlarms({Alarm("First", 1, 6, 0)});
        const QByteArray before = FileBytes();
        const QList<AlarmRecord> table = storedTable();
        AlarmForm *form = OpenList();
        SelectRow(Child<QListWidget>(form, "AlarmList"), "First");
        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        QTest::keyClicks(Child<QLineEdit>(editor, "NameText"), "changed");
        if (closeBox)
            editor->close();
        else
            QTest::mouseClick(Child<QPushButton>(editor, "CancelButton"), Qt::LeftButton);
        RunDeferredDeletes();

        QVERIFY(!Forms().Find<ModifyForm>());
        QVERIFY(form->isEnabled());
        QCOMPARE(storedTable(), table);
        QCOMPARE(FileBytes(), before);
        QCOMPARE(Rows(Child<QListWidget>(form, "AlarmList")), QStringList{"First - 06:00 every day"});
    }

    // A save that fails changes nothing and loses nothing: the editor stays
    // with what was typed, and Confirm once the disk takes it again saves it.
    void failedSaveIsReportedAndTheEditorKept()
    {
        SetAlarms({Alarm("First", 1, 6, 0)});
        const QList<AlarmRecord> table = storedTable();
        AlarmForm *form = OpenList();
        // A folder in the file's place makes the save fail for real.
        const QByteArray before = FileBytes();
        QVERIFY(QFile::remove(AlarmHandling::AlarmFilePath()));
        QVERIFY(QDir().mkpath(AlarmHandling::AlarmFilePath()));
        QTest::mouseClick(Child<QPushButton>(form, "AddButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        QTest::keyClicks(Child<QLineEdit>(editor, "NameText"), "Kept");
        Child<QComboBox>(editor, "TypeList")->setCurrentIndex(1);
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();

        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().contains(QDir::toNativeSeparators(AlarmHandling::AlarmFilePath())));
        QCOMPARE(storedTable(), table);
        QCOMPARE(Editor(), editor);
        QCOMPARE(Child<QLineEdit>(editor, "NameText")->text(), QStringLiteral("Kept"));
        QVERIFY(!form->isEnabled());
        QCOMPARE(Rows(Child<QListWidget>(form, "AlarmList")), QStringList{"First - 06:00 every day"});

        QVERIFY(QDir().rmdir(AlarmHandling::AlarmFilePath()));
        QFile file(AlarmHandling::AlarmFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        file.close();
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();
        QCOMPARE(errors.size(), 1);
        QVERIFY(!Forms().Find<ModifyForm>());
        QCOMPARE(storedTable().size(), 3);
        QCOMPARE(storedTable().at(2).TrimmedName(), QStringLiteral("Kept"));
        QVERIFY(form->isEnabled());
        QVERIFY(Rows(Child<QListWidget>(form, "AlarmList")).contains("Kept - 10:00 every day"));
    }

    // The options window on a weekly alarm, each row what is chosen there and
    // in the editor after it, and what Confirm stores: the rule (or none, when
    // a kind says it), the record's kind, and the list's row. Today is
    // Thursday 7 March 2024, 09:30.
    void optionsAreStoredWithTheEditorsConfirm_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("recur");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("row");

        const QStringList none;
        QTest::newRow("on these days Mon, Wed, Fri")
            << QStringList{"repeat On These Days", "tick MO", "tick WE", "ok", "confirm"}
            << "FREQ=WEEKLY;BYDAY=MO,WE,FR"
            << "" << none << 0 << "Run - 07:45 Mon, Wed, Fri";
        QTest::newRow("all seven days is the daily kind") << QStringList{"repeat On These Days",
                                                                         "tick MO",
                                                                         "tick TU",
                                                                         "tick WE",
                                                                         "tick TH",
                                                                         "tick SA",
                                                                         "tick SU",
                                                                         "ok",
                                                                         "confirm"}
                                                          << ""
                                                          << "" << none << 1 << "Run - 07:45 every day";
        QTest::newRow("monday to friday is the weekday kind")
            << QStringList{"repeat On These Days", "tick MO", "tick TU", "tick WE", "tick TH", "ok", "confirm"} << ""
            << "" << none << 3 << "Run - 07:45 every weekday";
        QTest::newRow("no day ticked is refused")
            << QStringList{"repeat On These Days", "tick FR", "refused", "cancel", "confirm"} << ""
            << "" << none << 2 << "Run - 07:45 every Friday";
        QTest::newRow("every 2 weeks") << QStringList{"repeat Every N Weeks", "every 2", "ok", "confirm"}
                                       << "FREQ=WEEKLY;INTERVAL=2;BYDAY=FR"
                                       << "" << none << 0 << "Run - 07:45 every 2 weeks on Friday";
        QTest::newRow("monthly on the first Monday")
            << QStringList{"repeat Every N Months", "nth 0 0", "ok", "confirm"} << "FREQ=MONTHLY;BYDAY=1MO"
            << "" << none << 0 << "Run - 07:45 monthly on the first Monday";
        QTest::newRow("ends after 5 times") << QStringList{"after 5", "ok", "confirm"} << "FREQ=WEEKLY;BYDAY=FR;COUNT=5"
                                            << "" << none << 0 << "Run - 07:45 Fri, 5 times";
        QTest::newRow("skip next time") << QStringList{"skip-text Friday 8 March", "skip", "skip-text Friday 15 March",
                                                       "ok", "confirm"}
                                        << "FREQ=WEEKLY;BYDAY=FR"
                                        << "" << QStringList{"2024-03-08T07:45"} << 0
                                        << "Run - 07:45 Fri, skips 8 March";
        QTest::newRow("a skip taken back")
            << QStringList{"skip", "skip", "ring-again 0", "skip-text Friday 8 March", "ok", "confirm"}
            << "FREQ=WEEKLY;BYDAY=FR"
            << "" << QStringList{"2024-03-15T07:45"} << 0 << "Run - 07:45 Fri, skips 15 March";
        QTest::newRow("the editor's time moves the rule and its skips")
            << QStringList{"skip", "ok", "hour 6", "confirm"} << "FREQ=WEEKLY;BYDAY=FR"
            << "" << QStringList{"2024-03-08T06:45"} << 0 << "Run - 06:45 Fri, skips 8 March";
        QTest::newRow("another zone") << QStringList{"zone America/New_York", "ok", "confirm"} << "FREQ=WEEKLY;BYDAY=FR"
                                      << "America/New_York" << none << 0 << "Run - 07:45 New York time Fri";
        QTest::newRow("a zone no one knows is refused")
            << QStringList{"zone Mars/Olympus", "refused", "zone Local Time", "ok", "confirm"} << ""
            << "" << none << 2 << "Run - 07:45 every Friday";
        QTest::newRow("options cancelled") << QStringList{"repeat On These Days", "tick MO", "cancel", "confirm"} << ""
                                           << "" << none << 2 << "Run - 07:45 every Friday";
        QTest::newRow("editor cancelled")
            << QStringList{"repeat On These Days", "tick MO", "skip", "ok", "editor-cancel"} << ""
            << "" << none << 2 << "Run - 07:45 every Friday";
        QTest::newRow("another type in the editor drops the rule")
            << QStringList{"repeat On These Days", "tick MO", "ok", "type 1", "confirm"} << ""
            << "" << none << 1 << "Run - 07:45 every day";
    }

    void optionsAreStoredWithTheEditorsConfirm()
    {
        QFETCH(QStringList, actions);
        QFETCH(QString, recur);
        QFETCH(QString, zone);
        QFETCH(QStringList, skipped);
        QFETCH(int, type);
        QFETCH(QString, row);
        SetAlarms({Alarm("Run", 2, 7, 45, 4)});
        QVERIFY(AlarmStore::Instance().RuleOf(1).IsEmpty());
        AlarmForm *form = OpenList();
        SelectRow(Child<QListWidget>(form, "AlarmList"), "Run");
        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        QTest::mouseClick(Child<QLabel>(editor, "OptionsLink"), Qt::LeftButton);
        QPointer<AlarmOptionsForm> options = editor->findChild<AlarmOptionsForm *>();
        QVERIFY(options);
        QVERIFY(QTest::qWaitForWindowExposed(options));
        QCOMPARE(options->windowTitle(), QStringLiteral("Alarm Options"));

        for (const QString &action : std::as_const(actions)) {
            const QString what = action.section(QLatin1Char(' '), 0, 0);
            const QString arg = action.section(QLatin1Char(' '), 1);
            if (what == QLatin1String("repeat")) {
                auto *list = Child<QComboBox>(options, "RepeatList");
                QVERIFY(list->findText(arg) >= 0);
                list->setCurrentIndex(list->findText(arg));
            } else if (what == QLatin1String("tick")) {
                auto *check = Child<QCheckBox>(options, qPrintable(QStringLiteral("Day") + arg));
                QVERIFY(check->isVisible());
                QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
            } else if (what == QLatin1String("every")) {
                Child<QSpinBox>(options, "IntervalSpin")->setValue(arg.toInt());
            } else if (what == QLatin1String("nth")) {
                QTest::mouseClick(Child<QRadioButton>(options, "NthRadio"), Qt::LeftButton, {}, QPoint(6, 6));
                Child<QComboBox>(options, "NthList")->setCurrentIndex(arg.section(' ', 0, 0).toInt());
                Child<QComboBox>(options, "NthDayList")->setCurrentIndex(arg.section(' ', 1, 1).toInt());
            } else if (what == QLatin1String("after")) {
                QTest::mouseClick(Child<QRadioButton>(options, "EndsAfter"), Qt::LeftButton, {}, QPoint(6, 6));
                Child<QSpinBox>(options, "CountSpin")->setValue(arg.toInt());
            } else if (what == QLatin1String("skip")) {
                QTest::mouseClick(Child<QPushButton>(options, "SkipButton"), Qt::LeftButton);
            } else if (what == QLatin1String("skip-text")) {
                QCOMPARE(Child<QPushButton>(options, "SkipButton")->text(),
                         QStringLiteral("Skip Next Time (%1)").arg(arg));
            } else if (what == QLatin1String("ring-again")) {
                auto *list = Child<QListWidget>(options, "SkippedList");
                SelectRow(list, list->item(arg.toInt())->text());
                QTest::mouseClick(Child<QPushButton>(options, "UnskipButton"), Qt::LeftButton);
            } else if (what == QLatin1String("zone")) {
                Child<QComboBox>(options, "ZoneList")->setEditText(arg);
            } else if (what == QLatin1String("ok")) {
                QTest::mouseClick(Child<QPushButton>(options, "OkButton"), Qt::LeftButton);
                RunDeferredDeletes();
                QVERIFY(!options);
            } else if (what == QLatin1String("refused")) {
                QTest::mouseClick(Child<QPushButton>(options, "OkButton"), Qt::LeftButton);
                RunDeferredDeletes();
                QCOMPARE(errors.size(), 1);
                QVERIFY(options && options->isVisible());
            } else if (what == QLatin1String("cancel")) {
                QTest::mouseClick(Child<QPushButton>(options, "CancelButton"), Qt::LeftButton);
                RunDeferredDeletes();
                QVERIFY(!options);
            } else if (what == QLatin1String("hour")) {
                QTRY_VERIFY(editor->isActiveWindow());
                auto *hour = Child<QLineEdit>(editor, "HourText");
                hour->setFocus();
                QTest::keyClicks(hour, arg);
            } else if (what == QLatin1String("type")) {
                auto *list = Child<QComboBox>(editor, "TypeList");
                list->setCurrentIndex(arg.toInt());
                emit list->activated(arg.toInt());
            } else if (what == QLatin1String("confirm")) {
                QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
            } else if (what == QLatin1String("editor-cancel")) {
                QTest::mouseClick(Child<QPushButton>(editor, "CancelButton"), Qt::LeftButton);
            } else {
                QFAIL(qPrintable(QStringLiteral("no action %1").arg(action)));
            }
        }
        RunDeferredDeletes();
        QVERIFY(!Forms().Find<ModifyForm>());

        const AlarmRule &rule = AlarmStore::Instance().RuleOf(1);
        QCOMPARE(rule.recur, recur);
        QCOMPARE(rule.zone, zone);
        QStringList skips;
        for (const QDateTime &skip : rule.skipped)
            skips << skip.toString(QStringLiteral("yyyy-MM-ddTHH:mm"));
        QCOMPARE(skips, skipped);
        QCOMPARE(rule.IsEmpty(), recur.isEmpty());
        if (!rule.IsEmpty())
            QCOMPARE(rule.start.time(), QTime::fromString(row.mid(6, 5), QStringLiteral("HH:mm")));
        QCOMPARE(int(storedTable().at(1).AlarmType), type);
        QCOMPARE(Rows(Child<QListWidget>(form, "AlarmList")), QStringList{row});
    }

    // An alarm opened with its rule shows it in the options as stored, and
    // keeps it, untouched, through the editor's Confirm.
    void aStoredRuleReopensAsItWas()
    {
        SetAlarms({Alarm("Run", 2, 7, 45, 4)});
        AlarmRule rule;
        rule.recur = QStringLiteral("FREQ=MONTHLY;BYDAY=1MO;COUNT=4");
        rule.start = QDateTime(QDate(2024, 3, 1), QTime(7, 45), Qt::UTC);
        rule.zone = QStringLiteral("America/New_York");
        AlarmStore::Change change;
        change.rules = {{1, rule}};
        QVERIFY(AlarmStore::Instance().Apply(change));
        AlarmForm *form = OpenList();
        QCOMPARE(Rows(Child<QListWidget>(form, "AlarmList")),
                 QStringList{"Run - 07:45 New York time monthly on the first Monday, 4 times"});
        SelectRow(Child<QListWidget>(form, "AlarmList"), "Run");
        QTest::mouseClick(Child<QPushButton>(form, "EditButton"), Qt::LeftButton);
        ModifyForm *editor = Editor();
        QVERIFY(editor);
        // The rule's own clock, not the local time of its stand-in.
        QCOMPARE(Child<QLineEdit>(editor, "HourText")->text(), QStringLiteral("07"));
        QTest::mouseClick(Child<QLabel>(editor, "OptionsLink"), Qt::LeftButton);
        auto *options = editor->findChild<AlarmOptionsForm *>();
        QVERIFY(options);
        QCOMPARE(Child<QComboBox>(options, "RepeatList")->currentText(), QStringLiteral("Every N Months"));
        QVERIFY(Child<QRadioButton>(options, "NthRadio")->isChecked());
        QCOMPARE(Child<QComboBox>(options, "NthDayList")->currentText(), QStringLiteral("Monday"));
        QVERIFY(Child<QRadioButton>(options, "EndsAfter")->isChecked());
        QCOMPARE(Child<QSpinBox>(options, "CountSpin")->value(), 4);
        QCOMPARE(Child<QComboBox>(options, "ZoneList")->currentText(), QStringLiteral("America/New_York"));
        QCOMPARE(Child<QPushButton>(options, "SkipButton")->text(), QStringLiteral("Skip Next Time (Monday 1 April)"));
        QTest::mouseClick(Child<QPushButton>(options, "OkButton"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(editor, "ConfirmButton"), Qt::LeftButton);
        RunDeferredDeletes();
        QCOMPARE(AlarmStore::Instance().RuleOf(1), rule);
    }

    void focusOrder()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        const QStringList order = FocusOrder(Child<QListWidget>(form, "AlarmList"), 4);
        QCOMPARE(order, QStringList({"AlarmList", "AddButton", "RemoveButton", "EditButton"}));
    }

    // Edit and Remove act on the selected row, and are off without one.
    void editAndRemoveNeedASelection()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        auto *edit = Child<QPushButton>(form, "EditButton");
        auto *remove = Child<QPushButton>(form, "RemoveButton");
        QVERIFY(!edit->isEnabled() && !remove->isEnabled()); // an empty list
        form->close();
        RunDeferredDeletes();

        SetAlarms({Alarm("Tea", 1, 16, 0), Alarm("Walk", 1, 17, 0)});
        form = OpenList();
        auto *list = Child<QListWidget>(form, "AlarmList");
        edit = Child<QPushButton>(form, "EditButton");
        remove = Child<QPushButton>(form, "RemoveButton");
        QVERIFY(!edit->isEnabled() && !remove->isEnabled());
        list->setCurrentRow(1);
        QVERIFY(edit->isEnabled() && remove->isEnabled());
        list->clearSelection();
        QVERIFY(!edit->isEnabled() && !remove->isEnabled());
        list->setCurrentRow(0);
        form->UpdateAlarmList(); // rebuilt: nothing selected
        QVERIFY(!edit->isEnabled() && !remove->isEnabled());
    }

    void linksOpenTheAboutWindowsOnce()
    {
        SetAlarms({});
        AlarmForm *form = OpenList();
        QTest::mouseClick(Child<QLabel>(form, "LinkLabel"), Qt::LeftButton);
        PersonalForm *personal = Forms().Find<PersonalForm>();
        QVERIFY(personal && personal->isVisible());
        QTest::mouseClick(Child<QLabel>(form, "LinkLabel"), Qt::LeftButton);
        QCOMPARE(Forms().Find<PersonalForm>(), personal);
        QVERIFY(!Forms().Find<AdForm>());
        QTest::mouseClick(Child<QLabel>(form, "InfoLink"), Qt::LeftButton);
        QVERIFY(Forms().Find<AdForm>() && Forms().Find<AdForm>()->isVisible());
        QVERIFY(form->isEnabled());
    }
};

QTEST_MAIN(TestAlarmUi)
#include "tst_alarmui.moc"
