#include "ui/BrowserLink.h"

#include <QDesktopServices>
#include <QUrl>

namespace BrowserLink {

void OpenLink(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address));
}

} // namespace BrowserLink
