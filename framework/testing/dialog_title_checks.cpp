#include "framework/testing/dialog_title_checks.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPixmap>
#include <QStyle>

namespace fw::testing {

QString TitleClippedIn(QDialog* dialog) {
  dialog->show();
  QApplication::processEvents();
  const QPixmap picture = dialog->grab();
  dialog->hide();
  const QString title = dialog->windowTitle();
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const int buttons = 3 * dialog->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, dialog);
  const int needed = QFontMetrics(font).horizontalAdvance(title) + buttons;
  if (title.isEmpty()) return QStringLiteral("%1 has no title").arg(QLatin1String(dialog->metaObject()->className()));
  if (picture.width() >= needed) return QString();
  return QStringLiteral("\"%1\" is %2 wide, its title needs %3").arg(title).arg(picture.width()).arg(needed);
}

}  // namespace fw::testing
