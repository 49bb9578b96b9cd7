#include "shell/CommandLine.h"

#include <iostream>
#include <string_view>

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

} // namespace

const char *Usage()
{
    return "Usage: tockwise [--help | --version]\n"
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
           "Files:\n"
           "  Alarms.dat  the alarms: beside the program when that folder holds it and\n"
           "              is writable, otherwise $XDG_DATA_HOME/tockwise/Alarms.dat\n"
           "              (~/.local/share/tockwise/Alarms.dat)\n"
           "  missed-alarms.txt  the missed alarms until they are cleared:\n"
           "              $XDG_DATA_HOME/tockwise/ (~/.local/share/tockwise/)\n"
           "  hqz.conf    the settings: $XDG_CONFIG_HOME/hqz.conf (~/.config/hqz.conf)\n"
           "\n"
           "To start the clock at login, copy its desktop entry to ~/.config/autostart/:\n"
           "  mkdir -p ~/.config/autostart\n"
           "  cp /usr/share/applications/example.varnod.Tockwise.desktop ~/.config/autostart/\n"
           "(from ~/.local/share/applications/ when installed for one user).\n";
}

std::optional<int> Handle(int argc, const char *const argv[], std::ostream &out, std::ostream &err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "--help" || arg == "-h") {
            out << Usage();
            return out.flush() ? 0 : 1;
        }
        if (arg == "--version") {
            out << "tockwise " TOCKWISE_VERSION "\n";
            return out.flush() ? 0 : 1;
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
