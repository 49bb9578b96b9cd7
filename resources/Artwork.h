#pragma once

#include "resources/ArtworkConstants.h"

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QUrl>

// Pictures by number and custom blocks by name, as the windows ask for them.
// A missing picture comes back null and a missing block empty; callers decide.
// With a device pixel ratio above 1 the double-resolution drawing ("@2x") is
// returned, its ratio set to 2, so it covers the same logical size.
namespace Artwork {

// Faces, segment and colon images: ":/bitmaps/<number>.png".
QImage Bitmap(int number, qreal devicePixelRatio = 1.0);
// Raw custom blocks such as kRegionResourceName: ":/custom/<name>".
QByteArray CustomResource(const QString &name);
// Window pictures such as kNotificationPicture or kAdPicture: ":/pictures/<name>".
QImage Picture(const QString &name, qreal devicePixelRatio = 1.0);
// The pointing hand of the about windows' links, from the double-resolution
// drawing on a high-density screen; the system's hand if the picture is missing.
QCursor LinkCursor(qreal devicePixelRatio = 1.0);
// The chime built into the program, played when Chime1.wav cannot be.
QUrl BuiltInChime();
// The program's icon for its windows and the tray.
QIcon ProgramIcon();
// Resource path of the scalable icon, for installing it with the desktop entry.
QString ProgramIconSvgPath();
// The web sites the about windows open.
QUrl MakerSite();
QUrl ProductFamilySite();

} // namespace Artwork
