#pragma once

// The generators of the program's pictures, outline block and chime. Every function
// is deterministic: the same build gives the same bytes. Pictures take a scale
// factor so that double-resolution versions come from the same drawing.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ArtworkGenerator {

QImage Face(int face, qreal scale = 1);
QImage Segment(int set, int segment, int level, qreal scale = 1);
QImage Colon(int set, qreal scale = 1);

QImage NotificationBackground(qreal scale = 1);
QImage MissedBackground(qreal scale = 1);
QImage Banner(qreal scale = 1);
QImage AdPicture(qreal scale = 1);
QImage PersonalPicture(qreal scale = 1);
QImage LinkCursor(qreal scale = 1);
QImage ProgramIcon(qreal scale = 1);
QByteArray ProgramIconSvg();

QByteArray RegionBlock();
QByteArray ChimeWav();

// A finished clock: face, digits OR-ed in as the clock window does, and the colon.
QImage ComposeClock(int face, int set, int hour, int minute, qreal scale = 1);

// Writes everything under folder (bitmaps/, custom/, pictures/, icons/, Chime1.wav).
// Returns an empty string on success, else what went wrong.
QString WriteAll(const QString &folder, qreal scale = 1);

} // namespace ArtworkGenerator
