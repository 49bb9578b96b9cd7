#include "ui/ShellRequests.h"

namespace {
ShellRequests none;
ShellRequests *installed = nullptr;
} // namespace

ShellRequests &ShellRequests::Get()
{
    return installed ? *installed : none;
}

void ShellRequests::Install(ShellRequests *shell)
{
    installed = shell;
}
