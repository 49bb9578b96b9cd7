#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "resources/Artwork.h"
#include "shell/CommandLine.h"
#include "shell/ShellWiring.h"
#include "tests/common/FormTestHelpers.h"
#include "theme/ThemeForm.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/Settings.h"

#include <QDesktopServices>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

QString ConfigFile(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("hqz.conf"));
}

// Clicks a row as the user would.
void ClickRow(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

} // namespace

// Receives the addresses the about windows hand to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestShellWindows : public QObject
{
    Q_OBJECT

    QTemporaryDir config;
    UrlRecorder urls;
    QStringList asked;
    bool answer = false;
    QList<QPair<QString, QStringList>> launched;
    int ended = 0;
    QString launchFailure;
    QStringList errors;

    ThemeForm *OpenTheme()
    {
        ThemeForm *form = Forms().ShowOrRaise<ThemeForm>();
        if (!QTest::qWaitForWindowExposed(form))
            qWarning("theme window not exposed");
        return form;
    }

    static QListWidget *List(QWidget *form, const char *name) { return form->findChild<QListWidget *>(name); }
    static QPushButton *Button(QWidget *form, const char *name) { return form->findChild<QPushButton *>(name); }

private slots:
    void initTestCase()
    {
        // Before the first settings access, so nothing of the user's is read or written.
        QVERIFY(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        ShellWiring::Install();
        Dialogs::SetAskHandler([this](const QString &text) {
            asked << text;
            return answer;
        });
        ShellWiring::SetRestartSeam(
            [this](const QString &program, const QStringList &arguments) {
                launched.append({program, arguments});
                return launchFailure;
            },
            [this] { ++ended; });
        for (const char *scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &urls, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void init()
    {
        QFile::remove(ConfigFile(config));
        asked.clear();
        answer = false;
        launched.clear();
        launchFailure.clear();
        errors.clear();
        ended = 0;
        urls.opened.clear();
    }

    void cleanup()
    {
        Forms().DeleteAll();
        RunDeferredDeletes();
    }

    void themeOpensOnTheStoredChoice_data()
    {
        QTest::addColumn<QString>("digits"); // empty: not stored
        QTest::addColumn<QString>("face");
        QTest::addColumn<QString>("digitText");
        QTest::addColumn<QString>("faceText");
        QTest::newRow("nothing stored") << ""
                                        << ""
                                        << "White"
                                        << "Silver";
        QTest::newRow("2 and 3") << "2"
                                 << "3"
                                 << "Orange"
                                 << "Brass";
        QTest::newRow("1 and 2") << "1"
                                 << "2"
                                 << "Red"
                                 << "Metalic Blue";
        QTest::newRow("leading number") << "3 "
                                        << "1x"
                                        << "Green"
                                        << "Gold";
        QTest::newRow("outside 0-3") << "4"
                                     << "-1"
                                     << "White"
                                     << "Silver";
        QTest::newRow("not a number") << "abc"
                                      << ""
                                      << "White"
                                      << "Silver";
    }

    void themeOpensOnTheStoredChoice()
    {
        QFETCH(QString, digits);
        QFETCH(QString, face);
        QFETCH(QString, digitText);
        QFETCH(QString, faceText);
        if (!digits.isEmpty())
            Settings::Write(Settings::Digits, digits);
        if (!face.isEmpty())
            Settings::Write(Settings::Face, face);

        ThemeForm *form = OpenTheme();
        QCOMPARE(List(form, "DigitList")->currentItem()->text(), digitText);
        QCOMPARE(List(form, "FaceList")->currentItem()->text(), faceText);
        QVERIFY(List(form, "DigitList")->currentItem()->isSelected());
        QVERIFY(List(form, "FaceList")->currentItem()->isSelected());
    }

    void saveWritesTheChoiceAndNoKeepsTheWindow()
    {
        Settings::Write(Settings::Digits, QStringLiteral("2"));
        Settings::Write(Settings::Face, QStringLiteral("3"));
        ThemeForm *form = OpenTheme();
        // Saved unchanged, the stored values are written back as they were.
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);
        QCOMPARE(asked, QStringList{ThemeForm::RestartQuestion});
        QCOMPARE(ThemeForm::RestartQuestion,
                 QStringLiteral("Tockwise needs to be restarted for the changes to take effect. Would you like to "
                                "restart the program now?"));
        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("2"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("3"));

        ClickRow(List(form, "DigitList"), 1);
        ClickRow(List(form, "FaceList"), 0);
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);
        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("1"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("0"));
        RunDeferredDeletes();
        QCOMPARE(Forms().Find<ThemeForm>(), form);
        QVERIFY(form->isVisible());
        QVERIFY(launched.isEmpty());
        QCOMPARE(ended, 0);
    }

    // A new copy that cannot be started (its program file gone after an
    // upgrade) leaves this one running: the user keeps a clock and alarms.
    void saveAnsweredYesRestarts_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("endings");
        QTest::newRow("new copy started") << QString() << 1;
        QTest::newRow("new copy cannot start") << QStringLiteral("No such file or directory") << 0;
    }
    void saveAnsweredYesRestarts()
    {
        QFETCH(QString, failure);
        QFETCH(int, endings);
        launchFailure = failure;
        Dialogs::SetErrorHandler([this](const QString &text) { errors << text; });
        ThemeForm *form = OpenTheme();
        answer = true;
        ClickRow(List(form, "DigitList"), 1);
        ClickRow(List(form, "FaceList"), 1);
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);

        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("1"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("1"));
        QCOMPARE(launched.size(), 1);
        QCOMPARE(launched.first().first, QCoreApplication::applicationFilePath());
        QCOMPARE(launched.first().second, QStringList{"restart"});
        QCOMPARE(ended, endings);
        QCOMPARE(errors.size(), 1 - endings);
        if (!failure.isEmpty())
            QVERIFY(errors.first().contains(failure));
        Dialogs::SetErrorHandler({});
        RunDeferredDeletes();
        QVERIFY(!Forms().Find<ThemeForm>());
    }

    void cancelAndCloseStoreNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("close box") << "close box";
        QTest::newRow("Escape") << "Escape";
    }

    void cancelAndCloseStoreNothing()
    {
        QFETCH(QString, how);
        ThemeForm *form = OpenTheme();
        ClickRow(List(form, "DigitList"), 3);
        ClickRow(List(form, "FaceList"), 2);
        if (how == "close box")
            form->close();
        else if (how == "Escape")
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form, Qt::Key_Escape);
        else
            QTest::mouseClick(Button(form, "CancelButton"), Qt::LeftButton);
        RunDeferredDeletes();

        QVERIFY(!Forms().Find<ThemeForm>());
        QVERIFY(!QFile::exists(ConfigFile(config)));
        QVERIFY(asked.isEmpty());
        // Opened again, it shows what is stored, not what was chosen.
        form = OpenTheme();
        QCOMPARE(List(form, "DigitList")->currentRow(), 0);
        QCOMPARE(List(form, "FaceList")->currentRow(), 0);
    }

    void themeFocusOrder()
    {
        ThemeForm *form = OpenTheme();
        const QStringList order = FocusOrder(List(form, "DigitList"), 4);
        QCOMPARE(order, QStringList({"DigitList", "FaceList", "SaveButton", "CancelButton"}));
        QVERIFY(!Button(form, "SaveButton")->isDefault() && !Button(form, "SaveButton")->autoDefault());
        QVERIFY(!Button(form, "CancelButton")->isDefault() && !Button(form, "CancelButton")->autoDefault());
    }

    void aboutLinkOpensTheSite_data()
    {
        QTest::addColumn<bool>("maker");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("opened");

        QTest::newRow("maker, on the address") << true << QPoint(630, 428) << 1 << 1;
        QTest::newRow("maker, area corner") << true << QPoint(528, 416) << 1 << 1;
        QTest::newRow("maker, three clicks") << true << QPoint(600, 430) << 3 << 3;
        QTest::newRow("maker, just left of it") << true << QPoint(527, 428) << 1 << 0;
        QTest::newRow("maker, just below it") << true << QPoint(630, 441) << 1 << 0;
        QTest::newRow("maker, on the picture") << true << QPoint(100, 100) << 2 << 0;
        QTest::newRow("family, on the address") << false << QPoint(180, 326) << 1 << 1;
        QTest::newRow("family, far corner") << false << QPoint(320, 338) << 2 << 2;
        QTest::newRow("family, just above it") << false << QPoint(180, 313) << 1 << 0;
        QTest::newRow("family, on the picture") << false << QPoint(600, 100) << 1 << 0;
    }

    void aboutLinkOpensTheSite()
    {
        QFETCH(bool, maker);
        QFETCH(QPoint, point);
        QFETCH(int, clicks);
        QFETCH(int, opened);

        QWidget *form = maker ? static_cast<QWidget *>(Forms().ShowOrRaise<AdForm>())
                              : static_cast<QWidget *>(Forms().ShowOrRaise<PersonalForm>());
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QCOMPARE(form->size(), maker ? QSize(750, 469) : QSize(750, 500));
        // Through the window, so the click lands on whatever lies at the point.
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, point);

        const QUrl site = maker ? Artwork::MakerSite() : Artwork::ProductFamilySite();
        QCOMPARE(urls.opened, QList<QUrl>(opened, site));
        QVERIFY(form->isVisible());

        // Escape closes it as its close box does.
        QTest::keyClick(form, Qt::Key_Escape);
        RunDeferredDeletes();
        QVERIFY(maker ? !Forms().Find<AdForm>() : !Forms().Find<PersonalForm>());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the clock starts
        QTest::addColumn<QString>("out");  // the start of standard output
        QTest::addColumn<QString>("err");

        const QString version = QStringLiteral("tockwise " TOCKWISE_EXPECTED_VERSION "\n");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tockwise" << QString();
        QTest::newRow("-h after restart") << QStringList{"restart", "-h"} << 0 << "Usage: tockwise" << QString();
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("--bogus") << QStringList{"--bogus"} << 2 << ""
                                 << "tockwise: unknown option '--bogus' (try 'tockwise --help')\n";
        QTest::newRow("-x before --help") << QStringList{"-x", "--help"} << 2 << ""
                                          << "tockwise: unknown option '-x' (try 'tockwise --help')\n";
        QTest::newRow("restart") << QStringList{"restart"} << -1 << QString() << QString();
        QTest::newRow("nothing") << QStringList{} << -1 << QString() << QString();
        // Qt's own options reach Qt; a value that looks like an option is Qt's too.
        QTest::newRow("-session ID") << QStringList{"-session", "10a7b1e", "restart"} << -1 << QString() << QString();
        QTest::newRow("--style=fusion") << QStringList{"--style=fusion"} << -1 << QString() << QString();
        QTest::newRow("-qwindowtitle -x") << QStringList{"-qwindowtitle", "-x"} << -1 << QString() << QString();
        QTest::newRow("-sessionx") << QStringList{"-sessionx"} << 2 << ""
                                   << "tockwise: unknown option '-sessionx' (try 'tockwise --help')\n";
        QTest::newRow("another word") << QStringList{"now"} << -1 << QString() << QString();
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        std::vector<std::string> words{"/usr/bin/tockwise"};
        for (const QString &a : arguments)
            words.push_back(a.toStdString());
        std::vector<const char *> argv;
        for (const std::string &w : words)
            argv.push_back(w.c_str());
        argv.push_back(nullptr);

        std::ostringstream stdOut, stdErr;
        const std::optional<int> result = CommandLine::Handle(int(words.size()), argv.data(), stdOut, stdErr);
        QCOMPARE(result.value_or(-1), exitCode);
        QVERIFY2(QString::fromStdString(stdOut.str()).startsWith(out), stdOut.str().c_str());
        if (out.startsWith(QLatin1String("Usage"))) {
            // What a user needs to find the files and the autostart folder.
            for (const char *needle : {"restart", "$XDG_DATA_HOME/tockwise/Alarms.dat", "~/.local/share/tockwise/",
                                       "$XDG_CONFIG_HOME/hqz.conf", "~/.config/hqz.conf", "~/.config/autostart/"})
                QVERIFY2(stdOut.str().find(needle) != std::string::npos, needle);
        } else if (out.isEmpty()) {
            QVERIFY(stdOut.str().empty());
        } else {
            QCOMPARE(QString::fromStdString(stdOut.str()), out);
        }
        QCOMPARE(QString::fromStdString(stdErr.str()), err);
    }
};

QTEST_MAIN(TestShellWindows)
#include "tst_shell_windows.moc"
