#pragma once

#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

// Gives a window the outline stored in a region block (a resource or a file)
// and, on request, the size stored with it. Releasing the object gives the
// window its plain rectangle back.
class RegionData
{
public:
    RegionData() = default;
    ~RegionData();
    RegionData(const RegionData &) = delete;
    RegionData &operator=(const RegionData &) = delete;

    // ResourceCategory empty: RegionFile names a file; otherwise it names the
    // custom resource. ResizeMode above 0 also sizes the window. A missing or
    // damaged block leaves the window as it was; false is returned.
    bool TransformWindow(QWidget *Window, const QString &RegionFile, int ResizeMode, const QString &ResourceCategory);

private:
    QPointer<QWidget> TargetWindow;
    QRegion RegionHandle;
    bool m_applied = false;
};
