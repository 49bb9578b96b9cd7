#include "clockwindow/RegionData.h"

RegionData::~RegionData()
{
    if (m_applied && TargetWindow)
        TargetWindow->clearMask();
}

bool RegionData::TransformWindow(QWidget *, const QString &, int, const QString &)
{
    return false;
}
