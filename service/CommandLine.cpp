#include "service/CommandLine.h"

#include "engine/AlarmWords.h"

#include "service/AlarmCommands.h"
#include "service/CommandRunner.h"

#include <QCoreApplication>
#include <QDate>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#ifndef TOCKWISE_VERSION
#error "TOCKWISE_VERSION must be defined by the build"
#endif

namespace CommandLine {

namespace {

// The options Qt itself reads and removes when the application object is
// made. They pass untouched: a session manager restores the clock at login
// with "-session ID", and -platform or -display are how a user picks a screen.
struct QtOption
{
    std::string_view name;
    bool takesValue;
};
constexpr QtOption QtOptions[] = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true},  {"-plugin", true},
    {"-session", true},  {"-qwindowgeometry", true},    {"-qwindowicon", true},    {"-qwindowtitle", true},
    {"-display", true},  {"-geometry", true},           {"-style", true},          {"-stylesheet", true},
    {"-reverse", false}, {"-widgetcount", false},       {"-qmljsdebugger", false},
};

// The Qt option an argument names (Qt also takes "--name" and "-name=value"),
// or nullptr.
const QtOption *FindQtOption(std::string_view arg)
{
    if (arg.starts_with("--"))
        arg.remove_prefix(1);
    arg = arg.substr(0, arg.find('='));
    for (const QtOption &option : QtOptions) {
        if (option.name == arg)
            return &option;
    }
    return nullptr;
}

// The options that run a command on the alarms rather than start the clock.
bool IsCommandOption(std::string_view arg)
{
    for (std::string_view option : {"--list",
                                    "--add",
                                    "--remove",
                                    "--enable",
                                    "--disable",
                                    "--export",
                                    "--import",
                                    "--snooze-all",
                                    "--dismiss-all",
                                    "--autostart",
                                    "--wake-from-suspend",
                                    "--at",
                                    "--daily",
                                    "--weekdays",
                                    "--weekly",
                                    "--on",
                                    "--days",
                                    "--rule",
                                    "--zone",
                                    "--skip",
                                    "--unskip",
                                    "--disabled",
                                    "--sync-setup",
                                    "--sync-now",
                                    "--sync-off",
                                    "--user",
                                    "--password-file",
                                    "--alarm-volume"}) {
        if (arg == option)
            return true;
    }
    return false;
}

int usageError(std::ostream &err, const QString &why)
{
    err << "tockwise: " << why.toStdString() << " (try 'tockwise --help')\n";
    err.flush();
    return 2;
}

// The command the arguments from first on give, or the usage error.
int parseCommand(const std::vector<std::string_view> &args, CommandRunner::Command *command, std::ostream &err)
{
    QString name, at, day, kind, zone;
    bool disabled = false;
    bool hasDay = false;
    // An option where a value should be is a value left out: "--add --at
    // 07:30" lacks the name rather than naming an alarm "--at".
    const auto value = [&](size_t &i, QString *into) {
        if (i + 1 >= args.size() || IsCommandOption(args[i + 1]))
            return false;
        ++i;
        *into = QString::fromUtf8(args[i].data(), qsizetype(args[i].size()));
        return true;
    };
    QStringList words;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const QString option = QString::fromUtf8(arg.data(), qsizetype(arg.size()));
        QString v;
        const auto setCommand = [&](const QStringList &w) {
            if (!words.isEmpty())
                return false;
            words = w;
            return true;
        };
        if (arg == "--list" || arg == "--dismiss-all" || arg == "--sync-now" || arg == "--sync-off") {
            if (!setCommand({option.mid(2)}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--add") {
            if (!value(i, &name))
                return usageError(err, QStringLiteral("the alarm's name is missing: --add NAME --at HH:MM ..."));
            if (!setCommand({QStringLiteral("add")}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--skip" || arg == "--unskip") {
            if (!value(i, &v))
                return usageError(err, QStringLiteral("%1 needs the number of an alarm").arg(option));
            if (AlarmCommands::ParseNumber(v) < 1)
                return usageError(err, QStringLiteral("'%1' is no alarm number").arg(v));
            QString date = QStringLiteral("-");
            if (i + 1 < args.size() && !args[i + 1].starts_with('-'))
                value(i, &date);
            else if (arg == "--unskip")
                return usageError(err, QStringLiteral("--unskip needs the number of an alarm and a date YYYY-MM-DD"));
            if (!setCommand({option.mid(2), v, date}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--zone") {
            if (!value(i, &zone))
                return usageError(err, QStringLiteral("--zone needs a time zone such as Europe/Berlin"));
        } else if (arg == "--remove" || arg == "--enable" || arg == "--disable") {
            if (!value(i, &v))
                return usageError(err, QStringLiteral("%1 needs the number of an alarm").arg(option));
            if (!setCommand({option.mid(2), v}))
                return usageError(err, QStringLiteral("one command at a time"));
            if (AlarmCommands::ParseNumber(v) < 1)
                return usageError(err, QStringLiteral("'%1' is no alarm number").arg(v));
        } else if (arg == "--export" || arg == "--import") {
            if (!value(i, &command->file) || !setCommand({option.mid(2)}))
                return usageError(err,
                                  QStringLiteral("%1 needs a file, or - for standard input or output").arg(option));
        } else if (arg == "--snooze-all") {
            QString minutes = QStringLiteral("10");
            if (i + 1 < args.size() && !args[i + 1].starts_with('-'))
                value(i, &minutes);
            const int m = AlarmCommands::ParseNumber(minutes);
            if (m < 1 || m > 1440)
                return usageError(err, QStringLiteral("a snooze lasts 1 to 1440 minutes, not '%1'").arg(minutes));
            if (!setCommand({QStringLiteral("snooze-all"), QString::number(m)}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--autostart") {
            if (i + 1 < args.size() && (args[i + 1] == "on" || args[i + 1] == "off"))
                value(i, &command->autostart);
            else if (i + 1 < args.size() && !args[i + 1].starts_with('-'))
                return usageError(err, QStringLiteral("--autostart takes on or off"));
            if (!setCommand({QStringLiteral("autostart")}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--wake-from-suspend") {
            QString state;
            if (i + 1 < args.size() && (args[i + 1] == "on" || args[i + 1] == "off"))
                value(i, &state);
            else if (i + 1 < args.size() && !args[i + 1].starts_with('-'))
                return usageError(err, QStringLiteral("--wake-from-suspend takes on or off"));
            if (!setCommand({QStringLiteral("wake-from-suspend"), state}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--alarm-volume") {
            QString level;
            if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
                value(i, &level);
                if (AlarmCommands::ParseAlarmVolume(level) < 0)
                    return usageError(
                        err, QStringLiteral("--alarm-volume takes 1 to 100, or 0 or off, not '%1'").arg(level));
            }
            if (!setCommand({QStringLiteral("alarm-volume"), level}))
                return usageError(err, QStringLiteral("one command at a time"));
        } else if (arg == "--sync-setup") {
            if (!value(i, &command->syncUrl) || !setCommand({QStringLiteral("sync-setup")}))
                return usageError(err, QStringLiteral("--sync-setup needs the URL of a calendar, and comes alone"));
        } else if (arg == "--user") {
            if (!value(i, &command->syncUser))
                return usageError(err, QStringLiteral("--user needs the user name on the calendar server"));
        } else if (arg == "--password-file") {
            if (!value(i, &command->passwordFile))
                return usageError(err, QStringLiteral("--password-file needs a file"));
        } else if (arg == "--at") {
            if (!value(i, &at))
                return usageError(err, QStringLiteral("--at needs a time HH:MM"));
        } else if (arg == "--daily" || arg == "--weekdays" || arg == "--weekly" || arg == "--on" || arg == "--days" ||
                   arg == "--rule") {
            if (!kind.isEmpty())
                return usageError(err, QStringLiteral("one of --daily, --weekdays, --weekly DAY, --on DATE, "
                                                      "--days DAYS, --rule RULE"));
            kind = arg == "--daily"      ? QStringLiteral("daily")
                   : arg == "--weekdays" ? QStringLiteral("weekdays")
                   : arg == "--weekly"   ? QStringLiteral("weekly")
                   : arg == "--days"     ? QStringLiteral("days")
                   : arg == "--rule"     ? QStringLiteral("rule")
                                         : QStringLiteral("once");
            const bool takes = arg == "--weekly" || arg == "--on" || arg == "--days" || arg == "--rule";
            if (takes && !value(i, &day))
                return usageError(err, QStringLiteral("%1 needs %2")
                                           .arg(option, arg == "--on"     ? "a date"
                                                        : arg == "--days" ? "days such as mon,wed,fri"
                                                        : arg == "--rule" ? "a rule such as FREQ=MONTHLY;BYDAY=1MO"
                                                                          : "a day"));
            hasDay = takes;
        } else if (arg == "--disabled") {
            disabled = true;
        } else if (const QtOption *qtOption = FindQtOption(arg)) {
            if (qtOption->takesValue && arg.find('=') == std::string_view::npos)
                ++i;
        } else {
            return usageError(err, QStringLiteral("'%1' does not go with a command").arg(option));
        }
    }
    const bool settingUp = words.value(0) == QLatin1String("sync-setup");
    if (!settingUp && (!command->syncUser.isEmpty() || !command->passwordFile.isEmpty()))
        return usageError(err, QStringLiteral("--user and --password-file go with --sync-setup"));
    if (settingUp && command->syncUser.isEmpty())
        return usageError(err, QStringLiteral("--sync-setup needs --user NAME"));
    const bool adding = words.value(0) == QLatin1String("add");
    if (!adding && (!at.isEmpty() || !kind.isEmpty() || disabled || !zone.isEmpty()))
        return usageError(err, QStringLiteral("--at, --daily, --weekdays, --weekly, --on, --days, --rule, --zone and "
                                              "--disabled go with --add"));
    if (adding) {
        if (at.isEmpty() || kind.isEmpty())
            return usageError(err, QStringLiteral("--add needs --at HH:MM and one of --daily, --weekdays, "
                                                  "--weekly DAY, --on YYYY-MM-DD, --days DAYS, --rule RULE"));
        if (kind == QLatin1String("weekly") && AlarmCommands::ParseWeekDay(day) < 0)
            return usageError(err,
                              QStringLiteral("'%1' is no day of the week (Monday ... Sunday, or 1 ... 7)").arg(day));
        const QString state = disabled ? QStringLiteral("disabled") : QStringLiteral("enabled");
        if (kind == QLatin1String("days") || kind == QLatin1String("rule") || !zone.isEmpty()) {
            // A rule of any days, of RFC 5545, or in another zone: the kinds
            // become rules, which the alarm store turns back into kinds where
            // they say it all.
            QString recur, start = QStringLiteral("-");
            if (kind == QLatin1String("days")) {
                QStringList codes;
                for (const QString &d : day.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    const int w = AlarmCommands::ParseWeekDay(d.trimmed());
                    if (w < 0)
                        return usageError(err, QStringLiteral("'%1' is no day of the week (mon ... sun)").arg(d));
                    if (!codes.contains(AlarmWords::DayCode(w)))
                        codes.append(AlarmWords::DayCode(w));
                }
                if (codes.isEmpty())
                    return usageError(err, QStringLiteral("--days needs days such as mon,wed,fri"));
                recur = QStringLiteral("FREQ=WEEKLY;BYDAY=") + codes.join(QLatin1Char(','));
            } else if (kind == QLatin1String("rule")) {
                recur = day.startsWith(QLatin1String("RRULE:"), Qt::CaseInsensitive) ? day.mid(6) : day;
            } else if (kind == QLatin1String("daily")) {
                recur = QStringLiteral("FREQ=DAILY");
            } else if (kind == QLatin1String("weekdays")) {
                recur = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
            } else if (kind == QLatin1String("weekly")) {
                recur = QStringLiteral("FREQ=WEEKLY;BYDAY=") + AlarmWords::DayCode(AlarmCommands::ParseWeekDay(day));
            } else {
                start = day;
            }
            words = {QStringLiteral("add-rule"),
                     name,
                     at,
                     recur.isEmpty() ? QStringLiteral("-") : recur,
                     start,
                     zone.isEmpty() ? QStringLiteral("-") : zone,
                     state};
        } else {
            words << name << kind << at << (hasDay ? day : QStringLiteral("-")) << state;
        }
    }
    command->words = words;
    return 0;
}

// A command whose output could not be written (a full disk, a closed pipe)
// failed, whatever else it did.
int finished(int status, std::ostream &out, std::ostream &err)
{
    errno = 0;
    if (!out.flush()) {
        const int reason = errno;
        out.clear();
        err << "tockwise: standard output could not be written"
            << (reason != 0 ? ": " + QString::fromLocal8Bit(std::strerror(reason)).toStdString() : std::string())
            << '\n';
        err.flush();
        return 1;
    }
    if (!err.flush())
        return 1;
    return status;
}

} // namespace

const char *Usage()
{
    return "Usage: tockwise [--help | --version | COMMAND]\n"
           "\n"
           "A desktop digital clock with named alarms. It lives in the tray; right-click\n"
           "the clock for its menu. One copy runs per user: a second start brings the\n"
           "running clock up, shown and in front, and ends at once.\n"
           "\n"
           "  -h, --help  show this help and exit\n"
           "  --version   show the version and exit\n"
           "  restart     the word the clock starts itself with after a theme change:\n"
           "              it waits a few seconds for the old copy to end, then starts\n"
           "Qt's own options (-platform, -display, -style, -session, ...) are left to Qt.\n"
           "\n"
           "Commands (through the running clock when there is one, else on Alarms.dat;\n"
           "no display needed; exit status 0 done, 1 failed, 2 a usage error):\n"
           "  --list                 one line per alarm, tab-separated: number, kind\n"
           "                         (once, daily, weekly, weekdays), HH:MM, date, weekday\n"
           "                         or -, enabled or disabled, name, and the end of its\n"
           "                         snooze (YYYY-MM-DD HH:MM local time, empty for none).\n"
           "                         Numbers count from 1 in table order and shift when an\n"
           "                         alarm is removed\n"
           "  --add NAME --at HH:MM (--daily | --weekdays | --weekly DAY | --on YYYY-MM-DD\n"
           "        | --days DAYS | --rule RULE) [--zone ZONE] [--disabled]\n"
           "                         add an alarm (DAY: Monday ... Sunday or 1 ... 7;\n"
           "                         DAYS: mon,wed,fri; RULE: an RFC 5545 rule such as\n"
           "                         FREQ=MONTHLY;BYDAY=1MO or FREQ=WEEKLY;INTERVAL=2;BYDAY=TH;\n"
           "                         ZONE: a time zone such as America/New_York, whose\n"
           "                         clock HH:MM is read on); prints its number; says so\n"
           "                         when its moment has passed (it is kept, but will\n"
           "                         not ring)\n"
           "  --remove N, --enable N, --disable N\n"
           "                         remove, enable or disable alarm N\n"
           "  --skip N [YYYY-MM-DD]  alarm N does not ring on that date (its next ring\n"
           "                         when no date is given)\n"
           "  --unskip N YYYY-MM-DD  alarm N rings on that date again\n"
           "  --export FILE          write the alarms as iCalendar (- for standard output)\n"
           "  --import FILE          add the events of an iCalendar file that map onto an\n"
           "                         alarm (- for standard input); says why it skips others\n"
           "  --snooze-all [MINUTES] snooze every open notification (10 minutes)\n"
           "  --dismiss-all          close every open notification\n"
           "  --autostart on|off     start Tockwise at login, or not; alone: which is set\n"
           "  --wake-from-suspend on|off\n"
           "                         wake a sleeping computer for the next alarm or snooze\n"
           "                         (Linux, where the system lets the program: a current\n"
           "                         systemd, or the CAP_WAKE_ALARM capability), or not;\n"
           "                         alone: which is set. Off until turned on\n"
           "  --alarm-volume N|off   while an alarm rings, unmute its sound output and\n"
           "                         raise it to at least N % (1 to 100; 70 until set),\n"
           "                         putting your own mute and volume back afterwards;\n"
           "                         0 or off leaves the output alone; alone: which is set\n"
           "  --sync-setup URL --user NAME [--password-file FILE]\n"
           "                         keep the alarms in step with a calendar on your CalDAV\n"
           "                         server (URL: the calendar collection, made if missing;\n"
           "                         https, or http to this computer only). The password\n"
           "                         is asked for and kept in the desktop keyring, or read\n"
           "                         from FILE (yours alone: chmod 600) at each sync\n"
           "  --sync-now             sync once now, and print what changed each way\n"
           "  --sync-off             stop syncing and forget the server and its password;\n"
           "                         nothing is deleted on either side\n"
           "\n"
           "Files:\n"
           "  Alarms.dat  the alarms: beside the program when that folder holds it and\n"
           "              is writable, otherwise $XDG_DATA_HOME/tockwise/Alarms.dat\n"
           "              (~/.local/share/tockwise/Alarms.dat)\n"
           "  missed-alarms.txt  the missed alarms until they are cleared:\n"
           "              $XDG_DATA_HOME/tockwise/ (~/.local/share/tockwise/)\n"
           "  hqz.conf    the settings: $XDG_CONFIG_HOME/hqz.conf (~/.config/hqz.conf)\n"
           "  sync-state  which alarm is which event on the calendar server:\n"
           "              $XDG_DATA_HOME/tockwise/ (~/.local/share/tockwise/)\n"
           "  output-volume  the mute and volume a ringing alarm changed, kept until\n"
           "              they are put back: $XDG_DATA_HOME/tockwise/\n"
           "\n"
           "An alarm rings only while the clock runs: 'tockwise --autostart on' puts its\n"
           "desktop entry in ~/.config/autostart/ so that it starts at login.\n"
           "\n"
           "While an alarm rings its sound output is unmuted and raised to the alarm\n"
           "volume (see --alarm-volume; a copy ended mid-ring puts it back at its next\n"
           "start), the computer does not go to sleep (an inhibitor from logind, and\n"
           "from the desktop's portal or screen saver where one runs), and media\n"
           "players that were playing are paused, played again when it ends.\n"
           "Each ringing alarm is also shown by the desktop's notification server, with\n"
           "Snooze 10 Minutes and Dismiss, and withdrawn when its window closes.\n"
           "\n"
           "D-Bus: the running clock owns example.varnod.Tockwise on the session bus;\n"
           "object /example/varnod/Tockwise, interface example.varnod.Tockwise.Alarms.\n";
}

std::optional<int> Handle(int argc, const char *const argv[], std::ostream &out, std::ostream &err)
{
    std::vector<std::string_view> args;
    bool command = false;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i] ? argv[i] : "");
        command = command || IsCommandOption(args.back());
    }
    if (command && std::find(args.begin(), args.end(), "--help") == args.end() &&
        std::find(args.begin(), args.end(), "-h") == args.end()) {
        CommandRunner::Command parsed;
        if (const int usage = parseCommand(args, &parsed, err))
            return usage;
        // Commands need no display: a core application, and only when none is there (tests have one).
        std::unique_ptr<QCoreApplication> app;
        int appArgc = 1;
        if (!QCoreApplication::instance())
            app = std::make_unique<QCoreApplication>(appArgc, const_cast<char **>(argv));
        return finished(CommandRunner::Run(parsed, out, err), out, err);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "--help" || arg == "-h") {
            out << Usage();
            return finished(0, out, err);
        }
        if (arg == "--version") {
            out << "tockwise " TOCKWISE_VERSION "\n";
            return finished(0, out, err);
        }
        if (const QtOption *option = FindQtOption(arg)) {
            if (option->takesValue && arg.find('=') == std::string_view::npos)
                ++i;
            continue;
        }
        if (arg.starts_with('-')) {
            err << "tockwise: unknown option '" << arg << "' (try 'tockwise --help')\n";
            err.flush();
            return 2;
        }
    }
    return std::nullopt;
}

std::optional<int> Handle(int argc, char *argv[])
{
    return Handle(argc, argv, std::cout, std::cerr);
}

} // namespace CommandLine
