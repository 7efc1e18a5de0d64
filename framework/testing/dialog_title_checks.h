#pragma once
// A check for the dialog tests of the three programs: does a dialog show its
// whole title? The desktop elides a title that does not fit beside the frame's
// buttons, so a dialog must be at least as wide as its title in the title-bar
// font plus three buttons of title-bar height.
#include <QString>

class QDialog;

namespace fw::testing {

// Shows the dialog (not modal), lets it lay out, grabs it and hides it again.
// An empty string when the title fits; otherwise what is wrong, naming the title.
QString TitleClippedIn(QDialog* dialog);

}  // namespace fw::testing
