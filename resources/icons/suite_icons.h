#pragma once
// Icons of the three programs and the toolbar images, drawn from the SVG files
// in resources/icons (compiled in as ":/icons/apps/<program>.svg" and
// ":/icons/toolbar/<name>.svg").
#include <QIcon>
#include <QString>

namespace suiteicons {

// The program's icon ("zelmor", "vantor", "kestrin") at the sizes window
// managers and task bars ask for. Null when there is no such image.
QIcon ProgramIcon(const QString& program);

// A 16x16 toolbar image (also drawn at 32x32 for high-density screens). Null
// when there is no such image.
QIcon ToolbarIcon(const QString& name);

// Makes the program's icon the window icon of every window and dialog, and
// names its desktop entry (example.orvane.<program>.desktop) so that docks and
// Wayland compositors match the windows to the installed entry and icon.
void InitProgramDesktop(const QString& program);

}  // namespace suiteicons
