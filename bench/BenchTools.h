#pragma once

#include <QList>

#include <algorithm>

// The middle of the rounds' figures: one slow round (a disk flush, another
// process) does not move it.
inline double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}
