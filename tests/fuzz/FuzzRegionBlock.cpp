// The region-block reader: any bytes are either refused or give a block whose
// every rectangle, and the outline built from them, lies inside the stated size.

#include "FuzzTarget.h"

#include "clockwindow/RegionBlock.h"

#include <QtEndian>

namespace {

qint32 int32At(const uint8_t *data, size_t offset)
{
    return qFromLittleEndian<qint32>(data + offset);
}

std::optional<RegionBlock> parse(const uint8_t *data, size_t size)
{
    return ParseRegionBlock(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
}

} // namespace

int TestOneInput(const uint8_t *data, size_t size)
{
    // Raw view of the fuzzer's exactly sized buffer: a read past the end is caught.
    const std::optional<RegionBlock> block = parse(data, size);
    if (!block)
        return 0;

    FUZZ_CHECK(block->width > 0 && block->width <= kRegionBlockMaxSide);
    FUZZ_CHECK(block->height > 0 && block->height <= kRegionBlockMaxSide);
    FUZZ_CHECK(block->width == int32At(data, 0) && block->height == int32At(data, 4));
    FUZZ_CHECK(!block->rects.isEmpty());
    FUZZ_CHECK(size == 40 + 16 * size_t(block->rects.size()));

    const QRect window(0, 0, block->width, block->height);
    int left = block->width, top = block->height, right = -1, bottom = -1;
    qint64 largest = 0;
    for (qsizetype i = 0; i < block->rects.size(); ++i) {
        const QRect &rect = block->rects.at(i);
        FUZZ_CHECK(!rect.isEmpty());
        FUZZ_CHECK(rect.left() >= 0 && rect.top() >= 0);
        FUZZ_CHECK(rect.right() < block->width && rect.bottom() < block->height);
        // Stored as left, top, right, bottom with right and bottom exclusive.
        const size_t at = 40 + 16 * size_t(i);
        FUZZ_CHECK(rect.left() == int32At(data, at) && rect.top() == int32At(data, at + 4));
        FUZZ_CHECK(rect.right() + 1 == int32At(data, at + 8) && rect.bottom() + 1 == int32At(data, at + 12));
        left = std::min(left, rect.left());
        top = std::min(top, rect.top());
        right = std::max(right, rect.right());
        bottom = std::max(bottom, rect.bottom());
        largest = std::max(largest, qint64(rect.width()) * rect.height());
    }

    const QRegion outline = RegionBlockOutline(*block);
    FUZZ_CHECK(!outline.isEmpty());
    FUZZ_CHECK(outline.boundingRect() == QRect(QPoint(left, top), QPoint(right, bottom)));
    FUZZ_CHECK(window.contains(outline.boundingRect()));
    qint64 area = 0;
    for (const QRect &part : outline) {
        FUZZ_CHECK(window.contains(part));
        area += qint64(part.width()) * part.height();
    }
    FUZZ_CHECK(area >= largest && area <= qint64(block->width) * block->height);
    for (const QRect &rect : block->rects)
        FUZZ_CHECK((QRegion(rect) - outline).isEmpty());

    // A block agrees with its own length: one byte fewer or more is refused.
    FUZZ_CHECK(!parse(data, size - 1));
    QByteArray longer(reinterpret_cast<const char *>(data), qsizetype(size));
    longer.append('\0');
    FUZZ_CHECK(!ParseRegionBlock(longer));
    return 0;
}
