#include "framework/commands.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QToolBar>

#include "framework/command_prompt.h"

namespace fw {

void SetTextAndShortcut(QAction* action, const char* menuText) {
  const QString full = QString::fromUtf8(menuText);
  const int tab = full.indexOf(QLatin1Char('\t'));
  if (tab < 0) {
    action->setText(full);
    return;
  }
  action->setText(full.left(tab));
  action->setShortcut(QKeySequence(full.mid(tab + 1)));
}

CommandSet::CommandSet(QWidget* owner, PromptLookup prompts, Qt::ShortcutContext context)
    : owner_(owner), prompts_(prompts), context_(context) {}

QAction* CommandSet::add(QMenu* menu, int id, const char* menuText, std::function<void()> handler) {
  auto* action = new QAction(owner_);
  action->setShortcutContext(context_);
  adopt(menu, id, action, menuText);
  if (handler) QObject::connect(action, &QAction::triggered, owner_, std::move(handler));
  return action;
}

QAction* CommandSet::adopt(QMenu* menu, int id, QAction* action, const char* menuText) {
  SetTextAndShortcut(action, menuText);
  SetCommandPrompt(action, prompts_(id));
  menu->addAction(action);
  actions_.insert(id, action);
  return action;
}

void CommandSet::fillToolBar(QToolBar* bar, std::initializer_list<ToolButton> buttons, const IconLookup& icon) const {
  for (const ToolButton& button : buttons) {
    if (button.id == 0) {
      bar->addSeparator();
      continue;
    }
    QAction* command = action(button.id);
    command->setIcon(icon(button.icon));
    bar->addAction(command);
  }
  bar->setIconSize(QSize(16, 16));
}

}  // namespace fw
