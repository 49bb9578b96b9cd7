#pragma once

#include "service/AlarmCommands.h"

#include <QString>

// Starting the program at login: the desktop entry in
// $XDG_CONFIG_HOME/autostart/, written, removed or asked after.
namespace Autostart {

// value "on", "off", or empty to ask which.
AlarmCommands::Reply Run(const QString &value);

// The entry's path: $XDG_CONFIG_HOME/autostart/<desktop id>.desktop.
QString Path();

} // namespace Autostart
