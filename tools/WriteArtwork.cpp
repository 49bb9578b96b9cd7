// Writes every generated file into one folder laid out as the resources expect.

#include "tools/ArtworkGenerator.h"

#include "resources/ArtworkConstants.h"

#include <QDir>
#include <QFile>

namespace ArtworkGenerator {
namespace {

QString Text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString Save(const QImage &image, const QString &path, const char *format, int quality = -1)
{
    if (!image.save(path, format, quality))
        return QStringLiteral("cannot write %1").arg(path);
    return {};
}

QString SaveBytes(const QByteArray &bytes, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QStringLiteral("cannot write %1").arg(path);
    return {};
}

} // namespace

QString WriteAll(const QString &folder, qreal scale)
{
    QDir dir(folder);
    for (const char *sub : {"bitmaps", "custom", "pictures", "icons"}) {
        if (!dir.mkpath(QString::fromLatin1(sub)))
            return QStringLiteral("cannot create %1/%2").arg(folder, QString::fromLatin1(sub));
    }
    // Double-resolution pictures carry the usual suffix next to the plain ones.
    const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
    auto bitmap = [&](int number) { return dir.filePath(QStringLiteral("bitmaps/%1%2.png").arg(number).arg(suffix)); };
    auto named = [&](const char *sub, std::string_view file) {
        QString name = Text(file);
        if (!suffix.isEmpty())
            name.insert(name.lastIndexOf(QLatin1Char('.')), suffix);
        return dir.filePath(QString::fromLatin1(sub) + QLatin1Char('/') + name);
    };

    QString error;
    auto step = [&error](const QString &result) {
        if (error.isEmpty())
            error = result;
    };
    for (int face = 0; face < Artwork::kFaceCount; ++face)
        step(Save(Face(face, scale), bitmap(Artwork::FaceNumber(face)), "PNG"));
    for (int set = 0; set < Artwork::kDigitSetCount; ++set) {
        for (int s = 0; s < Artwork::kSegmentCount; ++s) {
            for (int level = 0; level < Artwork::kLevelCount; ++level)
                step(Save(Segment(set, s, level, scale).convertToFormat(QImage::Format_RGB888),
                          bitmap(Artwork::SegmentNumber(set, s, level)), "PNG"));
        }
        step(Save(Colon(set, scale), bitmap(Artwork::ColonNumber(set)), "PNG"));
    }
    step(Save(NotificationBackground(scale), named("pictures", Artwork::kNotificationPicture), "PNG"));
    step(Save(MissedBackground(scale).convertToFormat(QImage::Format_Indexed8),
              named("pictures", Artwork::kMissedPicture), "PNG"));
    step(Save(Banner(scale), named("pictures", Artwork::kBannerPicture), "PNG"));
    step(Save(AdPicture(scale), named("pictures", Artwork::kAdPicture), "JPEG", 92));
    step(Save(PersonalPicture(scale), named("pictures", Artwork::kPersonalPicture), "JPEG", 92));
    step(Save(LinkCursor(scale), named("pictures", Artwork::kLinkCursor), "PNG"));
    step(Save(ProgramIcon(scale), named("icons", Artwork::kProgramIconPng), "PNG"));
    if (scale == 1) {
        // Outline, vector icon and sound do not depend on the resolution.
        step(SaveBytes(ProgramIconSvg(), named("icons", Artwork::kProgramIconSvg)));
        step(SaveBytes(RegionBlock(), dir.filePath(QStringLiteral("custom/") + Text(Artwork::kRegionResourceName))));
        step(SaveBytes(ChimeWav(), dir.filePath(Text(Artwork::kChimeFileName))));
    }
    return error;
}

} // namespace ArtworkGenerator
