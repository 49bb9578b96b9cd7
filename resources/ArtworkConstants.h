#pragma once

// Every measure and colour of the program's artwork, in one place. The generators
// draw from these, the lookup code finds pictures with them and the tests check
// the pictures against them.

#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <array>
#include <string_view>

namespace Artwork {

// ---- Window outline ("REGION" block) -------------------------------------------

// One horizontal span of the clock's outline; bottom and right are exclusive.
struct RegionBand
{
    int top;
    int bottom;
    int left;
    int right;
};

inline constexpr int kRegionWidth = 200;
inline constexpr int kRegionHeight = 70;
inline constexpr int kRgnHeaderSize = 32;
inline constexpr int kRgnTypeRectangles = 1;
inline constexpr int kRectBytes = 16;
inline constexpr QRect kRegionBounds{QPoint(1, 1), QPoint(198, 68)}; // stored as 1, 1, 199, 69

// Listed top to bottom; the outline is symmetric both ways.
inline constexpr std::array<RegionBand, 27> kRegionBands{{
    {1, 2, 19, 181},   {2, 3, 16, 184},   {3, 4, 13, 187},   {4, 5, 11, 189},  {5, 6, 10, 190},   {6, 7, 9, 191},
    {7, 8, 8, 192},    {8, 9, 7, 193},    {9, 10, 6, 194},   {10, 11, 5, 195}, {11, 13, 4, 196},  {13, 15, 3, 197},
    {15, 19, 2, 198},  {19, 51, 1, 199},  {51, 55, 2, 198},  {55, 57, 3, 197}, {57, 59, 4, 196},  {59, 60, 5, 195},
    {60, 61, 6, 194},  {61, 62, 7, 193},  {62, 63, 8, 192},  {63, 64, 9, 191}, {64, 65, 10, 190}, {65, 66, 11, 189},
    {66, 67, 13, 187}, {67, 68, 16, 184}, {68, 69, 19, 181},
}};

inline constexpr int kRegionBlockSize = 8 + kRgnHeaderSize + kRectBytes * int(kRegionBands.size()); // 472

inline constexpr std::string_view kRegionResourceName = "REGION";

// ---- Faces ---------------------------------------------------------------------

inline constexpr int kFaceFirst = 1001;
inline constexpr int kFaceCount = 4;
inline constexpr QSize kFaceSize{200, 70};
// The black window the digits sit in; its corners are rounded with this radius.
inline constexpr QRect kFaceInterior{QPoint(10, 10), QPoint(189, 59)};
inline constexpr int kFaceInteriorRadius = 7;
// Mid-tones of the metal: Silver, Gold, Metalic Blue, Brass.
inline constexpr std::array<QRgb, kFaceCount> kFaceMidTones{qRgb(140, 140, 140), qRgb(130, 130, 42), qRgb(64, 108, 152),
                                                            qRgb(108, 108, 64)};
inline constexpr std::array<const char *, kFaceCount> kFaceNames{"Silver", "Gold", "Metalic Blue", "Brass"};

// ---- Digit sets ----------------------------------------------------------------

inline constexpr int kDigitSetCount = 4;
inline constexpr int kSegmentCount = 7;
inline constexpr int kLevelCount = 5; // 0 = dark .. 4 = fully lit
inline constexpr int kColonOffset = 35;
inline constexpr QSize kCellSize{30, 50};
inline constexpr std::array<const char *, kDigitSetCount> kDigitSetNames{"White", "Red", "Orange", "Green"};

constexpr int DigitSetBase(int set)
{
    return 100 * set + 101;
}
constexpr int SegmentNumber(int set, int segment, int level)
{
    return DigitSetBase(set) + 5 * segment + level;
}
constexpr int ColonNumber(int set)
{
    return DigitSetBase(set) + kColonOffset;
}
constexpr int FaceNumber(int face)
{
    return kFaceFirst + face;
}

// Brightest colour of a lit segment, by set and level; level 0 is black.
inline constexpr std::array<std::array<QRgb, kLevelCount>, kDigitSetCount> kPeakColours{{
    {qRgb(0, 0, 0), qRgb(67, 67, 67), qRgb(134, 134, 134), qRgb(201, 201, 201), qRgb(255, 255, 255)},
    {qRgb(0, 0, 0), qRgb(67, 4, 4), qRgb(134, 7, 7), qRgb(201, 10, 10), qRgb(255, 13, 13)},
    {qRgb(0, 0, 0), qRgb(67, 36, 4), qRgb(134, 71, 7), qRgb(201, 106, 10), qRgb(255, 141, 13)},
    {qRgb(0, 0, 0), qRgb(16, 67, 16), qRgb(32, 134, 32), qRgb(48, 201, 48), qRgb(63, 255, 63)},
}};

// Bounding box of each segment inside its cell, inclusive corners:
// top, upper right, middle, upper left, lower right, bottom, lower left.
inline constexpr std::array<QRect, kSegmentCount> kSegmentBoxes{
    QRect(QPoint(5, 1), QPoint(24, 6)),  QRect(QPoint(22, 4), QPoint(28, 24)),  QRect(QPoint(5, 22), QPoint(24, 27)),
    QRect(QPoint(1, 4), QPoint(7, 24)),  QRect(QPoint(22, 25), QPoint(28, 45)), QRect(QPoint(5, 43), QPoint(24, 48)),
    QRect(QPoint(1, 25), QPoint(7, 45)),
};

inline constexpr std::array<QRect, 2> kColonDots{QRect(12, 12, 6, 6), QRect(12, 30, 6, 6)};

// Bit s set when segment s is lit, digits 0 to 9.
inline constexpr std::array<unsigned char, 10> kSegmentPatterns{123, 18, 103, 55, 30, 61, 125, 19, 127, 31};

// Where the cells sit on the face: hour tens, hour units, colon, minute tens, minute units.
inline constexpr std::array<int, 5> kCellLeft{25, 55, 85, 115, 145};
inline constexpr int kCellTop = 10;

// ---- Window pictures -----------------------------------------------------------

inline constexpr QSize kNotificationSize{400, 100};
inline constexpr QRect kNotificationEmblemArea{0, 0, 100, 100}; // the controls start at x = 104
inline constexpr QRgb kNotificationTop = qRgb(255, 236, 208);
inline constexpr QRgb kNotificationBottom = qRgb(255, 200, 140);
inline constexpr QRgb kEmblemBlue = qRgb(32, 88, 200);

inline constexpr QSize kMissedSize{400, 135};
inline constexpr int kMissedBevel = 8;
inline constexpr QRgb kMissedPanel = qRgb(0x4D, 0x4D, 0x4D);
inline constexpr QRgb kMissedBevelDark = qRgb(0x29, 0x29, 0x29);
inline constexpr QRgb kMissedBevelLight = qRgb(0x79, 0x79, 0x79);

inline constexpr QSize kBannerSize{300, 60};
inline constexpr QRgb kBannerTop = qRgb(236, 244, 255);
inline constexpr QRgb kBannerBottom = qRgb(178, 208, 244);
inline constexpr QRgb kBannerText = qRgb(20, 48, 110);
inline constexpr std::string_view kProgramName = "Tockwise";

inline constexpr QSize kAdPictureSize{750, 469};
inline constexpr QRect kAdLinkArea{528, 416, 209, 25};
inline constexpr QSize kPersonalPictureSize{750, 500};
inline constexpr QRect kPersonalLinkArea{48, 314, 273, 25};
inline constexpr QRgb kLinkInk = qRgb(0, 0, 255); // the same blue as the link labels
// The pointing hand over the about windows' links; its hot spot is the fingertip.
inline constexpr QSize kLinkCursorSize{32, 32};
inline constexpr QPoint kLinkCursorHotSpot{5, 1};

inline constexpr std::string_view kMakerName = "Varnod";
inline constexpr std::string_view kMakerAddress = "https://www.varnod.example";
inline constexpr std::string_view kProductFamilyName = "Crewline Kit";
inline constexpr std::string_view kProductFamilyAddress = "https://www.crewlinekit.example";

inline constexpr QSize kProgramIconSize{48, 48};

// File names inside the resources (":/pictures/<name>", ":/icons/<name>").
inline constexpr std::string_view kNotificationPicture = "notification.png";
inline constexpr std::string_view kMissedPicture = "missed.png";
inline constexpr std::string_view kBannerPicture = "banner.png";
inline constexpr std::string_view kAdPicture = "adform.jpg";
inline constexpr std::string_view kPersonalPicture = "personalform.jpg";
inline constexpr std::string_view kLinkCursor = "linkcursor.png";
inline constexpr std::string_view kProgramIconPng = "tockwise.png";
inline constexpr std::string_view kProgramIconSvg = "tockwise.svg";

// ---- Chime ---------------------------------------------------------------------

inline constexpr std::string_view kChimeFileName = "Chime1.wav";
inline constexpr int kChimeSampleRate = 44100;
inline constexpr double kChimeSeconds = 1.6;

} // namespace Artwork
