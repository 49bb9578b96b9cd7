// The alarm list and the editor can be used with the keyboard alone, in the
// focus order the windows give.
#include "alarmui/AlarmForm.h"
#include "alarmui/ModifyForm.h"
#include "engine/AlarmHandling.h"
#include "engine/TimingModule.h"
#include "tests/common/AlarmFixtures.h"
#include "ui/FormRegistry.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

class KeyboardTest : public QObject
{
    Q_OBJECT

    // Keys go wherever the focus is, as from a real keyboard.
    static void press(Qt::Key key, const QString &text = QString())
    {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY2(focus, "nothing has the keyboard focus");
        if (text.isEmpty())
            QTest::keyClick(focus, key);
        else
            QTest::keyClicks(focus, text);
    }

    // An empty table in dir, the list, "Add New", and "Tea" typed into the editor.
    static ModifyForm *newAlarmNamedTea(const QTemporaryDir &dir)
    {
        AlarmHandling::SetAlarmFolder(dir.path());
        if (!useTable({AlarmRecord{}}))
            return nullptr;
        AlarmForm *list = Forms().ShowOrRaise<AlarmForm>();
        QTest::mouseClick(list->findChild<QWidget *>(QStringLiteral("AddButton")), Qt::LeftButton);
        ModifyForm *editor = Forms().Find<ModifyForm>();
        if (!editor || !QTest::qWaitForWindowActive(editor))
            return nullptr;
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Tea"));
        return editor;
    }

    static QString focusName()
    {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QString();
    }

private slots:
    void addADailyAlarmWithTheKeyboard()
    {
        QTemporaryDir dir;
        AlarmHandling::SetAlarmFolder(dir.path());
        QVERIFY(useTable({AlarmRecord{}}));
        TimingModule::SetClock([] { return QDateTime(QDate(2024, 3, 7), QTime(10, 0)); });

        AlarmForm *list = Forms().ShowOrRaise<AlarmForm>();
        QVERIFY(QTest::qWaitForWindowActive(list));
        list->findChild<QWidget *>(QStringLiteral("AlarmList"))->setFocus();
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("AddButton"));
        press(Qt::Key_Space);

        ModifyForm *editor = Forms().Find<ModifyForm>();
        QVERIFY(editor);
        QVERIFY(QTest::qWaitForWindowActive(editor));
        QCOMPARE(focusName(), QStringLiteral("NameText"));
        press(Qt::Key_unknown, QStringLiteral("Stretch"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("TypeList"));
        press(Qt::Key_Down); // Once Only -> Daily
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("HourText"));
        press(Qt::Key_unknown, QStringLiteral("7"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("MinuteText"));
        press(Qt::Key_unknown, QStringLiteral("45"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("DisabledCheck"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("OptionsLink"));
        // The link opens the options on Space; Escape there leaves them, and
        // the keys go on in the editor.
        press(Qt::Key_Space);
        QWidget *options = editor->findChild<QWidget *>(QStringLiteral("AlarmOptionsForm"));
        QVERIFY(options);
        QVERIFY(QTest::qWaitForWindowActive(options));
        press(Qt::Key_Escape);
        QTRY_VERIFY(editor->isActiveWindow());
        QCOMPARE(focusName(), QStringLiteral("OptionsLink"));
        press(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("ConfirmButton"));
        press(Qt::Key_Space);

        QCOMPARE(storedTable().size(), 2);
        const AlarmRecord &added = storedTable().at(1);
        QCOMPARE(added.TrimmedName(), QStringLiteral("Stretch"));
        QCOMPARE(int(added.AlarmType), int(AlarmRecord::Daily));
        QCOMPARE(int(added.Hour), 7);
        QCOMPARE(int(added.Minute), 45);
        QFile file(AlarmHandling::AlarmFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.size(), 256);
        QVERIFY(list->isEnabled());

        Forms().DeleteAll();
        TimingModule::SetClock({});
    }

    // Clicking into a full time box and typing replaces its two digits.
    void clickIntoATimeBoxAndType()
    {
        QTemporaryDir dir;
        ModifyForm *editor = newAlarmNamedTea(dir);
        QVERIFY(editor);
        auto *hour = editor->findChild<QLineEdit *>(QStringLiteral("HourText"));
        const QString start = hour->text();
        QTest::mouseClick(hour, Qt::LeftButton, {}, QPoint(4, hour->height() / 2));
        QTRY_COMPARE(hour->selectedText(), start);
        QTest::keyClicks(hour, QStringLiteral("07"));
        QCOMPARE(hour->text(), QStringLiteral("07"));
        Forms().DeleteAll();
    }

    // Tab goes through the fields as they stand on the window, row by row,
    // whichever kind shows which.
    void tabFollowsTheFields_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("order");
        const QStringList top{"NameText", "TypeList", "HourText", "MinuteText", "DisabledCheck"};
        const QStringList buttons{"OptionsLink", "ConfirmButton", "CancelButton", "NameText"};
        QTest::newRow("Once Only") << 0 << top + QStringList{"DateSelection"} + buttons;
        QTest::newRow("Daily") << 1 << top + buttons;
        QTest::newRow("Weekly") << 2 << top + QStringList{"DayList"} + buttons;
        QTest::newRow("Every Weekday") << 3 << top + buttons;
    }

    void tabFollowsTheFields()
    {
        QFETCH(int, type);
        QFETCH(QStringList, order);
        QTemporaryDir dir;
        ModifyForm *editor = newAlarmNamedTea(dir);
        QVERIFY(editor);
        editor->findChild<QComboBox *>(QStringLiteral("TypeList"))->setCurrentIndex(type);

        QStringList seen{focusName()};
        for (int i = 1; i < order.size(); ++i) {
            press(Qt::Key_Tab);
            // The calendar's focus is its table of days.
            QWidget *focus = QApplication::focusWidget();
            while (focus && focus->parentWidget() != editor)
                focus = focus->parentWidget();
            seen << (focus ? focus->objectName() : QString());
        }
        QCOMPARE(seen, order);
        Forms().DeleteAll();
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
