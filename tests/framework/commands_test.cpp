// fw::CommandSet: what a command gets from its menu text and the prompt table,
// and the tool bar built from a list of ids.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTest>
#include <QToolBar>

#include "framework/commands.h"

namespace {

const char* Prompts(int id) {
  switch (id) {
    case 1: return "Connect to the slave\nConnect (F3)";
    case 2: return "Close the window";
    default: return nullptr;
  }
}

QIcon RedIcon(const char*) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  return QIcon(pixmap);
}

}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void commandTakesTextShortcutPromptAndHandler() {
    QMainWindow window;
    QMenu* menu = window.menuBar()->addMenu("&File");
    fw::CommandSet commands(&window, &Prompts, Qt::ApplicationShortcut);
    int runs = 0;
    QAction* connect = commands.add(menu, 1, "&Connect...\tF3", [&runs] { ++runs; });
    QAction* close = commands.add(menu, 2, "&Close");
    QAction* bare = commands.add(menu, 3, "Bare");

    QCOMPARE(connect->text(), QString("&Connect..."));
    QCOMPARE(connect->shortcut(), QKeySequence("F3"));
    QCOMPARE(connect->shortcutContext(), Qt::ApplicationShortcut);
    QCOMPARE(connect->statusTip(), QString("Connect to the slave"));
    QCOMPARE(connect->toolTip(), QString("Connect (F3)"));
    QCOMPARE(close->shortcut(), QKeySequence());
    QCOMPARE(close->toolTip(), QString("Close the window"));  // no tip of its own: the text serves
    QVERIFY(bare->statusTip().isEmpty());
    QCOMPARE(menu->actions(), (QList<QAction*>{connect, close, bare}));
    QCOMPARE(commands.action(1), connect);
    QCOMPARE(commands.action(99), nullptr);

    connect->trigger();
    close->trigger();  // no handler: nothing runs
    QCOMPARE(runs, 1);

    QAction toggle;
    QCOMPARE(commands.adopt(menu, 2, &toggle, "&Toolbar"), &toggle);
    QCOMPARE(toggle.text(), QString("&Toolbar"));
    QCOMPARE(toggle.statusTip(), QString("Close the window"));
    QCOMPARE(commands.action(2), &toggle);
  }

  void toolBarFollowsTheListWithSeparators() {
    QMainWindow window;
    QMenu* menu = window.menuBar()->addMenu("&File");
    fw::CommandSet commands(&window, &Prompts);
    QAction* first = commands.add(menu, 1, "One");
    QAction* second = commands.add(menu, 2, "Two");
    QToolBar* bar = window.addToolBar("Toolbar");
    commands.fillToolBar(bar, {{2, "two"}, {}, {1, "one"}}, &RedIcon);

    const QList<QAction*> entries = bar->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0], second);
    QVERIFY(entries[1]->isSeparator());
    QCOMPARE(entries[2], first);
    QVERIFY(!first->icon().isNull());
    QCOMPARE(bar->iconSize(), QSize(16, 16));
    QCOMPARE(first->shortcutContext(), Qt::WindowShortcut);
  }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
