#pragma once
// A check for the window tests of both MDI programs: does a main window and
// every child window lie fully on a screen of a given size?
#include <QRect>
#include <QStringList>

namespace fw {
class MdiMainWindow;
}

namespace fw::testing {

// What lies off the screen (empty when nothing): the main window's outer
// rectangle must be inside `screen`, and every child window inside the MDI
// area's visible part less `decoration` pixels of height, the room a desktop's
// title bar and frame take from the client area (offscreen windows have none).
QStringList OffScreenParts(const fw::MdiMainWindow& window, const QRect& screen, int decoration);

}  // namespace fw::testing
