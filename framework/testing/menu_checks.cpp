#include "framework/testing/menu_checks.h"

#include <QAction>
#include <QCoreApplication>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QMenuBar>

namespace fw::testing {

namespace {

// The letter after the first single "&" ("&&" is a literal ampersand), lower case; null when none.
QChar Mnemonic(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
    ++i;
  }
  return {};
}

bool IsKept(QStringList texts, const QList<QStringList>& kept) {
  texts.sort();
  for (QStringList group : kept) {
    group.sort();
    if (group == texts) return true;
  }
  return false;
}

void CheckEntries(const QString& name, const QList<QAction*>& actions, const QList<QStringList>& kept,
                  QStringList* out) {
  QMap<QChar, QStringList> byLetter;
  for (QAction* a : actions) {
    if (a->isSeparator() || !a->isVisible()) continue;
    const QChar letter = Mnemonic(a->text());
    if (!letter.isNull()) byLetter[letter] << a->text();
    if (a->menu() != nullptr) CheckEntries(name + " > " + a->text(), a->menu()->actions(), kept, out);
  }
  for (auto it = byLetter.cbegin(); it != byLetter.cend(); ++it)
    if (it.value().size() > 1 && !IsKept(it.value(), kept))
      out->append(name + ": " + it.key() + " in " + it.value().join(", "));
}

}  // namespace

QStringList DuplicateMnemonics(QMainWindow* window, const QList<QStringList>& kept) {
  QStringList out;
  CheckEntries(QStringLiteral("menu bar"), window->menuBar()->actions(), kept, &out);
  return out;
}

QList<QAction*> EntriesAfter(QMainWindow* window, QAction* last) {
  for (QAction* top : window->menuBar()->actions()) {
    QMenu* menu = top->menu();
    if (menu == nullptr || !menu->actions().contains(last)) continue;
    window->menuBar()->setActiveAction(top);
    QCoreApplication::processEvents();
    const QList<QAction*> all = menu->actions();
    menu->close();
    window->menuBar()->setActiveAction(nullptr);
    QList<QAction*> entries;
    for (qsizetype i = all.indexOf(last) + 1; i < all.size(); ++i)
      if (!all[i]->isSeparator()) entries << all[i];
    return entries;
  }
  return {};
}

}  // namespace fw::testing
