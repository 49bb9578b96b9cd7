#include "resources/Artwork.h"

#include <QFile>
#include <QPixmap>

namespace Artwork {

namespace {
// On a screen with more than one device pixel per logical pixel the
// double-resolution drawing is used, so nothing is enlarged and blurred.
QImage load(const QString &folder, const QString &name, qreal devicePixelRatio)
{
    if (devicePixelRatio > 1.0) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        QImage twice(folder + name.left(dot) + QStringLiteral("@2x") + name.mid(dot));
        if (!twice.isNull()) {
            twice.setDevicePixelRatio(2.0);
            return twice;
        }
    }
    return QImage(folder + name);
}
} // namespace

QImage Bitmap(int number, qreal devicePixelRatio)
{
    return load(QStringLiteral(":/bitmaps/"), QStringLiteral("%1.png").arg(number), devicePixelRatio);
}

QByteArray CustomResource(const QString &name)
{
    QFile file(QStringLiteral(":/custom/%1").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage Picture(const QString &name, qreal devicePixelRatio)
{
    return load(QStringLiteral(":/pictures/"), name, devicePixelRatio);
}

QCursor LinkCursor(qreal devicePixelRatio)
{
    QImage image = Picture(QLatin1String(kLinkCursor.data(), qsizetype(kLinkCursor.size())), devicePixelRatio);
    if (image.isNull())
        return QCursor(Qt::PointingHandCursor);
    // The window system takes a cursor's picture and hot spot in its own
    // pixels: on a high-density screen the fine drawing at the screen's scale.
    QPoint hotSpot = kLinkCursorHotSpot;
    if (devicePixelRatio > 1.0) {
        image = image.scaled(kLinkCursorSize * devicePixelRatio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        hotSpot = (QPointF(kLinkCursorHotSpot) * devicePixelRatio).toPoint();
    }
    image.setDevicePixelRatio(1.0);
    return QCursor(QPixmap::fromImage(image), hotSpot.x(), hotSpot.y());
}

QIcon ProgramIcon()
{
    const QString png =
        QStringLiteral(":/icons/%1").arg(QLatin1String(kProgramIconPng.data(), qsizetype(kProgramIconPng.size())));
    QIcon icon(png);
    icon.addFile(QString(png).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
    return icon;
}

QString ProgramIconSvgPath()
{
    return QStringLiteral(":/icons/%1").arg(QLatin1String(kProgramIconSvg.data(), qsizetype(kProgramIconSvg.size())));
}

QUrl BuiltInChime()
{
    return QUrl(
        QStringLiteral("qrc:/sounds/%1").arg(QLatin1String(kChimeFileName.data(), qsizetype(kChimeFileName.size()))));
}

QUrl MakerSite()
{
    return QUrl(QString::fromLatin1(kMakerAddress.data(), qsizetype(kMakerAddress.size())));
}

QUrl ProductFamilySite()
{
    return QUrl(QString::fromLatin1(kProductFamilyAddress.data(), qsizetype(kProductFamilyAddress.size())));
}

} // namespace Artwork
