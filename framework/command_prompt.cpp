#include "framework/command_prompt.h"

#include <QAction>
#include <QString>

namespace fw {

void SetCommandPrompt(QAction* action, const char* prompt) {
  if (action == nullptr || prompt == nullptr) return;
  const QString full = QString::fromUtf8(prompt);
  const int newline = full.indexOf(QLatin1Char('\n'));
  const QString text = newline < 0 ? full : full.left(newline);
  action->setStatusTip(text);
  action->setToolTip(newline < 0 ? text : full.mid(newline + 1));
}

}  // namespace fw
