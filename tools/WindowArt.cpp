// The pictures behind the notification, the missed panel, the alarm list banner,
// the two about windows, and the program icon.

#include "tools/ArtworkGenerator.h"

#include "resources/ArtworkConstants.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>

namespace ArtworkGenerator {
namespace {

QString Text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QImage Canvas(QSize logical, qreal scale, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(logical * scale, format);
    image.fill(Qt::white);
    return image;
}

void BeginPainting(QPainter &painter, qreal scale)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
}

QFont ArialPx(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void FillVertical(QPainter &painter, const QRectF &rect, QColor top, QColor bottom)
{
    QLinearGradient g(rect.topLeft(), rect.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    painter.fillRect(rect, g);
}

// The product family's mark: a ring of dots going once round the colour wheel.
void DotRing(QPainter &painter, QPointF centre, double radius, double dot, int count)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const double angle = 2 * M_PI * i / count - M_PI / 2;
        const QPointF at = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
        const QColor colour = QColor::fromHsv(i * 360 / count, 200, 235);
        QRadialGradient g(at - QPointF(dot * 0.35, dot * 0.35), dot * 1.3);
        g.setColorAt(0, colour.lighter(135));
        g.setColorAt(1, colour.darker(115));
        painter.setBrush(g);
        painter.drawEllipse(at, dot, dot);
    }
    painter.restore();
}

// The web address, in link blue and underlined, filling the hot area the window
// lays over it.
void DrawLink(QPainter &painter, const QRect &area, const QString &address)
{
    int pixels = 18;
    QFont font = ArialPx(pixels);
    while (pixels > 8 && (QFontMetricsF(font).horizontalAdvance(address) > area.width() - 6 ||
                          QFontMetricsF(font).height() > area.height() - 2)) {
        font = ArialPx(--pixels);
    }
    font.setUnderline(true);
    painter.save();
    painter.setFont(font);
    painter.setPen(QColor(Artwork::kLinkInk));
    painter.drawText(QRectF(area), Qt::AlignCenter, address);
    painter.restore();
}

void Card(QPainter &painter, const QRectF &rect, QColor accent)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 28));
    painter.drawRoundedRect(rect.translated(2, 3), 10, 10);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(214, 220, 230), 1));
    painter.drawRoundedRect(rect, 10, 10);
    QPainterPath clip;
    clip.addRoundedRect(rect, 10, 10);
    painter.setClipPath(clip);
    painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), 6), accent);
    painter.restore();
}

void Paragraph(QPainter &painter, const QRectF &rect, const QString &text, int pixels, QColor colour, bool bold = false)
{
    painter.save();
    painter.setFont(ArialPx(pixels, bold));
    painter.setPen(colour);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    painter.restore();
}

// What one card of an about picture says, and the colour of its top edge.
struct CardEntry
{
    const char *title;
    const char *text;
    QColor accent;
};

const QColor HeadingInk(30, 40, 60);
const QColor CardTextInk(90, 98, 112);

// A card's title in bold heading ink and, below it, its text in grey.
void CardWords(QPainter &painter, const CardEntry &entry, const QRectF &titleRect, int titlePixels,
               const QRectF &textRect)
{
    Paragraph(painter, titleRect, QString::fromUtf8(entry.title), titlePixels, HeadingInk, true);
    Paragraph(painter, textRect, QString::fromUtf8(entry.text), 13, CardTextInk);
}

} // namespace

QImage NotificationBackground(qreal scale)
{
    const QSize size = Artwork::kNotificationSize;
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    BeginPainting(painter, scale);
    FillVertical(painter, QRectF(QPointF(0, 0), size), QColor(Artwork::kNotificationTop),
                 QColor(Artwork::kNotificationBottom));
    // A soft glow behind the emblem lifts it off the gradient.
    const QRectF area(Artwork::kNotificationEmblemArea);
    const QPointF centre = area.center();
    QRadialGradient glow(centre, 46);
    glow.setColorAt(0, QColor(255, 255, 255, 150));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(area, glow);

    const QColor blue(Artwork::kEmblemBlue);
    // Sound waves on either side of the ball, the outer ones fainter.
    for (int ring = 0; ring < 2; ++ring) {
        const double radius = 22 + 9 * ring;
        QColor wave = blue;
        wave.setAlpha(ring == 0 ? 255 : 170);
        painter.setPen(QPen(wave, 4.5 - ring, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        const QRectF arc(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
        const int span = (ring == 0 ? 70 : 60) * 16;
        painter.drawArc(arc, -span / 2, span);
        painter.drawArc(arc, 180 * 16 - span / 2, span);
    }
    QRadialGradient ball(centre - QPointF(5, 6), 19);
    ball.setColorAt(0, QColor(170, 205, 255));
    ball.setColorAt(0.45, blue);
    ball.setColorAt(1, blue.darker(220));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ball);
    painter.drawEllipse(centre, 14, 14);
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(centre + QPointF(-5, -6), 4, 2.6);
    return image;
}

QImage MissedBackground(qreal scale)
{
    const QSize size = Artwork::kMissedSize;
    const double w = size.width(), h = size.height(), b = Artwork::kMissedBevel;
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    painter.scale(scale, scale); // crisp edges: the panel is a few flat colours
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(0, 0, w, h), QColor(Artwork::kMissedPanel));
    painter.setBrush(QColor(Artwork::kMissedBevelDark));
    painter.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(w, 0), QPointF(w - b, b), QPointF(b, b)}));
    painter.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(b, b), QPointF(b, h - b), QPointF(0, h)}));
    painter.setBrush(QColor(Artwork::kMissedBevelLight));
    painter.drawPolygon(QPolygonF({QPointF(0, h), QPointF(b, h - b), QPointF(w - b, h - b), QPointF(w, h)}));
    painter.drawPolygon(QPolygonF({QPointF(w, 0), QPointF(w, h), QPointF(w - b, h - b), QPointF(w - b, b)}));
    return image;
}

QImage Banner(qreal scale)
{
    const QSize size = Artwork::kBannerSize;
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    BeginPainting(painter, scale);
    FillVertical(painter, QRectF(QPointF(0, 0), size), QColor(Artwork::kBannerTop), QColor(Artwork::kBannerBottom));
    DotRing(painter, QPointF(31, 30), 19, 4.2, 12);
    painter.setFont(ArialPx(28, true));
    painter.setPen(QColor(255, 255, 255, 190));
    painter.drawText(QPointF(63, 41), Text(Artwork::kProgramName));
    painter.setPen(QColor(Artwork::kBannerText));
    painter.drawText(QPointF(62, 40), Text(Artwork::kProgramName));
    return image;
}

QImage AdPicture(qreal scale)
{
    const QSize size = Artwork::kAdPictureSize;
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    BeginPainting(painter, scale);
    FillVertical(painter, QRectF(QPointF(0, 0), size), QColor(250, 251, 253), QColor(232, 236, 243));

    // Header with the maker's name.
    const QRectF header(0, 0, size.width(), 150);
    QLinearGradient band(header.topLeft(), header.bottomRight());
    band.setColorAt(0, QColor(18, 38, 86));
    band.setColorAt(1, QColor(20, 112, 142));
    painter.fillRect(header, band);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        painter.setBrush(QColor(255, 255, 255, 14 + 6 * i));
        painter.drawEllipse(QPointF(600 + 28 * i, 40 + 14 * i), 90 - 14 * i, 90 - 14 * i);
    }
    painter.setFont(ArialPx(58, true));
    painter.setPen(Qt::white);
    painter.drawText(QPointF(46, 92), Text(Artwork::kMakerName));
    Paragraph(painter, QRectF(48, 106, 560, 30), QStringLiteral("Small, dependable software for your desktop"), 19,
              QColor(200, 226, 240));

    Paragraph(painter, QRectF(48, 176, 400, 30), QStringLiteral("What we offer"), 21, HeadingInk, true);
    const CardEntry offers[] = {
        {"Desktop tools", "Clocks, reminders and little helpers that do one job well and stay out of your way.",
         QColor(38, 120, 220)},
        {"Made to measure", "Our tools built for your team or your brand, with the features you ask for.",
         QColor(236, 140, 30)},
        {"Friendly support", "Free updates and straight answers from the people who wrote the code.",
         QColor(52, 170, 90)},
    };
    for (int i = 0; i < 3; ++i) {
        const QRectF card(48 + 225 * i, 214, 205, 160);
        Card(painter, card, offers[i].accent);
        painter.setPen(Qt::NoPen);
        painter.setBrush(offers[i].accent);
        painter.drawEllipse(QPointF(card.left() + 30, card.top() + 40), 14, 14);
        painter.setBrush(QColor(255, 255, 255, 200));
        painter.drawEllipse(QPointF(card.left() + 30, card.top() + 40), 5, 5);
        CardWords(painter, offers[i], QRectF(card.left() + 54, card.top() + 29, 145, 24), 16,
                  QRectF(card.left() + 16, card.top() + 68, 175, 80));
    }

    painter.setPen(QPen(QColor(200, 206, 216), 1));
    painter.drawLine(QPointF(48, 400.5), QPointF(size.width() - 48, 400.5));
    Paragraph(painter, QRectF(48, 420, 300, 20), QStringLiteral("Small software, well made."), 13,
              QColor(110, 118, 130));
    const QRect link = Artwork::kAdLinkArea;
    painter.setFont(ArialPx(14));
    painter.setPen(QColor(60, 68, 80));
    painter.drawText(QRectF(link.left() - 160, link.top(), 152, link.height()), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Find out more at"));
    DrawLink(painter, link, Text(Artwork::kMakerAddress));
    return image;
}

QImage PersonalPicture(qreal scale)
{
    const QSize size = Artwork::kPersonalPictureSize;
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    BeginPainting(painter, scale);
    FillVertical(painter, QRectF(QPointF(0, 0), size), QColor(246, 249, 253), QColor(222, 232, 244));

    // Left: the family's mark, its name and, right under the name, its address.
    DotRing(painter, QPointF(150, 140), 70, 11, 16);
    painter.setFont(ArialPx(44, true));
    painter.setPen(QColor(Artwork::kBannerText));
    painter.drawText(QPointF(46, 298), Text(Artwork::kProductFamilyName));
    DrawLink(painter, Artwork::kPersonalLinkArea, Text(Artwork::kProductFamilyAddress));
    Paragraph(painter, QRectF(48, 360, 280, 80),
              QStringLiteral("Small programs that look alike, work alike and keep out of your way."), 15,
              QColor(80, 90, 106));

    painter.setPen(QPen(QColor(196, 206, 220), 1));
    painter.drawLine(QPointF(360.5, 40), QPointF(360.5, size.height() - 40));
    Paragraph(painter, QRectF(392, 36, 320, 30), QStringLiteral("The family"), 22, HeadingInk, true);

    const CardEntry products[] = {
        {"Tockwise", "A desktop clock with alarms that remembers what you missed.", QColor(236, 140, 30)},
        {"Crewline Notes", "Sticky notes that stay where you put them.", QColor(230, 190, 40)},
        {"Crewline Timer", "Countdowns for the kitchen and the office.", QColor(38, 120, 220)},
    };
    for (int i = 0; i < 3; ++i) {
        const QRectF card(392, 80 + 132 * i, 318, 114);
        Card(painter, card, products[i].accent);
        const QRectF art(card.left() + 14, card.top() + 22, 100, 70);
        if (i == 0) {
            const QImage clock = ComposeClock(0, 2, 12, 34, 1);
            painter.drawImage(QRectF(art.left(), art.top() + 17, 100, 35), clock);
        } else if (i == 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 30));
            painter.drawRect(QRectF(art.left() + 24, art.top() + 6, 54, 54).translated(2, 2));
            painter.setBrush(QColor(255, 226, 110));
            painter.drawRect(QRectF(art.left() + 24, art.top() + 6, 54, 54));
            painter.setPen(QPen(QColor(170, 140, 40), 2));
            for (int l = 0; l < 4; ++l)
                painter.drawLine(QPointF(art.left() + 32, art.top() + 20 + 10 * l),
                                 QPointF(art.left() + 70 - 8 * (l % 2), art.top() + 20 + 10 * l));
        } else {
            const QPointF c(art.center());
            painter.setPen(QPen(QColor(60, 70, 90), 3));
            painter.setBrush(Qt::white);
            painter.drawEllipse(c, 28, 28);
            painter.setPen(Qt::NoPen);
            painter.setBrush(products[i].accent);
            painter.drawPie(QRectF(c - QPointF(24, 24), QSizeF(48, 48)), 90 * 16, -120 * 16);
            painter.setBrush(QColor(60, 70, 90));
            painter.drawRect(QRectF(c.x() - 4, c.y() - 36, 8, 6));
        }
        CardWords(painter, products[i], QRectF(card.left() + 128, card.top() + 22, 180, 24), 17,
                  QRectF(card.left() + 128, card.top() + 48, 180, 60));
    }
    return image;
}

// ---- The pointing hand over the about windows' links: a white hand with a black
// outline, the index finger up, its tip at the hot spot (5, 1).

QImage LinkCursor(qreal scale)
{
    QImage image(Artwork::kLinkCursorSize * scale, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // Crisp at the usual scale, as cursors are; smooth when drawn twice as fine.
    painter.setRenderHint(QPainter::Antialiasing, scale != 1);
    painter.scale(scale, scale);

    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    // The index finger, then the three folded fingers' knuckles.
    hand.addRoundedRect(QRectF(3.5, 1.5, 4, 16), 2, 2);
    hand.addRoundedRect(QRectF(7.5, 8.5, 4, 9), 2, 2);
    hand.addRoundedRect(QRectF(11.5, 9.5, 4, 9), 2, 2);
    hand.addRoundedRect(QRectF(15.5, 11.5, 4, 8), 2, 2);
    // The palm, and the thumb lying against it.
    hand.addRoundedRect(QRectF(3.5, 14.5, 16, 12), 3, 3);
    hand.addPolygon(QPolygonF({QPointF(4.5, 16.5), QPointF(1.5, 13.5), QPointF(0.5, 15.5), QPointF(4.5, 22.5)}));
    hand = hand.simplified();

    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(hand);
    // Where the fingers part, and the cuff.
    painter.drawLine(QPointF(7.5, 14.5), QPointF(7.5, 17.5));
    painter.drawLine(QPointF(11.5, 15.5), QPointF(11.5, 18.5));
    painter.drawLine(QPointF(15.5, 16.5), QPointF(15.5, 19.5));
    painter.fillRect(QRectF(4, 27, 15, 4), Qt::black);
    return image;
}

// ---- Program icon: one list of shapes, painted for the PNG and written out as SVG.

namespace {

struct Stop
{
    double at;
    QColor colour;
};

struct IconShape
{
    QPainterPath path;
    QString svg; // the same outline as an SVG element, without its fill
    QColor solid;
    QPointF from, to; // gradient ends when stops is not empty
    QList<Stop> stops;
};

QString Num(double v)
{
    return QString::number(v, 'g', 6);
}

IconShape RoundRect(QRectF r, double radius)
{
    IconShape s;
    s.path.addRoundedRect(r, radius, radius);
    s.svg = QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"")
                .arg(Num(r.x()), Num(r.y()), Num(r.width()), Num(r.height()), Num(radius));
    return s;
}

IconShape Circle(QPointF c, double radius)
{
    IconShape s;
    s.path.addEllipse(c, radius, radius);
    s.svg = QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\"").arg(Num(c.x()), Num(c.y()), Num(radius));
    return s;
}

IconShape Polygon(const QPolygonF &poly)
{
    IconShape s;
    s.path.addPolygon(poly);
    s.path.closeSubpath();
    QStringList points;
    for (const QPointF &p : poly)
        points << Num(p.x()) + QLatin1Char(',') + Num(p.y());
    s.svg = QStringLiteral("<polygon points=\"%1\"").arg(points.join(QLatin1Char(' ')));
    return s;
}

// A bar between two points with pointed ends, like a display segment.
QPolygonF Bar(QPointF a, QPointF b, double thickness, double gap)
{
    const QPointF dir = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
    const QPointF side(-dir.y(), dir.x());
    const double half = thickness / 2;
    const QPointF p = a + dir * gap, q = b - dir * gap;
    return QPolygonF({p, p + dir * half + side * half, q - dir * half + side * half, q, q - dir * half - side * half,
                      p + dir * half - side * half});
}

QList<IconShape> IconShapes()
{
    QList<IconShape> shapes;
    // Two alarm bells behind the body.
    for (double x : {11.0, 37.0}) {
        IconShape bell = Circle(QPointF(x, 11), 6.5);
        bell.from = QPointF(x - 5, 5);
        bell.to = QPointF(x + 5, 16);
        bell.stops = {{0, QColor(250, 232, 130)}, {1, QColor(160, 120, 24)}};
        shapes << bell;
    }
    IconShape body = RoundRect(QRectF(3, 12, 42, 31), 8);
    body.from = QPointF(3, 12);
    body.to = QPointF(45, 43);
    body.stops = {{0, QColor(246, 246, 246)},
                  {0.45, QColor(170, 170, 170)},
                  {0.55, QColor(140, 140, 140)},
                  {1, QColor(70, 70, 70)}};
    shapes << body;
    IconShape screen = RoundRect(QRectF(7, 16, 34, 23), 4);
    screen.solid = Qt::black;
    shapes << screen;

    // "12" on the display, dark segments faintly visible as on the clock.
    const double w = 9, h = 15, t = 2.6;
    const QPointF corners[6] = {{t / 2, t / 2},     {w - t / 2, t / 2}, {t / 2, h / 2},
                                {w - t / 2, h / 2}, {t / 2, h - t / 2}, {w - t / 2, h - t / 2}};
    // Segment order: top, upper right, middle, upper left, lower right, bottom, lower left.
    const int ends[7][2] = {{0, 1}, {1, 3}, {2, 3}, {0, 2}, {3, 5}, {4, 5}, {2, 4}};
    const QColor lit(Artwork::kPeakColours[2][4]);
    const QColor dark(30, 16, 3);
    const int digits[2] = {1, 2};
    const double left[2] = {12.5, 26.5};
    for (int d = 0; d < 2; ++d) {
        const QPointF origin(left[d], 20);
        for (int s = 0; s < 7; ++s) {
            IconShape seg = Polygon(Bar(origin + corners[ends[s][0]], origin + corners[ends[s][1]], t, 0.45));
            seg.solid = (Artwork::kSegmentPatterns[size_t(digits[d])] >> s) & 1 ? lit : dark;
            shapes << seg;
        }
    }
    return shapes;
}

} // namespace

QImage ProgramIcon(qreal scale)
{
    QImage image(Artwork::kProgramIconSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    BeginPainting(painter, scale);
    painter.setPen(Qt::NoPen);
    for (const IconShape &shape : IconShapes()) {
        if (shape.stops.isEmpty()) {
            painter.setBrush(shape.solid);
        } else {
            QLinearGradient g(shape.from, shape.to);
            for (const Stop &stop : shape.stops)
                g.setColorAt(stop.at, stop.colour);
            painter.setBrush(g);
        }
        painter.drawPath(shape.path);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray ProgramIconSvg()
{
    const QSize size = Artwork::kProgramIconSize;
    QString defs;
    QString body;
    int gradient = 0;
    for (const IconShape &shape : IconShapes()) {
        QString fill;
        if (shape.stops.isEmpty()) {
            fill = shape.solid.name();
        } else {
            const QString id = QStringLiteral("g%1").arg(gradient++);
            defs += QStringLiteral("    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"%2\" y1=\"%3\" "
                                   "x2=\"%4\" y2=\"%5\">\n")
                        .arg(id, Num(shape.from.x()), Num(shape.from.y()), Num(shape.to.x()), Num(shape.to.y()));
            for (const Stop &stop : shape.stops)
                defs += QStringLiteral("      <stop offset=\"%1\" stop-color=\"%2\"/>\n")
                            .arg(Num(stop.at), stop.colour.name());
            defs += QStringLiteral("    </linearGradient>\n");
            fill = QStringLiteral("url(#%1)").arg(id);
        }
        body += QStringLiteral("  %1 fill=\"%2\"/>\n").arg(shape.svg, fill);
    }
    const QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                                       "viewBox=\"0 0 %1 %2\">\n  <defs>\n%3  </defs>\n%4</svg>\n")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(defs, body);
    return svg.toUtf8();
}

} // namespace ArtworkGenerator
