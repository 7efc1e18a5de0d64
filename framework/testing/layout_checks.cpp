#include "framework/testing/layout_checks.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "framework/mdi.h"

namespace fw::testing {

namespace {

QString Describe(const QString& what, const QRect& rect, const QRect& room) {
  return QStringLiteral("%1 at %2,%3 %4x%5 is not inside %6,%7 %8x%9")
      .arg(what).arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())
      .arg(room.x()).arg(room.y()).arg(room.width()).arg(room.height());
}

}  // namespace

QStringList OffScreenParts(const fw::MdiMainWindow& window, const QRect& screen, int decoration) {
  QStringList problems;
  if (!screen.contains(window.frameGeometry())) {
    problems << Describe(QStringLiteral("the main window"), window.frameGeometry(), screen);
  }
  const QRect area = window.mdiArea()->viewport()->rect().adjusted(0, 0, 0, -decoration);
  for (QMdiSubWindow* child : window.mdiArea()->subWindowList(QMdiArea::CreationOrder)) {
    if (!area.contains(child->geometry())) problems << Describe(child->windowTitle(), child->geometry(), area);
  }
  return problems;
}

}  // namespace fw::testing
