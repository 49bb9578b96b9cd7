// Faces, digit segments and colons of the clock window.

#include "tools/ArtworkGenerator.h"

#include "resources/ArtworkConstants.h"

#include <QPainter>
#include <QPointF>
#include <QPolygonF>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ArtworkGenerator {
namespace {

struct Vec3
{
    double x, y, z;
};

double Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Normalized(Vec3 v)
{
    const double n = std::sqrt(Dot(v, v));
    return {v.x / n, v.y / n, v.z / n};
}

// A small integer hash, so the brushed texture is the same on every run.
double Hash(std::uint32_t n)
{
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    n ^= n >> 15;
    return (n & 0xffffu) / 65535.0;
}

// Smooth one-dimensional value noise in [-1, 1].
double Noise1(double x, std::uint32_t seed)
{
    const double fl = std::floor(x);
    const double f = x - fl;
    const auto i = static_cast<std::uint32_t>(static_cast<std::int64_t>(fl) + 100000);
    const double a = Hash(i * 7919u + seed);
    const double b = Hash((i + 1) * 7919u + seed);
    const double t = f * f * (3 - 2 * f);
    return 2 * (a + (b - a) * t) - 1;
}

double SegmentDistance(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    double t = len2 > 0 ? QPointF::dotProduct(p - a, ab) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::sqrt(QPointF::dotProduct(d, d));
}

// The outline's staircase, smoothed by corner cutting so the metal follows a curve
// rather than the steps.
QPolygonF SmoothOutline()
{
    QPolygonF poly;
    for (const auto &band : Artwork::kRegionBands) {
        poly << QPointF(band.right, band.top) << QPointF(band.right, band.bottom);
    }
    for (auto it = Artwork::kRegionBands.rbegin(); it != Artwork::kRegionBands.rend(); ++it) {
        poly << QPointF(it->left, it->bottom) << QPointF(it->left, it->top);
    }
    for (int round = 0; round < 3; ++round) {
        QPolygonF next;
        for (int i = 0; i < poly.size(); ++i) {
            const QPointF a = poly[i];
            const QPointF b = poly[(i + 1) % poly.size()];
            next << a * 0.75 + b * 0.25 << a * 0.25 + b * 0.75;
        }
        poly = next;
    }
    return poly;
}

// Signed distance to the rounded interior (positive outside it) and the outward direction.
double InteriorDistance(QPointF p, QPointF *outward)
{
    const QRectF r(Artwork::kFaceInterior.left(), Artwork::kFaceInterior.top(), Artwork::kFaceInterior.width(),
                   Artwork::kFaceInterior.height());
    const double radius = Artwork::kFaceInteriorRadius;
    const QPointF c = r.center();
    const double qx = std::abs(p.x() - c.x()) - (r.width() / 2 - radius);
    const double qy = std::abs(p.y() - c.y()) - (r.height() / 2 - radius);
    const double mx = std::max(qx, 0.0);
    const double my = std::max(qy, 0.0);
    const double outside = std::sqrt(mx * mx + my * my);
    const double dist = outside + std::min(std::max(qx, qy), 0.0) - radius;
    double ox = 0;
    double oy = 0;
    if (outside > 1e-9) {
        ox = mx / outside;
        oy = my / outside;
    } else if (qx > qy) {
        ox = 1;
    } else {
        oy = 1;
    }
    if (p.x() < c.x())
        ox = -ox;
    if (p.y() < c.y())
        oy = -oy;
    *outward = QPointF(ox, oy);
    return dist;
}

struct Rgb
{
    double r, g, b;
};

Rgb FromQRgb(QRgb c)
{
    return {double(qRed(c)), double(qGreen(c)), double(qBlue(c))};
}
Rgb Mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
QRgb ToQRgb(Rgb c)
{
    auto ch = [](double v) { return int(std::lround(std::clamp(v, 0.0, 255.0))); };
    return qRgb(ch(c.r), ch(c.g), ch(c.b));
}

// The colour of the metal at a given brightness: 0 black, 1 the mid-tone, 2 a
// highlight that keeps a little of the metal's tint.
Rgb MetalTone(QRgb midTone, double level)
{
    const Rgb mid = FromQRgb(midTone);
    if (level <= 1)
        return Mix({0, 0, 0}, mid, std::max(level, 0.0));
    const Rgb light = Mix(mid, {255, 255, 255}, 0.8);
    return Mix(mid, light, std::min(level - 1, 1.0));
}

} // namespace

QImage Face(int face, qreal scale)
{
    const QRgb midTone = Artwork::kFaceMidTones.at(face);
    const QSize size = Artwork::kFaceSize * scale;
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);

    QRegion outline;
    for (const auto &band : Artwork::kRegionBands)
        outline += QRect(QPoint(band.left, band.top), QPoint(band.right - 1, band.bottom - 1));
    const QPolygonF smooth = SmoothOutline();

    const Vec3 light = Normalized({-1.0, -1.2, 1.3});
    const Vec3 halfway = Normalized({light.x, light.y, light.z + 1});

    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QPointF p((x + 0.5) / scale, (y + 0.5) / scale);
            if (!outline.contains(QPoint(int(std::floor(p.x())), int(std::floor(p.y())))))
                continue;
            QPointF outward;
            const double toInterior = InteriorDistance(p, &outward);
            const double inside = std::clamp(0.5 - toInterior * scale, 0.0, 1.0);
            if (inside >= 1)
                continue;
            double toEdge = 1e9;
            for (int i = 0; i < smooth.size(); ++i)
                toEdge = std::min(toEdge, SegmentDistance(p, smooth[i], smooth[(i + 1) % smooth.size()]));

            // Position across the tube: 0 at the outer edge, 1 at the inner edge.
            const double across = std::clamp(toEdge / (toEdge + std::max(toInterior, 0.0)), 0.0, 1.0);
            // A slightly flattened round tube: the slope across it gives the normal.
            const double slope = (1 - 2 * across);
            const double tilt = std::copysign(std::pow(std::abs(slope), 1.3), slope);
            const Vec3 normal =
                Normalized({outward.x() * tilt, outward.y() * tilt, std::sqrt(std::max(0.0, 1 - tilt * tilt)) + 0.15});

            const double diffuse = std::max(0.0, Dot(normal, light));
            const double specular = std::pow(std::max(0.0, Dot(normal, halfway)), 18);
            // Polished metal mirrors its surroundings: a bright sky up and to the left, a dark floor below.
            const Vec3 reflected{2 * normal.z * normal.x, 2 * normal.z * normal.y, 2 * normal.z * normal.z - 1};
            const double horizon = std::tanh((-reflected.y - 0.6 * reflected.x + 0.1) * 5);
            const double environment = 0.5 + 0.5 * horizon;
            // The sides facing the light are brighter as a whole, those facing away darker.
            const double side =
                (outward.x() * light.x + outward.y() * light.y) / std::sqrt(light.x * light.x + light.y * light.y);

            // Fine streaks running along the tube, as left by brushing.
            const double streak = 0.10 * Noise1(toEdge * 3.1, 17u + unsigned(face)) + 0.04 * Noise1(toEdge * 9.7, 91u) +
                                  0.025 * (Hash(unsigned(y * 1031 + x * 7 + 13)) - 0.5);

            double level = 0.1 + 0.7 * diffuse + 0.65 * environment + 0.35 * side;
            level *= 1 + streak;
            Rgb colour = MetalTone(midTone, level);
            colour = Mix(colour, {255, 255, 255}, std::min(1.0, 0.9 * specular));
            // The rim of the bezel falls into shadow where it meets the outside or the interior.
            const double rim = std::min(1.0, toEdge * scale / 1.2) * std::min(1.0, (toInterior * scale + 0.5) / 1.5);
            colour = Mix({0, 0, 0}, colour, 0.35 + 0.65 * rim);
            colour = Mix(colour, {0, 0, 0}, inside);
            line[x] = ToQRgb(colour);
        }
    }
    return image;
}

namespace {

// A bar with pointed ends filling box (inclusive pixel corners), slightly inset so
// neighbouring segments keep a hairline gap between them.
QPolygonF SegmentShape(const QRect &box)
{
    const double x0 = box.left(), y0 = box.top();
    const double x1 = box.right() + 1.0, y1 = box.bottom() + 1.0;
    constexpr double inset = 0.35;
    if (box.width() > box.height()) {
        const double ym = (y0 + y1) / 2;
        const double half = (y1 - y0) / 2 - inset;
        const double a = x0 + inset, b = x1 - inset;
        return QPolygonF({QPointF(a, ym), QPointF(a + half, ym - half), QPointF(b - half, ym - half), QPointF(b, ym),
                          QPointF(b - half, ym + half), QPointF(a + half, ym + half)});
    }
    const double xm = (x0 + x1) / 2;
    const double half = (x1 - x0) / 2 - inset;
    const double a = y0 + inset, b = y1 - inset;
    return QPolygonF({QPointF(xm, a), QPointF(xm + half, a + half), QPointF(xm + half, b - half), QPointF(xm, b),
                      QPointF(xm - half, b - half), QPointF(xm - half, a + half)});
}

constexpr int kSamples = 8; // per pixel and axis, for anti-aliased edges

// Renders a lit shape: its coverage, times (with glow) a soft falloff from the shape's
// middle; scaled so the brightest pixel is exactly the peak colour.
QImage LitShape(QSize size, qreal scale, const std::vector<QPolygonF> &shapes, QRgb peak, bool glow)
{
    std::vector<double> value(size_t(size.width()) * size_t(size.height()), 0.0);
    double brightest = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            double sum = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const QPointF p((x + (sx + 0.5) / kSamples) / scale, (y + (sy + 0.5) / kSamples) / scale);
                    for (const QPolygonF &shape : shapes) {
                        if (!shape.containsPoint(p, Qt::OddEvenFill))
                            continue;
                        const QRectF bounds = shape.boundingRect();
                        const QPointF c = bounds.center();
                        const double halfThick = std::min(bounds.width(), bounds.height()) / 2;
                        const double off = bounds.width() > bounds.height() ? p.y() - c.y() : p.x() - c.x();
                        const double r = std::min(1.0, std::abs(off) / halfThick);
                        sum += glow ? 1 - 0.22 * r * r : 1.0;
                        break;
                    }
                }
            }
            const double v = sum / (kSamples * kSamples);
            value[size_t(y) * size_t(size.width()) + size_t(x)] = v;
            brightest = std::max(brightest, v);
        }
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    if (brightest <= 0)
        return image;
    const Rgb colour = FromQRgb(peak);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double v = value[size_t(y) * size_t(size.width()) + size_t(x)] / brightest;
            line[x] = ToQRgb({colour.r * v, colour.g * v, colour.b * v});
        }
    }
    return image;
}

} // namespace

QImage Segment(int set, int segment, int level, qreal scale)
{
    const QRgb peak = Artwork::kPeakColours.at(set).at(level);
    const QSize size = Artwork::kCellSize * scale;
    if (level == 0) {
        QImage dark(size, QImage::Format_RGB32);
        dark.fill(Qt::black);
        return dark;
    }
    return LitShape(size, scale, {SegmentShape(Artwork::kSegmentBoxes.at(segment))}, peak, true);
}

QImage Colon(int set, qreal scale)
{
    std::vector<QPolygonF> dots;
    for (const QRect &dot : Artwork::kColonDots) {
        // A square with its corners cut, so the dot reads as round at this size.
        const double x0 = dot.left(), y0 = dot.top(), x1 = dot.right() + 1.0, y1 = dot.bottom() + 1.0;
        constexpr double cut = 1.4;
        dots.push_back(
            QPolygonF({QPointF(x0 + cut, y0), QPointF(x1 - cut, y0), QPointF(x1, y0 + cut), QPointF(x1, y1 - cut),
                       QPointF(x1 - cut, y1), QPointF(x0 + cut, y1), QPointF(x0, y1 - cut), QPointF(x0, y0 + cut)}));
    }
    return LitShape(Artwork::kCellSize * scale, scale, dots, Artwork::kPeakColours.at(set).at(4), false);
}

QImage ComposeClock(int face, int set, int hour, int minute, qreal scale)
{
    QImage clock = Face(face, scale);
    QPainter painter(&clock);
    const int digits[4] = {hour / 10, hour % 10, minute / 10, minute % 10};
    const int cells[4] = {0, 1, 3, 4};
    for (int p = 0; p < 4; ++p) {
        const QPoint at = QPoint(Artwork::kCellLeft[size_t(cells[p])], Artwork::kCellTop) * scale;
        for (int s = 0; s < Artwork::kSegmentCount; ++s) {
            const bool lit = (Artwork::kSegmentPatterns[size_t(digits[p])] >> s) & 1;
            painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
            painter.drawImage(at, Segment(set, s, lit ? 4 : 0, scale));
        }
    }
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    painter.drawImage(QPoint(Artwork::kCellLeft[2], Artwork::kCellTop) * scale, Colon(set, scale));
    return clock;
}

} // namespace ArtworkGenerator
