#pragma once

#include <QString>

// Hands a web address to the desktop, which opens it in the user's browser.
namespace BrowserLink {

// Returns at once; a failure (no browser, a bad address) is not reported.
void OpenLink(const QString &address);

} // namespace BrowserLink
