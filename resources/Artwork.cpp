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

QImage Picture(const QString &name)
{
    return QImage(QStringLiteral(":/pictures/%1").arg(name));
}

QIcon ProgramIcon()
{
    return QIcon(
        QStringLiteral(":/icons/%1").arg(QLatin1String(kProgramIconPng.data(), qsizetype(kProgramIconPng.size()))));
}

QString ProgramIconSvgPath()
{
    return QStringLiteral(":/icons/%1").arg(QLatin1String(kProgramIconSvg.data(), qsizetype(kProgramIconSvg.size())));
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
