#pragma once

#include <QString>

#include <iosfwd>

// Starting the program at login: the desktop entry in
// $XDG_CONFIG_HOME/autostart/, written, removed or asked after.
namespace Autostart {

// value "on", "off", or empty to ask which; the command's exit status.
int Run(const QString &value, std::ostream &out, std::ostream &err);

// The entry's path: $XDG_CONFIG_HOME/autostart/<desktop id>.desktop.
QString Path();

} // namespace Autostart
