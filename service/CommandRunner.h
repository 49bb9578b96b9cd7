#pragma once

#include <QString>
#include <QStringList>

#include <iosfwd>

// Runs a command given on the command line: through the running clock where
// one answers, else on Alarms.dat itself while holding the single-copy lock.
namespace CommandRunner {

struct Command
{
    QStringList words; // as AlarmCommands::Execute reads them
    QString file;      // --export and --import: the file, "-" for standard output or input
    QString autostart; // "autostart": "on", "off" or empty to ask
    QString syncUrl;      // "sync-setup": the calendar's URL,
    QString syncUser;     // the user on the server
    QString passwordFile; // and the password's file, empty for the keyring
};

int Run(const Command &command, std::ostream &out, std::ostream &err);

} // namespace CommandRunner
