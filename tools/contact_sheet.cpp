// contact_sheet OUTPUT.png
// Lays every embedded picture out on one sheet, with finished clocks composed the
// way the clock window composes them, so the artwork can be judged by eye.

#include "resources/Artwork.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTextStream>

#include <array>
#include <string_view>

namespace {

constexpr int kMargin = 16;
constexpr int kWidth = 1700;

QString Name(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// Face, then the digits and the colon OR-ed onto it, as the clock draws them.
QImage Clock(int face, int set, const std::array<int, 4> &digits, int level)
{
    QImage clock = Artwork::Bitmap(Artwork::FaceNumber(face)).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&clock);
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const int cells[4] = {0, 1, 3, 4};
    for (int p = 0; p < 4; ++p) {
        for (int s = 0; s < Artwork::kSegmentCount; ++s) {
            const bool lit = (Artwork::kSegmentPatterns[size_t(digits[size_t(p)])] >> s) & 1;
            painter.drawImage(QPoint(Artwork::kCellLeft[size_t(cells[p])], Artwork::kCellTop),
                              Artwork::Bitmap(Artwork::SegmentNumber(set, s, lit ? level : 0)));
        }
    }
    painter.drawImage(QPoint(Artwork::kCellLeft[2], Artwork::kCellTop), Artwork::Bitmap(Artwork::ColonNumber(set)));
    return clock;
}

class Sheet
{
public:
    Sheet()
        : m_image(kWidth, 3000, QImage::Format_RGB32)
        , m_painter(&m_image)
    {
        m_image.fill(QColor(96, 104, 112));
        m_painter.setFont(QFont(QStringLiteral("Arial"), 10));
    }

    void Heading(const QString &text)
    {
        NewRow();
        m_painter.setPen(Qt::white);
        m_painter.drawText(QPoint(kMargin, m_y + 14), text);
        m_y += 22;
    }

    void Place(const QImage &image, int zoom = 1, const QString &caption = {})
    {
        const QSize size = image.size() * zoom;
        if (m_x + size.width() > kWidth - kMargin)
            NewRow();
        m_painter.drawImage(QRect(QPoint(m_x, m_y), size), image);
        if (!caption.isEmpty()) {
            m_painter.setPen(QColor(230, 230, 230));
            m_painter.drawText(QPoint(m_x, m_y + size.height() + 13), caption);
        }
        m_x += size.width() + 10;
        m_rowHeight = std::max(m_rowHeight, size.height() + (caption.isEmpty() ? 0 : 16));
    }

    void NewRow()
    {
        if (m_x > kMargin)
            m_y += m_rowHeight + 10;
        m_x = kMargin;
        m_rowHeight = 0;
    }

    QImage Finish()
    {
        NewRow();
        m_painter.end();
        return m_image.copy(0, 0, kWidth, m_y + kMargin);
    }

private:
    QImage m_image;
    QPainter m_painter;
    int m_x = kMargin;
    int m_y = kMargin;
    int m_rowHeight = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        QTextStream(stderr) << "usage: contact_sheet OUTPUT.png\n";
        return 2;
    }
    Sheet sheet;
    sheet.Heading(QStringLiteral("Faces 1001-1004 (x2)"));
    for (int f = 0; f < Artwork::kFaceCount; ++f)
        sheet.Place(Artwork::Bitmap(Artwork::FaceNumber(f)), 2, QString::fromLatin1(Artwork::kFaceNames[size_t(f)]));

    sheet.Heading(QStringLiteral("Finished clocks: every face with every digit set, 12:34 and 09:58 (x2)"));
    for (int f = 0; f < Artwork::kFaceCount; ++f) {
        for (int set = 0; set < Artwork::kDigitSetCount; ++set)
            sheet.Place(Clock(f, set, set % 2 ? std::array{0, 9, 5, 8} : std::array{1, 2, 3, 4}, 4), 2);
        sheet.NewRow();
    }
    sheet.Heading(QStringLiteral("Fading 8 -> levels 1 to 4 (x2)"));
    for (int level = 1; level <= 4; ++level)
        sheet.Place(Clock(0, 2, {8, 8, 8, 8}, level), 2);

    sheet.Heading(QStringLiteral("Segment images by set: segment 0..6 at levels 0..4, then the colon (x2)"));
    for (int set = 0; set < Artwork::kDigitSetCount; ++set) {
        for (int n = 0; n <= Artwork::kColonOffset; ++n)
            sheet.Place(Artwork::Bitmap(Artwork::DigitSetBase(set) + n), 2);
        sheet.NewRow();
    }
    sheet.Heading(QStringLiteral("Window pictures and the program icon (x1, icon also x4)"));
    sheet.Place(Artwork::Picture(Name(Artwork::kNotificationPicture)), 1, QStringLiteral("notification"));
    sheet.Place(Artwork::Picture(Name(Artwork::kMissedPicture)), 1, QStringLiteral("missed panel"));
    sheet.Place(Artwork::Picture(Name(Artwork::kBannerPicture)), 1, QStringLiteral("banner"));
    const QImage icon = Artwork::ProgramIcon().pixmap(Artwork::kProgramIconSize).toImage();
    sheet.Place(icon, 1);
    sheet.Place(icon, 4, QStringLiteral("icon"));
    // The scalable icon beside it, drawn at the same zoom (when Qt's SVG reader is installed).
    QImageReader svg(Artwork::ProgramIconSvgPath());
    svg.setScaledSize(Artwork::kProgramIconSize * 4);
    const QImage scalable = svg.read();
    if (!scalable.isNull())
        sheet.Place(scalable, 1, QStringLiteral("scalable icon"));
    sheet.NewRow();
    sheet.Place(Artwork::Picture(Name(Artwork::kAdPicture)), 1, QStringLiteral("about the maker"));
    sheet.Place(Artwork::Picture(Name(Artwork::kPersonalPicture)), 1, QStringLiteral("about the product family"));

    const QString out = app.arguments().at(1);
    if (!sheet.Finish().save(out)) {
        QTextStream(stderr) << "contact_sheet: cannot write " << out << '\n';
        return 1;
    }
    return 0;
}
