#include "framework/dialog_title.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QStyle>
#include <algorithm>

namespace fw {

namespace {

// Buttons beside the title (close, maximise, minimise) and the window icon.
constexpr int kTitleBarButtons = 4;
// Space between the title, the buttons and the frame edges.
constexpr int kTitleBarPadding = 24;

class DialogTitleFit : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::WindowTitleChange) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog == nullptr || !dialog->isWindow()) return false;
    if (type == QEvent::Show || dialog->isVisible()) FitWidthToTitle(dialog);
    return false;
  }
};

}  // namespace

int TitleFitWidth(const QWidget* window) {
  QString title = window->windowTitle();
  title.remove(QStringLiteral("[*]"));
  if (title.isEmpty()) return 0;
  // The desktop's title-bar font, which many window managers draw bold.
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const int textWidth = std::max(QFontMetrics(font).horizontalAdvance(title),
                                 QFontMetrics(QApplication::font()).horizontalAdvance(title));
  const QStyle* style = window->style();
  const int button = std::max(style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                              QFontMetrics(font).height() + 4);
  return textWidth + kTitleBarButtons * button + kTitleBarPadding;
}

void FitWidthToTitle(QWidget* window) {
  const int needed = TitleFitWidth(window);
  if (needed <= window->minimumWidth()) return;
  window->setMinimumWidth(std::min(needed, window->maximumWidth()));
  const int width = window->width();
  if (width < window->minimumWidth()) {
    const int grow = window->minimumWidth() - width;
    window->setGeometry(window->x() - grow / 2, window->y(), window->minimumWidth(), window->height());
  }
}

void InstallDialogTitleFit(QCoreApplication* application) {
  static const char* const kName = "fw_dialog_title_fit";
  if (application == nullptr || application->findChild<QObject*>(QLatin1String(kName),
                                                                 Qt::FindDirectChildrenOnly)) {
    return;
  }
  auto* filter = new DialogTitleFit(application);
  filter->setObjectName(QLatin1String(kName));
  application->installEventFilter(filter);
}

}  // namespace fw
