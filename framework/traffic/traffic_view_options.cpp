#include "framework/traffic/traffic_view_options.h"

#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QListWidget>
#include <QStyle>
#include <QTime>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

#include "framework/profile.h"

namespace linkui {

namespace {

// The options' texts.
constexpr const char* kZoomInText = "Zoom &In";
constexpr const char* kZoomOutText = "Zoom &Out";
constexpr const char* kNormalSizeText = "&Normal Size";
constexpr const char* kTimeStampText = "&Time Stamps";
constexpr const char* kColourText = "&Colour Tx/Rx Lines";
// Profile keys inside the window's section.
constexpr const char* kZoomKey = "Zoom";
constexpr const char* kTimeStampKey = "TimeStamps";
constexpr const char* kColourKey = "ColourLines";
// "12:34:56.789 " before the line.
constexpr const char* kStampFormat = "HH:mm:ss.zzz ";

constexpr int kMinPixels = 6;
constexpr int kMaxPixels = 48;
constexpr int kWheelStep = 120;  // one notch of a common wheel

// What each line keeps besides its shown text.
constexpr int kLineRole = Qt::UserRole;
constexpr int kSentRole = Qt::UserRole + 1;
constexpr int kTimeRole = Qt::UserRole + 2;

// Dark text on a light list, light text on a dark one: blue for Tx, green for Rx.
QColor LineColour(bool sent, const QColor& base) {
  if (base.lightness() >= 128) return sent ? QColor(0, 0, 170) : QColor(0, 110, 0);
  return sent ? QColor(130, 180, 255) : QColor(130, 225, 130);
}

}  // namespace

TrafficViewOptions::TrafficViewOptions(QListWidget* list, const QString& profileSection)
    : QObject(list), list_(list), section_(profileSection), normalFont_(list->font()) {
  normalPixels_ = normalFont_.pixelSize() > 0 ? normalFont_.pixelSize() : QFontInfo(normalFont_).pixelSize();
  zoomIn_ = new QAction(QString::fromLatin1(kZoomInText), list);
  zoomIn_->setShortcuts({QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  zoomOut_ = new QAction(QString::fromLatin1(kZoomOutText), list);
  zoomOut_->setShortcuts(QKeySequence::ZoomOut);
  normalSize_ = new QAction(QString::fromLatin1(kNormalSizeText), list);
  normalSize_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  timeStamp_ = new QAction(QString::fromLatin1(kTimeStampText), list);
  colour_ = new QAction(QString::fromLatin1(kColourText), list);
  timeStamp_->setCheckable(true);
  colour_->setCheckable(true);
  auto* separator = new QAction(list);
  separator->setSeparator(true);
  // The list's context menu offers the options; the shortcuts work anywhere in its window.
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
  list->addActions({zoomIn_, zoomOut_, normalSize_, separator, timeStamp_, colour_});

  if (fw::HasAppProfile()) {
    const fw::Profile& profile = fw::AppProfile();
    setZoom(profile.readIntInRange(section_, kZoomKey, 0, kMinPixels - normalPixels_, kMaxPixels - normalPixels_));
    timeStamp_->setChecked(profile.readIntInRange(section_, kTimeStampKey, 0, 0, 1) == 1);
    colour_->setChecked(profile.readIntInRange(section_, kColourKey, 0, 0, 1) == 1);
  }
  connect(zoomIn_, &QAction::triggered, this, [this] { setZoom(zoom_ + 1); });
  connect(zoomOut_, &QAction::triggered, this, [this] { setZoom(zoom_ - 1); });
  connect(normalSize_, &QAction::triggered, this, [this] { setZoom(0); });
  connect(timeStamp_, &QAction::toggled, this, [this](bool on) {
    store(kTimeStampKey, on ? 1 : 0);
    showAll();
  });
  connect(colour_, &QAction::toggled, this, [this](bool on) {
    store(kColourKey, on ? 1 : 0);
    showAll();
  });
  viewport_ = list->viewport();
  viewport_->installEventFilter(this);
  list->installEventFilter(this);
}

QListWidgetItem* TrafficViewOptions::addLine(const QString& text, bool sent) {
  auto* item = new QListWidgetItem;
  item->setData(kLineRole, text);
  item->setData(kSentRole, sent);
  item->setData(kTimeRole, QTime::currentTime());
  showLine(item);
  list_->addItem(item);
  return item;
}

QString TrafficViewOptions::lineText(const QListWidgetItem* item) {
  const QVariant line = item->data(kLineRole);
  return line.isValid() ? line.toString() : item->text();
}

void TrafficViewOptions::setZoom(int steps) {
  steps = std::clamp(steps, kMinPixels - normalPixels_, kMaxPixels - normalPixels_);
  const bool changed = steps != zoom_;
  zoom_ = steps;
  QFont font = normalFont_;
  if (zoom_ != 0) font.setPixelSize(normalPixels_ + zoom_);
  list_->setFont(font);
  if (changed) store(kZoomKey, zoom_);
}

bool TrafficViewOptions::timeStamps() const { return timeStamp_->isChecked(); }

bool TrafficViewOptions::colours() const { return colour_->isChecked(); }

QString TrafficViewOptions::toolTipAt(const QPoint& position) const {
  const QListWidgetItem* item = list_->itemAt(position);
  if (item == nullptr) return QString();
  const QRect rect = list_->visualItemRect(item);
  const int margin = list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1;
  const int textRight = rect.left() + margin + QFontMetrics(list_->font()).horizontalAdvance(item->text());
  const bool cut = rect.left() < 0 || textRight > std::min(rect.right() + 1, list_->viewport()->width());
  return cut ? item->text() : QString();
}

bool TrafficViewOptions::eventFilter(QObject* watched, QEvent* event) {
  // Events reach the filter while the list is being destroyed too: compare
  // with the viewport kept at the start, never ask the list for it then.
  if (watched == viewport_ && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier)) return false;
    wheelAngle_ += wheel->angleDelta().y();
    const int steps = wheelAngle_ / kWheelStep;
    wheelAngle_ -= steps * kWheelStep;
    if (steps != 0) setZoom(zoom_ + steps);
    return true;  // Ctrl+wheel zooms and does not scroll
  }
  if (watched == viewport_ && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), text, list_->viewport());
    return true;
  }
  if (watched == list_ && event->type() == QEvent::PaletteChange && colour_->isChecked()) showAll();
  return false;
}

void TrafficViewOptions::showLine(QListWidgetItem* item) const {
  const QString line = lineText(item);
  const QTime time = item->data(kTimeRole).toTime();
  item->setText(timeStamp_->isChecked() && time.isValid() ? time.toString(QLatin1String(kStampFormat)) + line : line);
  if (colour_->isChecked())
    item->setForeground(LineColour(item->data(kSentRole).toBool(), list_->palette().color(QPalette::Base)));
  else
    item->setData(Qt::ForegroundRole, QVariant());
}

void TrafficViewOptions::showAll() {
  for (int i = 0; i < list_->count(); ++i) showLine(list_->item(i));
}

void TrafficViewOptions::store(const char* key, int value) const {
  if (!fw::HasAppProfile()) return;
  fw::AppProfile().writeInt(section_, key, value);
  fw::AppProfile().sync();
}

}  // namespace linkui
