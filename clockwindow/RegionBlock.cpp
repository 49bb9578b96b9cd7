#include "clockwindow/RegionBlock.h"

#include <QtEndian>

namespace {

// Layout of the block: width, height, then the platform's region header
// (size, type, count, rectangle bytes, bounding rectangle) and the rectangles.
constexpr qsizetype kSizeFields = 8;
constexpr qint32 kHeaderSize = 32;
constexpr qint32 kTypeRectangles = 1;
constexpr qint64 kRectBytes = 16;

qint32 Int32At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

// left, top, right, bottom with right and bottom exclusive; empty or inverted is refused.
std::optional<QRect> RectAt(const QByteArray &bytes, qsizetype offset)
{
    const qint32 left = Int32At(bytes, offset);
    const qint32 top = Int32At(bytes, offset + 4);
    const qint32 right = Int32At(bytes, offset + 8);
    const qint32 bottom = Int32At(bytes, offset + 12);
    if (left >= right || top >= bottom)
        return std::nullopt;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

std::optional<RegionBlock> ParseRegionBlock(const QByteArray &bytes)
{
    if (bytes.size() < kSizeFields + kHeaderSize)
        return std::nullopt;
    RegionBlock block;
    block.width = Int32At(bytes, 0);
    block.height = Int32At(bytes, 4);
    if (block.width <= 0 || block.height <= 0 || block.width > kRegionBlockMaxSide ||
        block.height > kRegionBlockMaxSide)
        return std::nullopt;

    const qint32 headerSize = Int32At(bytes, 8);
    const qint32 type = Int32At(bytes, 12);
    const qint64 count = Int32At(bytes, 16);
    const qint64 rectBytes = Int32At(bytes, 20);
    if (headerSize != kHeaderSize || type != kTypeRectangles || count <= 0 || rectBytes != count * kRectBytes ||
        qint64(bytes.size()) != kSizeFields + kHeaderSize + rectBytes)
        return std::nullopt;

    const QRect window(0, 0, block.width, block.height);
    const std::optional<QRect> bounds = RectAt(bytes, 24);
    if (!bounds || !window.contains(*bounds))
        return std::nullopt;

    block.rects.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const std::optional<QRect> rect = RectAt(bytes, kSizeFields + kHeaderSize + i * kRectBytes);
        if (!rect || !bounds->contains(*rect))
            return std::nullopt;
        block.rects.append(*rect);
    }
    return block;
}

QRegion RegionBlockOutline(const RegionBlock &block)
{
    // Union rather than setRects: a valid block need not be in the banded order setRects demands.
    QRegion outline;
    for (const QRect &rect : block.rects)
        outline += rect;
    return outline;
}
