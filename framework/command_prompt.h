#pragma once
// Status-bar prompts of menu and toolbar commands.
class QAction;

namespace fw {

// prompt is "text\ntip": the text shows in the main window's status bar while
// the command is hovered in a menu or on the toolbar, the tip is the command's
// tool tip. Without a line break the text serves as both. nullptr does nothing.
void SetCommandPrompt(QAction* action, const char* prompt);

// The prompt of the recent-file entries.
constexpr const char* kRecentFilePrompt = "Open this document\nOpen";

}  // namespace fw
