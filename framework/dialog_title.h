#pragma once
// Dialogs as wide as their titles. The desktop draws a top-level window's
// title in its title bar and elides what does not fit beside the frame's
// buttons ("Set Log R..."); a dialog whose controls are narrower than its
// title would show it cut. These helpers give such a dialog the width of its
// title in the title-bar font plus room for the buttons and the frame edges.
class QCoreApplication;
class QWidget;

namespace fw {

// The width a window needs for its whole title: the title (without the "[*]"
// modified mark) in the bold title-bar font, plus the frame's buttons and edges.
int TitleFitWidth(const QWidget* window);

// Raises the window's minimum width to TitleFitWidth and widens it when it is
// narrower (keeping its centre); never narrows it.
void FitWidthToTitle(QWidget* window);

// An application-wide event filter: every QDialog fits its title when it is
// shown and when its title changes while it is visible, so dialogs fit without
// their own code calling anything. Called by InitApplication; tests that make
// dialogs without it may call it themselves (installing twice is harmless).
void InstallDialogTitleFit(QCoreApplication* application);

}  // namespace fw
