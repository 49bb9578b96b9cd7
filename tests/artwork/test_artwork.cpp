// The embedded artwork, the outline block and its reader, and the chime beside
// the program, checked against what the windows rely on.

#include "clockwindow/RegionBlock.h"
#include "resources/Artwork.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <cmath>

using namespace Artwork;

namespace {

QString Name(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

int Brightness(QRgb c)
{
    return qRed(c) + qGreen(c) + qBlue(c);
}

QByteArray Le32(qint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}

// The outline as the clock's design draws it: rows top to bottom (exclusive),
// columns left to right (exclusive). Written out here independently of the
// generator, so a slip in either shows up.
struct Band
{
    int top, bottom, left, right;
};
const Band kGoldenBands[] = {
    {1, 2, 19, 181},   {2, 3, 16, 184},   {3, 4, 13, 187},   {4, 5, 11, 189},  {5, 6, 10, 190},   {6, 7, 9, 191},
    {7, 8, 8, 192},    {8, 9, 7, 193},    {9, 10, 6, 194},   {10, 11, 5, 195}, {11, 13, 4, 196},  {13, 15, 3, 197},
    {15, 19, 2, 198},  {19, 51, 1, 199},  {51, 55, 2, 198},  {55, 57, 3, 197}, {57, 59, 4, 196},  {59, 60, 5, 195},
    {60, 61, 6, 194},  {61, 62, 7, 193},  {62, 63, 8, 192},  {63, 64, 9, 191}, {64, 65, 10, 190}, {65, 66, 11, 189},
    {66, 67, 13, 187}, {67, 68, 16, 184}, {68, 69, 19, 181},
};

QByteArray GoldenRegionBlock()
{
    QByteArray b;
    for (qint32 v : {200, 70, 32, 1, 27, 432, 1, 1, 199, 69})
        b += Le32(v);
    for (const Band &band : kGoldenBands)
        b += Le32(band.left) + Le32(band.top) + Le32(band.right) + Le32(band.bottom);
    return b;
}

QByteArray WithInt(QByteArray block, int offset, qint32 value)
{
    block.replace(offset, 4, Le32(value));
    return block;
}

QRegion RealOutline()
{
    const auto block = ParseRegionBlock(CustomResource(Name(kRegionResourceName)));
    return block ? RegionBlockOutline(*block) : QRegion();
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private slots:
    void bitmapExistsWithItsSize_data();
    void bitmapExistsWithItsSize();
    void pictureExistsWithItsSize_data();
    void pictureExistsWithItsSize();
    void segmentLitOnlyInsideItsBoxWithPeakColour_data();
    void segmentLitOnlyInsideItsBoxWithPeakColour();
    void colonDotsWhereTheyBelong_data();
    void colonDotsWhereTheyBelong();
    void faceBlackOutsideOutlineAndInside_data();
    void faceBlackOutsideOutlineAndInside();
    void regionBlockIsByteExact();
    void regionBandsAreSymmetric();
    void readerAcceptsTheRealBlock();
    void readerRefusesDamagedBlocks_data();
    void readerRefusesDamagedBlocks();
    void missedPanelBevel_data();
    void missedPanelBevel();
    void webAddressPrintedUnderHotArea_data();
    void webAddressPrintedUnderHotArea();
    void linkCursorPointsWithItsFingertip_data();
    void linkCursorPointsWithItsFingertip();
    void programIcon();
    void chimeBesideProgram();
};

void TestArtwork::bitmapExistsWithItsSize_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QSize>("size");
    for (int f = 0; f < kFaceCount; ++f)
        QTest::addRow("face %d", FaceNumber(f)) << FaceNumber(f) << kFaceSize;
    for (int set = 0; set < kDigitSetCount; ++set) {
        for (int n = DigitSetBase(set); n <= ColonNumber(set); ++n)
            QTest::addRow("digit %d", n) << n << kCellSize;
    }
}

void TestArtwork::bitmapExistsWithItsSize()
{
    QFETCH(int, number);
    QFETCH(QSize, size);
    const QImage image = Bitmap(number);
    QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("no bitmap %1").arg(number)));
    QCOMPARE(image.size(), size);
}

void TestArtwork::pictureExistsWithItsSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("notification") << Name(kNotificationPicture) << kNotificationSize;
    QTest::newRow("missed") << Name(kMissedPicture) << kMissedSize;
    QTest::newRow("banner") << Name(kBannerPicture) << kBannerSize;
    QTest::newRow("maker") << Name(kAdPicture) << kAdPictureSize;
    QTest::newRow("product family") << Name(kPersonalPicture) << kPersonalPictureSize;
    QTest::newRow("link cursor") << Name(kLinkCursor) << kLinkCursorSize;
}

void TestArtwork::pictureExistsWithItsSize()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage image = Picture(name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
}

void TestArtwork::linkCursorPointsWithItsFingertip_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("usual") << 1.0;
    QTest::newRow("one and a half") << 1.5;
    QTest::newRow("double resolution") << 2.0;
}

// The hot spot lies on the fingertip, the hand stands on a clear ground, and
// the pointer over a link is this picture, at either resolution.
void TestArtwork::linkCursorPointsWithItsFingertip()
{
    QFETCH(qreal, ratio);
    const QCursor cursor = Artwork::LinkCursor(ratio);
    // In the screen's own pixels, as the window system takes them.
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), (QPointF(kLinkCursorHotSpot) * ratio).toPoint());
    const QImage image = cursor.pixmap().toImage();
    QCOMPARE(image.size(), kLinkCursorSize * ratio);
    const QPoint tip = cursor.hotSpot();
    QVERIFY(qAlpha(image.pixel(tip + QPoint(int(ratio) / 2, int(ratio) / 2))) > 128);
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(image.width() - 1, image.height() - 1)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    // The fingertip is the top of the drawing.
    for (int x = 0; x < image.width(); ++x)
        QCOMPARE(qAlpha(image.pixel(x, 0)), 0);
}

void TestArtwork::segmentLitOnlyInsideItsBoxWithPeakColour_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("segment");
    QTest::addColumn<int>("level");
    for (int set = 0; set < kDigitSetCount; ++set) {
        for (int s = 0; s < kSegmentCount; ++s) {
            for (int l = 0; l < kLevelCount; ++l)
                QTest::addRow("%d set %d seg %d lvl %d", SegmentNumber(set, s, l), set, s, l) << set << s << l;
        }
    }
}

void TestArtwork::segmentLitOnlyInsideItsBoxWithPeakColour()
{
    QFETCH(int, set);
    QFETCH(int, segment);
    QFETCH(int, level);
    const QImage image = Bitmap(SegmentNumber(set, segment, level)).convertToFormat(QImage::Format_RGB32);
    const QRect box = kSegmentBoxes[size_t(segment)];
    const QRgb peak = kPeakColours[size_t(set)][size_t(level)];
    QRgb brightest = qRgb(0, 0, 0);
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) & 0xffffff;
            if (c == 0)
                continue;
            QVERIFY2(box.contains(x, y),
                     qPrintable(QStringLiteral("lit pixel (%1, %2) outside the box").arg(x).arg(y)));
            QVERIFY2(qRed(c) <= qRed(peak) && qGreen(c) <= qGreen(peak) && qBlue(c) <= qBlue(peak),
                     "a pixel brighter than the peak colour");
            ++lit;
            if (Brightness(c) > Brightness(brightest))
                brightest = c;
        }
    }
    if (level == 0) {
        QCOMPARE(lit, 0);
        return;
    }
    QCOMPARE(brightest | 0xff000000, peak | 0xff000000);
    // A bar, not a speck: most of its box is lit.
    QVERIFY2(lit * 2 > box.width() * box.height(), qPrintable(QStringLiteral("only %1 pixels lit").arg(lit)));
}

void TestArtwork::colonDotsWhereTheyBelong_data()
{
    QTest::addColumn<int>("set");
    for (int set = 0; set < kDigitSetCount; ++set)
        QTest::addRow("%d %s", ColonNumber(set), kDigitSetNames[size_t(set)]) << set;
}

void TestArtwork::colonDotsWhereTheyBelong()
{
    QFETCH(int, set);
    const QImage image = Bitmap(ColonNumber(set)).convertToFormat(QImage::Format_RGB32);
    const QRgb full = kPeakColours[size_t(set)][4] | 0xff000000;
    // The dots as placed: x 12-17, y 12-17 and y 30-35.
    const QRect dots[2] = {QRect(QPoint(12, 12), QPoint(17, 17)), QRect(QPoint(12, 30), QPoint(17, 35))};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (dots[0].contains(x, y) || dots[1].contains(x, y))
                continue;
            QVERIFY2((c & 0xffffff) == 0, qPrintable(QStringLiteral("lit pixel (%1, %2) off the dots").arg(x).arg(y)));
        }
    }
    for (const QRect &dot : dots) {
        for (int y = dot.top() + 1; y < dot.bottom(); ++y) {
            for (int x = dot.left() + 1; x < dot.right(); ++x)
                QCOMPARE(image.pixel(x, y), full);
        }
    }
}

void TestArtwork::faceBlackOutsideOutlineAndInside_data()
{
    QTest::addColumn<int>("face");
    for (int f = 0; f < kFaceCount; ++f)
        QTest::addRow("%d %s", FaceNumber(f), kFaceNames[size_t(f)]) << f;
}

void TestArtwork::faceBlackOutsideOutlineAndInside()
{
    QFETCH(int, face);
    const QImage image = Bitmap(FaceNumber(face)).convertToFormat(QImage::Format_RGB32);
    const QRegion outline = RealOutline();
    QVERIFY(!outline.isEmpty());
    // The black window from x 10 to 189 and y 10 to 59, less its rounded corners.
    const QRect inner(QPoint(10, 10), QPoint(189, 59));
    const int r = kFaceInteriorRadius;
    const QRegion interior = QRegion(inner.adjusted(r, 0, -r, 0)) + QRegion(inner.adjusted(0, r, 0, -r));
    double top = 0, bottom = 0, red = 0, green = 0, blue = 0;
    int bezel = 0, darkest = 765, brightest = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) & 0xffffff;
            if (!outline.contains(QPoint(x, y)) || interior.contains(QPoint(x, y))) {
                QVERIFY2(c == 0, qPrintable(QStringLiteral("pixel (%1, %2) should be black").arg(x).arg(y)));
                continue;
            }
            if (inner.contains(x, y))
                continue;
            ++bezel;
            // Below the highlights the metal keeps its theme's hue.
            if (Brightness(c) > 60 && Brightness(c) <= Brightness(kFaceMidTones[size_t(face)])) {
                red += qRed(c);
                green += qGreen(c);
                blue += qBlue(c);
            }
            darkest = std::min(darkest, Brightness(c));
            brightest = std::max(brightest, Brightness(c));
            if (y < 10 && x > 30 && x < 170)
                top += Brightness(c);
            if (y >= 60 && x > 30 && x < 170)
                bottom += Brightness(c);
        }
    }
    // Shaded metal, not a flat fill, lit from above.
    QVERIFY(brightest - darkest > 300);
    QVERIFY(top > bottom * 1.1);
    const QRgb mid = kFaceMidTones[size_t(face)];
    const double meanLen = std::sqrt(red * red + green * green + blue * blue);
    const double midLen =
        std::sqrt(double(qRed(mid) * qRed(mid) + qGreen(mid) * qGreen(mid) + qBlue(mid) * qBlue(mid)));
    const double cosine = (red * qRed(mid) + green * qGreen(mid) + blue * qBlue(mid)) / (meanLen * midLen);
    QVERIFY2(cosine > 0.995, qPrintable(QString::number(cosine)));
    QVERIFY(bezel > 3000);
}

void TestArtwork::regionBlockIsByteExact()
{
    const QByteArray block = CustomResource(Name(kRegionResourceName));
    QCOMPARE(block, GoldenRegionBlock());
}

void TestArtwork::regionBandsAreSymmetric()
{
    const auto block = ParseRegionBlock(CustomResource(Name(kRegionResourceName)));
    QVERIFY(block);
    QList<QPair<int, int>> spanOfRow(block->height, {0, 0});
    for (const QRect &band : block->rects) {
        QCOMPARE(band.left(), block->width - (band.right() + 1));
        for (int y = band.top(); y <= band.bottom(); ++y)
            spanOfRow[y] = {band.left(), band.right()};
    }
    for (int y = 0; y < block->height; ++y)
        QCOMPARE(spanOfRow[y], spanOfRow[block->height - 1 - y]);
    QCOMPARE(spanOfRow[0], (QPair<int, int>(0, 0)));
}

void TestArtwork::readerAcceptsTheRealBlock()
{
    const auto block = ParseRegionBlock(GoldenRegionBlock());
    QVERIFY(block);
    QCOMPARE(block->width, 200);
    QCOMPARE(block->height, 70);
    QCOMPARE(block->rects.size(), 27);
    const QRegion outline = RegionBlockOutline(*block);
    QCOMPARE(outline.boundingRect(), QRect(1, 1, 198, 68));
    QVERIFY(outline.contains(QPoint(100, 35)));
    QVERIFY(outline.contains(QPoint(1, 19)));
    QVERIFY(!outline.contains(QPoint(1, 18)));
    QVERIFY(!outline.contains(QPoint(18, 1)));
    QVERIFY(outline.contains(QPoint(19, 1)));
    QVERIFY(!outline.contains(QPoint(199, 35)));
}

void TestArtwork::readerRefusesDamagedBlocks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = GoldenRegionBlock();
    const int firstRect = 40;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("size fields only") << good.left(8);
    QTest::newRow("header cut short") << good.left(39);
    QTest::newRow("last rectangle cut short") << good.left(good.size() - 1);
    QTest::newRow("one rectangle missing") << good.left(good.size() - 16);
    QTest::newRow("trailing byte") << good + '\0';
    QTest::newRow("count too small") << WithInt(good, 16, 26);
    QTest::newRow("count too large") << WithInt(good, 16, 28);
    QTest::newRow("count zero") << WithInt(WithInt(good, 16, 0), 20, 0).left(40);
    QTest::newRow("count negative") << WithInt(good, 16, -1);
    QTest::newRow("count overflowing") << WithInt(WithInt(good, 16, 0x10000000), 20, 0);
    QTest::newRow("rectangle bytes disagree") << WithInt(good, 20, 431);
    QTest::newRow("header size wrong") << WithInt(good, 8, 31);
    QTest::newRow("not rectangles") << WithInt(good, 12, 2);
    QTest::newRow("width zero") << WithInt(good, 0, 0);
    QTest::newRow("width negative") << WithInt(good, 0, -200);
    QTest::newRow("height zero") << WithInt(good, 4, 0);
    QTest::newRow("width huge") << WithInt(good, 0, 1 << 30);
    QTest::newRow("narrower than its bands") << WithInt(good, 0, 150);
    QTest::newRow("rect right past width") << WithInt(good, firstRect + 13 * 16 + 8, 201);
    QTest::newRow("rect left negative") << WithInt(good, firstRect + 13 * 16, -1);
    QTest::newRow("rect bottom past height") << WithInt(good, firstRect + 26 * 16 + 12, 71);
    QTest::newRow("rect inverted") << WithInt(good, firstRect + 8, 10);
    QTest::newRow("rect empty") << WithInt(good, firstRect + 12, 1);
    QTest::newRow("bounds past width") << WithInt(good, 32, 250);
    QTest::newRow("rect outside bounds") << WithInt(WithInt(good, 24, 5), 28, 5);
}

void TestArtwork::readerRefusesDamagedBlocks()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!ParseRegionBlock(bytes).has_value());
}

void TestArtwork::missedPanelBevel_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("panel") << QPoint(200, 67) << kMissedPanel;
    QTest::newRow("panel inside corner") << QPoint(8, 8) << kMissedPanel;
    QTest::newRow("top edge") << QPoint(200, 0) << kMissedBevelDark;
    QTest::newRow("top bevel") << QPoint(200, 7) << kMissedBevelDark;
    QTest::newRow("left bevel") << QPoint(3, 67) << kMissedBevelDark;
    QTest::newRow("bottom bevel") << QPoint(200, 130) << kMissedBevelLight;
    QTest::newRow("bottom edge") << QPoint(200, 134) << kMissedBevelLight;
    QTest::newRow("right bevel") << QPoint(396, 67) << kMissedBevelLight;
}

void TestArtwork::missedPanelBevel()
{
    QFETCH(QPoint, at);
    QFETCH(QRgb, colour);
    const QImage image = Picture(Name(kMissedPicture));
    QCOMPARE(image.pixel(at) | 0xff000000, colour | 0xff000000);
}

void TestArtwork::webAddressPrintedUnderHotArea_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("area");
    QTest::newRow("maker") << Name(kAdPicture) << kAdLinkArea;
    QTest::newRow("product family") << Name(kPersonalPicture) << kPersonalLinkArea;
}

void TestArtwork::webAddressPrintedUnderHotArea()
{
    QFETCH(QString, name);
    QFETCH(QRect, area);
    const QImage image = Picture(name).convertToFormat(QImage::Format_RGB32);
    auto isLinkInk = [](QRgb c) { return qBlue(c) > 170 && qRed(c) < 90 && qGreen(c) < 90; };
    int inside = 0;
    QRect ink;
    const QRect around = area.adjusted(-12, -12, 12, 12);
    for (int y = around.top(); y <= around.bottom(); ++y) {
        for (int x = around.left(); x <= around.right(); ++x) {
            if (!image.rect().contains(x, y) || !isLinkInk(image.pixel(x, y)))
                continue;
            QVERIFY2(area.contains(x, y),
                     qPrintable(QStringLiteral("link ink at (%1, %2) off the hot area").arg(x).arg(y)));
            ++inside;
            ink |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY2(inside > 150, qPrintable(QString::number(inside)));
    // The address runs across most of the hot area, so a click on it lands.
    QVERIFY2(ink.width() > area.width() * 2 / 3, qPrintable(QString::number(ink.width())));
}

void TestArtwork::programIcon()
{
    const QIcon icon = ProgramIcon();
    QVERIFY(icon.availableSizes().contains(kProgramIconSize));
    const QImage image = icon.pixmap(kProgramIconSize).toImage();
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // a shape on a clear ground, not a square
    QVERIFY(qAlpha(image.pixel(24, 24)) == 255);
    QFile svg(ProgramIconSvgPath());
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg") && text.contains("viewBox=\"0 0 48 48\""));
}

void TestArtwork::chimeBesideProgram()
{
    QFile file(qEnvironmentVariable("TOCKWISE_BIN_DIR") + QLatin1Char('/') + Name(kChimeFileName));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.size() > 44);
    auto u16 = [&wav](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    auto u32 = [&wav](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(u32(4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(u16(20), quint16(1)); // PCM
    QCOMPARE(u16(22), quint16(1)); // mono
    QCOMPARE(u16(34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    const quint32 rate = u32(24);
    const quint32 frames = u32(40) / 2;
    QCOMPARE(quint32(wav.size() - 44), frames * 2);
    const double seconds = double(frames) / rate;
    QVERIFY2(seconds >= 1.0 && seconds <= 2.0, qPrintable(QString::number(seconds)));
    int peak = 0;
    for (quint32 i = 0; i < frames; ++i)
        peak = std::max(peak, std::abs(int(qint16(u16(44 + int(i) * 2)))));
    QVERIFY2(peak > 8000 && peak < 32767, qPrintable(QString::number(peak))); // audible, not clipped
    // It dies away instead of stopping with a click.
    QVERIFY(std::abs(int(qint16(u16(wav.size() - 2)))) < 200);
}

QTEST_MAIN(TestArtwork)
#include "test_artwork.moc"
