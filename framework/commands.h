#pragma once
// A main window's commands by id: each command's action is made once, with its
// text and shortcut, its status-bar prompt and its handler, put into its menu,
// and kept under its id for the enabling rules, the tool bar and tests.
#include <QHash>
#include <Qt>
#include <functional>
#include <initializer_list>

class QAction;
class QIcon;
class QMenu;
class QToolBar;
class QWidget;

namespace fw {

// The prompt of the Window menu's entries for the open windows.
constexpr const char* kWindowListPrompt = "Activate this window\nActivate";

// "&Connect...\tF3": the part after the tab is the shortcut.
void SetTextAndShortcut(QAction* action, const char* menuText);

// One tool bar entry: the command and the name of its image; id 0 is a separator.
struct ToolButton {
  int id = 0;
  const char* icon = nullptr;
};

class CommandSet {
 public:
  // The program's prompt table ("text\ntip" per command id, nullptr for none).
  using PromptLookup = const char* (*)(int commandId);
  // Image of a tool bar button by its name.
  using IconLookup = std::function<QIcon(const char* name)>;

  // owner: the main window, parent of the actions. context: where the
  // shortcuts of the commands work.
  CommandSet(QWidget* owner, PromptLookup prompts, Qt::ShortcutContext context = Qt::WindowShortcut);

  // Command `id` at the end of `menu`; handler (may be empty) runs when it is triggered.
  QAction* add(QMenu* menu, int id, const char* menuText, std::function<void()> handler = {});
  // An action made elsewhere (a tool bar's show/hide toggle) as command `id` of `menu`.
  QAction* adopt(QMenu* menu, int id, QAction* action, const char* menuText);

  // nullptr for an id that is no command.
  QAction* action(int commandId) const { return actions_.value(commandId); }

  // Fills `bar` in the order given, each command with its image, at 16x16.
  void fillToolBar(QToolBar* bar, std::initializer_list<ToolButton> buttons, const IconLookup& icon) const;

 private:
  QWidget* owner_;
  PromptLookup prompts_;
  Qt::ShortcutContext context_;
  QHash<int, QAction*> actions_;
};

}  // namespace fw
