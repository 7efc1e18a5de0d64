#include "resources/icons/suite_icons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <initializer_list>

namespace suiteicons {

namespace {

// Renders the SVG at each size itself, so that the icons do not depend on the
// SVG icon-engine plugin being found at run time.
QIcon RenderedIcon(const QString& resource, std::initializer_list<int> sizes) {
  QSvgRenderer renderer(resource);
  if (!renderer.isValid()) return QIcon();
  QIcon icon;
  for (int size : sizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon ProgramIcon(const QString& program) {
  return RenderedIcon(QStringLiteral(":/icons/apps/%1.svg").arg(program), {16, 22, 24, 32, 48, 64, 128, 256});
}

QIcon ToolbarIcon(const QString& name) {
  return RenderedIcon(QStringLiteral(":/icons/toolbar/%1.svg").arg(name), {16, 32});
}

void InitProgramDesktop(const QString& program) {
  QApplication::setWindowIcon(ProgramIcon(program));
  QGuiApplication::setDesktopFileName(QStringLiteral("example.orvane.") + program);
}

}  // namespace suiteicons
