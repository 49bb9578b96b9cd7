#include "clockwindow/ClockFace.h"

#include "resources/Artwork.h"
#include "resources/ArtworkConstants.h"

namespace {

// The pictures of a digit set: each segment at each level, then the colon;
// the face after them.
constexpr int PictureColon = Artwork::kColonOffset;
constexpr int PictureFace = PictureColon + 1;
constexpr int LastLevel = Artwork::kLevelCount - 1;

// The colon's cell lies between the hours and the minutes.
int digitLeft(int p)
{
    return Artwork::kCellLeft[static_cast<size_t>(p >= 2 ? p + 1 : p)];
}
constexpr int ColonLeft = Artwork::kCellLeft[2];

} // namespace

void ClockFace::Load(int digitSet, int face, qreal ratio)
{
    const int first = Artwork::DigitSetBase(digitSet);
    for (int i = 0; i < PictureFace; ++i)
        ClockPictures[static_cast<size_t>(i)] = Artwork::Bitmap(first + i, ratio).convertToFormat(QImage::Format_RGB32);
    ClockPictures[PictureFace] =
        Artwork::Bitmap(Artwork::FaceNumber(face), ratio).convertToFormat(QImage::Format_RGB32);

    const QSize size = Artwork::kFaceSize * ratio;
    m_backBuffer = QImage(size, QImage::Format_RGB32);
    m_backBuffer.setDevicePixelRatio(ratio);
    m_backBuffer.fill(Qt::black);
    BackDC.begin(&m_backBuffer);
}

void ClockFace::End()
{
    if (BackDC.isActive())
        BackDC.end();
}

void ClockFace::InitSegmentPatterns()
{
    std::copy(Artwork::kSegmentPatterns.cbegin(), Artwork::kSegmentPatterns.cend(), SegmentPatterns.begin());
}

void ClockFace::StepDigit(int p, int digit)
{
    const quint8 pattern = SegmentPatterns[static_cast<size_t>(digit)];
    for (int s = 0; s < Artwork::kSegmentCount; ++s) {
        const bool lit = (pattern >> s) & 1;
        quint8 &level = SegmentLevels[p][s];
        if (!lit && level > 0) {
            --level;
            m_levelsChanged = true;
        } else if (lit && level < LastLevel) {
            ++level;
            m_levelsChanged = true;
        }
    }
}

std::array<int, ClockFace::DigitCount> ClockFace::digitsOf(int hour, int minute) const
{
    return {hour / 10, hour % 10, minute / 10, minute % 10};
}

bool ClockFace::StepTowards(int hour, int minute)
{
    const auto digits = digitsOf(hour, minute);
    for (int p = 0; p < DigitCount; ++p)
        StepDigit(p, digits[static_cast<size_t>(p)]);
    // The picture only changes when a segment level did; an unchanged step
    // need not compose the same picture again.
    if (!m_levelsChanged)
        return false;
    m_levelsChanged = false;
    DrawAll();
    return true;
}

bool ClockFace::Settled(int hour, int minute) const
{
    // The step that lights the last level is the last one the fade needs; the
    // clock need not wake once more to find nothing left to do.
    const auto digits = digitsOf(hour, minute);
    for (int p = 0; p < DigitCount; ++p) {
        const quint8 pattern = SegmentPatterns[static_cast<size_t>(digits[static_cast<size_t>(p)])];
        for (int s = 0; s < Artwork::kSegmentCount; ++s) {
            if (SegmentLevels[p][s] != (((pattern >> s) & 1) ? LastLevel : 0))
                return false;
        }
    }
    return true;
}

void ClockFace::DrawFace()
{
    BackDC.setCompositionMode(QPainter::CompositionMode_Source);
    BackDC.drawImage(0, 0, ClockPictures[PictureFace]);
}

void ClockFace::DrawDigit(int p)
{
    // OR-ing works because the face interior and the images' backgrounds are
    // black: the seven segments lie side by side in one cell.
    BackDC.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const int x = digitLeft(p);
    for (int s = 0; s < Artwork::kSegmentCount; ++s)
        BackDC.drawImage(QPoint(x, Artwork::kCellTop),
                         ClockPictures[static_cast<size_t>(Artwork::kLevelCount * s + SegmentLevels[p][s])]);
}

void ClockFace::DrawColon()
{
    BackDC.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    BackDC.drawImage(QPoint(ColonLeft, Artwork::kCellTop), ClockPictures[PictureColon]);
}

void ClockFace::DrawAll()
{
    DrawFace();
    for (int p = 0; p < DigitCount; ++p)
        DrawDigit(p);
    DrawColon();
}
