#include "slave/app/vantor_view.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <bit>

#include "common/value_format.h"
#include "framework/placement.h"
#include "framework/window_messages.h"
#include "resources/vantor_resources.h"
#include "slave/app/edit_dialogs.h"
#include "slave/app/vantor_doc.h"
#include "slave/engine/autochange.h"
#include "slave/engine/receive_loop.h"

namespace {

constexpr int kHeaderRows = 2;
constexpr int kMinRowsPerColumn = 5;
constexpr int kMaxScrollRows = 7;
constexpr std::uint32_t kRed = 0x0000FF;
// Values that a simulation rule moves (on screen only).
constexpr std::uint32_t kSimulatedBlue = 0xC06000;

QString Blanks(int count) { return QString(count, QLatin1Char(' ')); }

}  // namespace

CVantorView::CVantorView(CVantorDoc* document, QWidget* parent) : fw::ScrollView(document, parent) {
  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
        handleEngineMessage(message, wParam);
        return 0;
      });
}

CVantorView::~CVantorView() {
  target_.reset();
  if (CVantorDoc* d = doc()) d->releaseSlot();
}

CVantorDoc* CVantorView::doc() const { return static_cast<CVantorDoc*>(document()); }

platform::WindowHandle CVantorView::handle() const { return target_->handle(); }

void CVantorView::onInitialUpdate() {
  fw::ScrollView::onInitialUpdate();
  doc()->registerWithEngine(handle());
}

void CVantorView::handleEngineMessage(std::uint32_t message, std::uintptr_t wParam) {
  if (message == platform::WM_ENGINE_NOTIFY) {
    doc()->refreshFromEngine(wParam == 0);
    viewport()->update();
  } else if (message == platform::WM_ENGINE_STATE) {
    viewport()->update();
  }
}

QFont CVantorView::screenFont() const { return fw::FontFromLogFont(doc()->font()); }

CellLayout CVantorView::computeLayout(const QFontMetrics& metrics, int outputHeight) const {
  const CVantorDoc* d = doc();
  CellLayout l;
  l.rowHeight = std::max(1, metrics.height() + metrics.leading());
  QString widthTemplate = QString::fromLatin1(valuefmt::WidthTemplate(d->table(), d->displayFormat()));
  if (valuefmt::UsesWideLabel(d->oneBased(), d->address(), d->length()))
    widthTemplate += QString::fromLatin1(valuefmt::kWideLabelExtra);
  l.columnWidth = std::max(1, metrics.horizontalAdvance(widthTemplate));
  l.gap = metrics.horizontalAdvance(QString::fromLatin1(valuefmt::kColumnGapTemplate));
  const int length = std::max(0, d->length());
  l.rowsPerColumn = std::max(outputHeight / l.rowHeight - kHeaderRows, kMinRowsPerColumn);
  if (length > 0) l.rowsPerColumn = std::min(l.rowsPerColumn, length);
  l.columns = length > 0 ? (length + l.rowsPerColumn - 1) / l.rowsPerColumn : 0;
  return l;
}

void CVantorView::relayout(bool afterSizeChange) {
  const QFontMetrics metrics(screenFont(), viewport());
  layout_ = computeLayout(metrics, viewport()->height());
  const int width = std::max(1, layout_.columns * layout_.columnWidth - layout_.gap);
  const int rows = afterSizeChange ? layout_.rowsPerColumn + kHeaderRows : layout_.rowsPerColumn;
  const int height = layout_.rowHeight * std::min(rows, kMaxScrollRows);
  setScrollSizes(QSize(width, height), QSize(), QSize(layout_.columnWidth, layout_.rowHeight));
}

void CVantorView::onUpdate(int hint) {
  if (hint == kHintValues) {
    viewport()->update();
    return;
  }
  relayout(false);
  scrollToPosition(QPoint(0, 0));
  viewport()->update();
}

void CVantorView::resizeEvent(QResizeEvent* event) {
  fw::ScrollView::resizeEvent(event);
  if (doc()) relayout(true);
}

QString CVantorView::headerText() const { return QString::asprintf("ID = %i", doc()->slaveId()) + Blanks(4); }

QString CVantorView::cellLabel(int index) const {
  const CVantorDoc* d = doc();
  return QString::fromStdString(valuefmt::AddressLabel(d->table(), d->oneBased(), d->address(), d->length(), index));
}

QString CVantorView::cellValueText(int index) const {
  const CVantorDoc* d = doc();
  return QString::fromStdString(valuefmt::CellValueText(d->image(), autochange::kImageBytes, d->table(),
                                                        d->displayFormat(), index, d->length(),
                                                        valuefmt::TextForm::kSlaveScreen, true));
}

void CVantorView::draw(QPainter& painter, const fw::RenderTarget& target) {
  const CVantorDoc* d = doc();
  QFont font = screenFont();
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  CellLayout l = layout_;
  int margin = 0;
  int headerX = target.area.left();
  if (target.printing) {
    // The page: 90 % of its width, a left margin of one tenth.
    margin = target.area.width() / 10;
    l = computeLayout(metrics, target.area.height());
    headerX = margin;
  }
  const QColor textColor = fw::ColorFromColorRef(d->textColor());
  const int ascentOffset = metrics.ascent();

  painter.setPen(textColor);
  painter.drawText(headerX, ascentOffset, headerText());
  painter.setPen(fw::ColorFromColorRef(kRed));
  QString line2 = Blanks(58);
  if (!slaveloop::IsLinkOpen()) line2 += QString::fromLatin1(vantorres::kNoConnection);
  painter.drawText(headerX, l.rowHeight + ascentOffset, line2);

  painter.setPen(textColor);
  const int length = d->length();
  // Only the cells that meet the visible area are drawn (large tables stay cheap).
  const QRect area = target.area;
  for (int column = 0; column < l.columns; ++column) {
    const int x = margin + column * l.columnWidth;
    if (!target.printing && (x > area.right() || x + l.columnWidth < area.left())) continue;
    for (int row = 0; row < l.rowsPerColumn; ++row) {
      const int index = column * l.rowsPerColumn + row;
      if (index >= length) break;
      const int y = l.rowHeight * (row + kHeaderRows);
      if (!target.printing && (y > area.bottom() || y + l.rowHeight < area.top())) continue;
      painter.drawText(x, y + ascentOffset, cellLabel(index));
      const QString value = cellValueText(index);
      if (!value.isEmpty()) {
        const int right = x + l.columnWidth - l.gap;
        const bool simulated = !target.printing && (d->simulation().covers(index) || d->replayed(index));
        if (simulated) painter.setPen(fw::ColorFromColorRef(kSimulatedBlue));
        painter.drawText(right - metrics.horizontalAdvance(value), y + ascentOffset, value);
        if (simulated) painter.setPen(textColor);
      }
    }
  }
}

void CVantorView::contextMenuEvent(QContextMenuEvent* event) {
  const int index = indexAt(event->pos() + scrollPosition());
  QMenu menu(this);
  QAction* simulate = menu.addAction(QString::fromLatin1(vantorres::kSimulation));
  if (menu.exec(event->globalPos()) == simulate) doc()->editSimulation(this, index);
}

int CVantorView::indexAt(QPoint p) const {
  if (layout_.rowHeight <= 0 || layout_.columnWidth <= 0) return -1;
  const int row = p.y() / layout_.rowHeight - kHeaderRows;
  if (row < 0 || p.x() < 0) return -1;
  const int index = (p.x() / layout_.columnWidth) * layout_.rowsPerColumn + row;
  return index < doc()->length() ? index : -1;
}

void CVantorView::onDoubleClick(QPoint contentPosition) {
  const int index = indexAt(contentPosition);
  if (index >= 0) editElement(index);
}

// The formats 10..19: the value in the format's order, entered as its kind.
void CVantorView::editOrderedValue(int index) {
  CVantorDoc* d = doc();
  const int format = d->displayFormat();
  const int count = valuefmt::RegistersPerValue(format);
  if (index >= count * (d->length() / count)) return;
  const int v = index / count;
  const std::uint64_t bits = autochange::ImageValue(d->image(), v, count, valuefmt::OrderOf(format));
  const bool autoOn = d->autoFlag(v) != 0;
  switch (valuefmt::KindOf(format)) {
    case valuefmt::ValueKind::kFloat: {
      EditFloatDialog dialog(false, std::bit_cast<float>(static_cast<std::uint32_t>(bits)), autoOn, this);
      if (dialog.exec() == QDialog::Accepted)
        d->editValue(v, std::bit_cast<std::uint32_t>(static_cast<float>(dialog.value())), dialog.autoIncrement());
      break;
    }
    case valuefmt::ValueKind::kDouble: {
      EditFloatDialog dialog(true, std::bit_cast<double>(bits), autoOn, this);
      if (dialog.exec() == QDialog::Accepted)
        d->editValue(v, std::bit_cast<std::uint64_t>(dialog.value()), dialog.autoIncrement());
      break;
    }
    case valuefmt::ValueKind::kLong: {
      EditLongDialog dialog(static_cast<std::int32_t>(bits), autoOn, this);
      if (dialog.exec() == QDialog::Accepted) d->editValue(v, dialog.bits(), dialog.autoIncrement());
      break;
    }
    default: {
      EditLongDialog dialog(static_cast<std::uint32_t>(bits), autoOn, this);
      if (dialog.exec() == QDialog::Accepted) d->editValue(v, dialog.bits(), dialog.autoIncrement());
      break;
    }
  }
}

void CVantorView::editElement(int index) {
  CVantorDoc* d = doc();
  const int length = d->length();
  if (index < 0 || index >= length) return;
  const std::uint8_t* image = d->image();
  const int format = d->displayFormat();
  const bool swap = autochange::IsSwapped(format);
  if (autochange::IsBitTable(d->table())) {
    EditCoilDialog dialog(autochange::ImageBit(image, index), d->autoFlag(index) != 0, this);
    if (dialog.exec() == QDialog::Accepted) d->editCoil(index, dialog.value(), dialog.autoChange());
  } else if (format <= autochange::kHex) {
    EditRegisterDialog dialog(format, autochange::ImageRegister(image, index), d->autoFlag(index) != 0, this);
    if (dialog.exec() == QDialog::Accepted) d->editRegister(index, dialog.value(), dialog.autoIncrement());
  } else if (format == autochange::kBinary) {
    EditBinaryDialog dialog(autochange::ImageRegister(image, index), d->autoFlag(index) != 0, this);
    if (dialog.exec() == QDialog::Accepted) d->editRegister(index, dialog.value(), dialog.autoIncrement());
  } else if (format >= autochange::kFormatCount) {
    editOrderedValue(index);
  } else if (format == autochange::kFloat || format == autochange::kFloatInverse) {
    if (index >= 2 * (length / 2)) return;
    const int p = index / 2;
    EditFloatDialog dialog(false, autochange::ImageFloat(image, p, swap), d->autoFlag(p) != 0, this);
    if (dialog.exec() == QDialog::Accepted)
      d->editFloat(p, static_cast<float>(dialog.value()), dialog.autoIncrement());
  } else if (format == autochange::kDouble || format == autochange::kDoubleInverse) {
    if (index >= 4 * (length / 4)) return;
    const int q = index / 4;
    EditFloatDialog dialog(true, autochange::ImageDouble(image, q, swap), d->autoFlag(q) != 0, this);
    if (dialog.exec() == QDialog::Accepted) d->editDouble(q, dialog.value(), dialog.autoIncrement());
  } else {
    if (index >= 2 * (length / 2)) return;
    const int p = index / 2;
    EditLongDialog dialog(autochange::ImageLong(image, p, swap), d->autoFlag(p) != 0, this);
    if (dialog.exec() == QDialog::Accepted) d->editLong(p, dialog.value(), dialog.autoIncrement());
  }
  viewport()->update();
}
