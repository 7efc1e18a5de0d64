#pragma once
// Checks of the status-bar prompts of a main window's commands, shared by the
// programs' window tests.
#include <QStringList>

class QAction;
class QMainWindow;

namespace fw::testing {

// The texts of the menu commands (every level, submenus walked, separators and
// disabled placeholders skipped) that have no status-bar prompt.
QStringList CommandsWithoutPrompt(QMainWindow* window);

// Opens the menu of the menu bar that holds action, hovers the action as the
// keyboard or the mouse would, and returns what the status bar then shows. The
// menu is closed again.
QString StatusTextWhileHovered(QMainWindow* window, QAction* action);

// The toolbar buttons whose 16x16 image is missing, blank, or the same as an
// earlier button's, as "<text>: <reason>".
QStringList ToolbarButtonsWithoutOwnImage(QMainWindow* window);

}  // namespace fw::testing
