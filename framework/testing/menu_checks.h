#pragma once
// Checks of a main window's menus shared by the programs' window tests: the
// Alt letters, and the Window menu's list of open windows.
#include <QList>
#include <QStringList>

class QAction;
class QMainWindow;

namespace fw::testing {

// Every clash as "<menu>: <letter> in <text>, <text>"; empty when there is none.
// Submenus are walked; separators and entries without a mnemonic are skipped.
// `kept` lists groups of texts that share their letter by design (texts a
// program must keep as they are); such a group is no clash.
QStringList DuplicateMnemonics(QMainWindow* window, const QList<QStringList>& kept = {});

// Opens the menu bar's menu that holds `last` as the user does (so that it
// brings itself up to date), closes it again and returns the entries after
// `last`, separators left out.
QList<QAction*> EntriesAfter(QMainWindow* window, QAction* last);

}  // namespace fw::testing
