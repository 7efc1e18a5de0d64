#include "framework/testing/command_prompts.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace fw::testing {

namespace {

void CollectWithoutPrompt(const QMenu* menu, QStringList* out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu() != nullptr) {
      CollectWithoutPrompt(a->menu(), out);
      continue;
    }
    if (a->text() == QLatin1String("Recent File")) continue;  // placeholder of an empty recent-file list
    if (a->statusTip().isEmpty()) out->append(menu->title() + " > " + a->text());
  }
}

}  // namespace

QStringList CommandsWithoutPrompt(QMainWindow* window) {
  QStringList out;
  for (QAction* top : window->menuBar()->actions())
    if (top->menu() != nullptr) CollectWithoutPrompt(top->menu(), &out);
  return out;
}

QString StatusTextWhileHovered(QMainWindow* window, QAction* action) {
  // Open the menu from the menu bar, as the user does, so that it knows who
  // opened it and its status texts reach the main window.
  for (QAction* top : window->menuBar()->actions()) {
    QMenu* menu = top->menu();
    if (menu == nullptr || !menu->actions().contains(action)) continue;
    window->statusBar()->clearMessage();
    window->menuBar()->setActiveAction(top);
    QCoreApplication::processEvents();
    menu->setActiveAction(action);
    QCoreApplication::processEvents();
    const QString shown = window->statusBar()->currentMessage();
    menu->close();
    window->menuBar()->setActiveAction(nullptr);
    return shown;
  }
  return QStringLiteral("<not in a top-level menu>");
}

}  // namespace fw::testing

namespace fw::testing {

QStringList ToolbarButtonsWithoutOwnImage(QMainWindow* window) {
  QStringList out;
  QList<QImage> seen;
  QStringList seenTexts;
  for (QToolBar* bar : window->findChildren<QToolBar*>()) {
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      const QImage image = a->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
      bool drawn = false;
      for (int y = 0; y < image.height() && !drawn; ++y)
        for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) > 0;
      if (a->icon().isNull() || !drawn) {
        out.append(a->text() + ": no image");
        continue;
      }
      const int same = seen.indexOf(image);
      if (same >= 0) out.append(a->text() + ": same image as " + seenTexts[same]);
      seen.append(image);
      seenTexts.append(a->text());
    }
  }
  return out;
}

}  // namespace fw::testing
