// The window outline block: width, height, then a region header and its
// rectangles exactly as the platform's region data lays them out.

#include "tools/ArtworkGenerator.h"

#include "resources/ArtworkConstants.h"

#include <QtEndian>

namespace ArtworkGenerator {

QByteArray RegionBlock()
{
    QByteArray bytes;
    auto put = [&bytes](qint32 value) {
        char le[4];
        qToLittleEndian(value, le);
        bytes.append(le, 4);
    };
    const int count = int(Artwork::kRegionBands.size());
    put(Artwork::kRegionWidth);
    put(Artwork::kRegionHeight);
    put(Artwork::kRgnHeaderSize);
    put(Artwork::kRgnTypeRectangles);
    put(count);
    put(count * Artwork::kRectBytes);
    put(Artwork::kRegionBounds.left());
    put(Artwork::kRegionBounds.top());
    put(Artwork::kRegionBounds.right() + 1);
    put(Artwork::kRegionBounds.bottom() + 1);
    for (const auto &band : Artwork::kRegionBands) {
        put(band.left);
        put(band.top);
        put(band.right);
        put(band.bottom);
    }
    return bytes;
}

} // namespace ArtworkGenerator
