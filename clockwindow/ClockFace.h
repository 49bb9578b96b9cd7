#pragma once

#include <QImage>
#include <QPainter>
#include <array>

// The clock's picture: the face with four seven-segment digits and the colon
// OR-ed onto it in a back buffer. Each segment fades over the artwork's levels
// towards what the time shows, one level a step. A step that changes nothing
// draws nothing, and nothing here allocates once the pictures are loaded.
class ClockFace
{
public:
    static constexpr int DigitCount = 4;

    // The pictures of a digit set and a face at a pixel ratio (1 or 2), and a
    // back buffer to match, kept open for drawing until End.
    void Load(int digitSet, int face, qreal ratio);
    void End();

    void InitSegmentPatterns();
    // One fade step of digit position p towards the digit.
    void StepDigit(int p, int digit);
    // One step of all four digits towards the time; true when a level changed
    // and the picture was drawn again.
    bool StepTowards(int hour, int minute);
    // Every segment at its last level for the time: no more steps needed.
    bool Settled(int hour, int minute) const;

    void DrawFace();
    void DrawDigit(int p);
    void DrawColon();
    void DrawAll();

    const QImage &BackBuffer() const { return m_backBuffer; }
    int SegmentLevel(int p, int s) const { return SegmentLevels[p][s]; }

private:
    std::array<int, DigitCount> digitsOf(int hour, int minute) const;

    std::array<QImage, 37> ClockPictures;
    std::array<quint8, 10> SegmentPatterns{};
    quint8 SegmentLevels[DigitCount][7] = {};
    QImage m_backBuffer;
    // Kept open on the back buffer from loading to the end, so a step creates
    // no drawing objects.
    QPainter BackDC;
    bool m_levelsChanged = true;
};
