#pragma once

#include <iosfwd>
#include <optional>

// The options a user may give on a terminal, read from the plain argument list
// before the application object exists, so asking for help or the version needs
// no display, starts no clock and leaves a running copy alone.
namespace CommandLine {

// The usage text printed by --help.
const char *Usage();

// An exit code when the command line is answered here (help, version, an
// unknown option); nothing when the clock should start. The word "restart"
// and any other word are left for the start-up to read.
std::optional<int> Handle(int argc, const char *const argv[], std::ostream &out, std::ostream &err);
std::optional<int> Handle(int argc, char *argv[]);

} // namespace CommandLine
