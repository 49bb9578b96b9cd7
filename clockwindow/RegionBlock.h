#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QRegion>

#include <optional>

// A window outline as stored: the window's pixel size and the horizontal bands
// that make up its visible part. Only blocks that agree with themselves are
// accepted, so a damaged resource or file leaves the window rectangular rather
// than giving it a nonsense outline.
struct RegionBlock
{
    int width = 0;
    int height = 0;
    QList<QRect> rects;
};

// Largest window size a block may ask for; anything bigger is taken as damage.
inline constexpr int kRegionBlockMaxSide = 16384;

std::optional<RegionBlock> ParseRegionBlock(const QByteArray &bytes);

// The outline as a region in window coordinates, ready for QWidget::setMask.
QRegion RegionBlockOutline(const RegionBlock &block);
