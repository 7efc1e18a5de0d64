#pragma once
// Conversions between the binary records of the files and Qt: window
// placements (top-level windows and MDI child frames), logical fonts and
// 0x00BBGGRR colours.
#include <QColor>
#include <QFont>
#include <cstdint>

#include "common/archive.h"

class QWidget;

namespace fw {

// The placement of a top-level window (outer frame rectangle in screen
// coordinates) or of an MDI child frame (rectangle in the MDI area). The
// normal rectangle is kept while the window is minimised or maximised.
archive::WindowPlacement PlacementOf(const QWidget* window);
// Moves/resizes the window to the normal rectangle and applies the show
// command (1 normal, 2 minimised, 3 maximised; anything else is "normal").
// False, and nothing changed, for a record whose length field is not 44 or
// whose rectangle is empty or inverted.
bool ApplyPlacement(QWidget* window, const archive::WindowPlacement& placement);

// Windows MulDiv: a * b / c rounded to nearest, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);
// A font height stored as negative points (-10 = 10 pt) in device pixels at
// the given vertical resolution, as a negative cell height: -MulDiv(pt, dpi, 72).
int PointsToDeviceHeight(int heightPoints, int dotsPerInchY);
// Back again: -MulDiv(-deviceHeight, 72, dpi) (negative points).
int DeviceHeightToPoints(int deviceHeight, int dotsPerInchY);

// A QFont from a logical font: a negative height is points, a positive height
// pixels; weight 0 means normal; fixed pitch / modern family become a
// monospace style hint so a missing face falls back to a fixed font.
QFont FontFromLogFont(const archive::LogFont& font);
// A logical font from a QFont. Fields a QFont does not carry (width,
// escapement, precisions, quality, character set) are taken from base.
archive::LogFont LogFontFromFont(const QFont& font, const archive::LogFont& base = {});

QColor ColorFromColorRef(std::uint32_t colorRef);
std::uint32_t ColorRefFromColor(const QColor& color);

}  // namespace fw
