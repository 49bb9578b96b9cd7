#include "service/CommandLine.h"
#include "shell/ClockApplication.h"

int main(int argc, char *argv[])
{
    // Help, the version and the commands need no display and start no clock.
    if (const auto exitCode = CommandLine::Handle(argc, argv))
        return *exitCode;
    ClockApplication clock(argc, argv);
    return clock.Exec();
}
