#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Pictures by number and custom blocks by name, as the windows ask for them.
namespace Artwork {
QImage Bitmap(int number);
QByteArray CustomResource(const QString &name);
} // namespace Artwork
