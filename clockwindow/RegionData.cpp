#include "clockwindow/RegionData.h"

#include "clockwindow/RegionBlock.h"
#include "resources/Artwork.h"

#include <QFile>

RegionData::~RegionData()
{
    // Releasing the outline gives the window its rectangle back.
    if (m_applied && TargetWindow)
        TargetWindow->clearMask();
}

bool RegionData::TransformWindow(QWidget *Window, const QString &RegionFile, int ResizeMode,
                                 const QString &ResourceCategory)
{
    if (!Window)
        return false;

    QByteArray bytes;
    if (!ResourceCategory.isEmpty()) {
        bytes = Artwork::CustomResource(RegionFile);
    } else {
        QFile file(RegionFile);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
    }
    if (bytes.size() <= 8)
        return false;

    // A damaged block keeps the window rectangular rather than giving it a
    // nonsense outline.
    const std::optional<RegionBlock> block = ParseRegionBlock(bytes);
    if (!block)
        return false;

    TargetWindow = Window;
    if (ResizeMode > 0)
        Window->setFixedSize(block->width, block->height);
    RegionHandle = RegionBlockOutline(*block);
    Window->setMask(RegionHandle);
    m_applied = true;
    return true;
}
