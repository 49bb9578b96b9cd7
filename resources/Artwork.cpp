#include "resources/Artwork.h"

#include <QFile>

namespace Artwork {

QImage Bitmap(int number)
{
    return QImage(QStringLiteral(":/bitmaps/%1.png").arg(number));
}

QByteArray CustomResource(const QString &name)
{
    QFile file(QStringLiteral(":/custom/%1").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace Artwork
