#include "master/app/zelmor_view.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>
#include <algorithm>

#include "common/value_format.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "master/core/engine_glue.h"
#include "master/core/poll_register_map.h"
#include "master/core/poll_results.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {
constexpr std::uint32_t kErrorColor = 0x0000FF;  // red as a COLORREF
bool gStatisticsShown = false;
bool gNamesShown = false;
}  // namespace

bool CZelmorView::namesShown() { return gNamesShown; }
void CZelmorView::setNamesShown(bool shown) { gNamesShown = shown; }

QString CZelmorView::cellName(int index) const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return {};
  return QString::fromStdString(zelmor::ItemNameText(doc->registerMap(), doc->function(), doc->address(), index));
}

bool CZelmorView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return fw::ScrollView::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const int index = itemAt(help->pos() + scrollPosition());
  const QString name = index >= 0 ? cellName(index) : QString();
  if (name.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), name, viewport());
  return true;
}

bool CZelmorView::statisticsShown() { return gStatisticsShown; }
void CZelmorView::setStatisticsShown(bool shown) { gStatisticsShown = shown; }

CZelmorView::CZelmorView(CZelmorDoc* document, QWidget* parent) : fw::ScrollView(document, parent) {
  target_ = std::make_unique<fw::MessageTarget>([this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == platform::WM_ENGINE_NOTIFY)
      onEngineNotify(static_cast<std::uint16_t>(wParam), static_cast<int>(lParam));
    else if (message == platform::WM_ENGINE_STATE)
      onEngineState();
    return std::intptr_t{0};
  });
  connect(this, &CZelmorView::editValueRequested, this, [this](int index) {
    if (CZelmorDoc* doc = zelmorDocument()) doc->editPollValue(index, this);
  });
}

CZelmorView::~CZelmorView() {
  // The slot belongs to this window: free it so another window can poll.
  if (CZelmorDoc* doc = zelmorDocument()) doc->unregisterPoll();
}

CZelmorDoc* CZelmorView::zelmorDocument() const { return qobject_cast<CZelmorDoc*>(document()); }

void CZelmorView::onInitialUpdate() {
  fw::ScrollView::onInitialUpdate();
  if (CZelmorDoc* doc = zelmorDocument()) doc->registerPollFor(engineHandle());
}

PollLayout CZelmorView::computeLayout(QPaintDevice* device, int outputHeight) const {
  PollLayout l;
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return l;
  QFontMetrics fm(fw::FontFromLogFont(doc->font()), device);
  l.rowHeight = std::max(1, fm.height() + fm.leading());
  l.wideLabels = valuefmt::UsesWideLabel(doc->oneBased(), doc->address(), doc->length());
  l.columnWidth = fm.horizontalAdvance(valuefmt::WidthTemplate(doc->function(), doc->displayFormat()));
  if (l.wideLabels) l.columnWidth += fm.horizontalAdvance(valuefmt::kWideLabelExtra);
  l.columnWidth = std::max(1, l.columnWidth);
  l.blanksPerCell = l.columnWidth / std::max(1, fm.horizontalAdvance(' '));
  l.gap = fm.horizontalAdvance(valuefmt::kColumnGapTemplate);
  int length = doc->length();
  if (gNamesShown && !doc->registerMap().entries.empty()) {
    for (int i = 0; i < length; ++i) l.nameWidth = std::max(l.nameWidth, fm.horizontalAdvance(cellName(i)));
    if (l.nameWidth > 0) l.nameWidth += fm.horizontalAdvance(' ');
    l.columnWidth += l.nameWidth;
  }
  l.rowsPerColumn = std::min(std::max(outputHeight / l.rowHeight - headerRows(), 5), std::max(length, 0));
  // A damaged file may carry length 0: no columns, no cells, the header still shows.
  l.columns = l.rowsPerColumn > 0 ? (length + l.rowsPerColumn - 1) / l.rowsPerColumn : 0;
  return l;
}

void CZelmorView::relayout(bool afterSizeChange) {
  layout_ = computeLayout(viewport(), viewport()->height());
  int width = std::max(1, layout_.columns * layout_.columnWidth - layout_.gap);
  int rows = std::min(layout_.rowsPerColumn + (afterSizeChange ? 2 : 0), 7) + headerRows() - 2;
  setScrollSizes(QSize(width, layout_.rowHeight * rows));
}

void CZelmorView::onUpdate(int) {
  relayout(false);
  scrollToPosition(QPoint(0, 0));
  errorText_.clear();
  viewport()->update();
}

void CZelmorView::refreshLayout() {
  relayout(false);
  viewport()->update();
}

void CZelmorView::resizeEvent(QResizeEvent* event) {
  fw::ScrollView::resizeEvent(event);
  relayout(true);
}

QString CZelmorView::headerLine() const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return {};
  bool enabled = doc->enable() == 1;
  char buffer[200];
  std::snprintf(buffer, sizeof buffer, enabled ? text::kHeaderEnabled : text::kHeaderDisabled,
                static_cast<int>(doc->txCount()), static_cast<int>(doc->txCount() - doc->goodCount()), doc->slaveId(),
                doc->function(), doc->scanRate());
  return QString::fromLatin1(buffer) +
         QString(enabled ? text::kHeaderEnabledBlanks : text::kHeaderDisabledBlanks, QLatin1Char(' '));
}

QString CZelmorView::statisticsLine() const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return {};
  return QString::fromStdString(zelmor::StatisticsLine(doc->responseTimes()));
}

QString CZelmorView::cellLabel(int index) const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return {};
  return QString::fromStdString(
      valuefmt::AddressLabel(doc->function(), doc->oneBased(), doc->address(), doc->length(), index));
}

QString CZelmorView::cellValue(int index) const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return {};
  return QString::fromStdString(valuefmt::CellValueText(doc->values(), masterengine::kRequestDataBytes, doc->function(), doc->displayFormat(),
                                                        index, doc->length(), valuefmt::TextForm::kMasterScreen,
                                                        false));
}

void CZelmorView::draw(QPainter& painter, const fw::RenderTarget& target) {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return;
  PollLayout l = layout_;
  int margin = 0;
  // The header stays at the visible left edge when the table scrolls sideways
  // (the whole window is repainted on a horizontal scroll).
  int headerX = scrollPosition().x();
  if (target.printing) {
    // One page: rows from the page height, a left margin of a tenth of the page.
    l = computeLayout(painter.device(), target.area.height());
    margin = target.area.width() / 10;
    headerX = margin;
  }
  painter.setFont(fw::FontFromLogFont(doc->font()));
  QColor textColor = fw::ColorFromColorRef(doc->textColor());
  int lineWidth = std::max(target.area.width(), l.columns * l.columnWidth + margin);

  painter.setPen(textColor);
  painter.drawText(QRect(headerX, 0, lineWidth, l.rowHeight), Qt::AlignLeft | Qt::AlignTop, headerLine());

  if (!zelmor::LinkIsOpen()) errorText_ = text::kNoConnection;
  painter.setPen(fw::ColorFromColorRef(kErrorColor));
  painter.drawText(QRect(headerX, l.rowHeight, lineWidth, l.rowHeight), Qt::AlignLeft | Qt::AlignTop,
                   QString(text::kErrorLineBlanks, QLatin1Char(' ')) + errorText_);

  painter.setPen(textColor);
  const int firstRow = headerRows();
  if (firstRow == 3)
    painter.drawText(QRect(headerX, 2 * l.rowHeight, lineWidth, l.rowHeight), Qt::AlignLeft | Qt::AlignTop,
                     statisticsLine());
  int length = doc->length();
  for (int i = 0; i < length && l.rowsPerColumn > 0; ++i) {
    int column = i / l.rowsPerColumn, row = i % l.rowsPerColumn;
    int x = column * l.columnWidth + margin;
    int y = l.rowHeight * (row + firstRow);
    QRect cell(x, y, l.columnWidth, l.rowHeight);
    if (!target.printing && !cell.intersects(target.area)) continue;
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop, cellLabel(i));
    painter.drawText(QRect(x, y, l.columnWidth - l.gap - l.nameWidth, l.rowHeight), Qt::AlignRight | Qt::AlignTop,
                     cellValue(i));
    if (l.nameWidth > 0)
      painter.drawText(QRect(x + l.columnWidth - l.gap - l.nameWidth + painter.fontMetrics().horizontalAdvance(QLatin1Char(' ')), y, l.nameWidth, l.rowHeight),
                       Qt::AlignLeft | Qt::AlignTop, cellName(i));
  }
}

int CZelmorView::itemAt(QPoint p) const {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr || p.x() < 0 || p.y() < 0) return -1;
  int row = p.y() / layout_.rowHeight - headerRows();
  if (row < 0) return -1;
  int index = (p.x() / layout_.columnWidth) * layout_.rowsPerColumn + row;
  if (index >= doc->length() || doc->function() < 1 || doc->function() > 4) return -1;
  return index;
}

void CZelmorView::onDoubleClick(QPoint contentPosition) {
  int index = itemAt(contentPosition);
  if (index >= 0) emit editValueRequested(index);
}

void CZelmorView::onEngineNotify(std::uint16_t result, int slot) {
  CZelmorDoc* doc = zelmorDocument();
  if (doc == nullptr) return;
  // A notification that was under way when the definition changed belongs to
  // an old registration: its result says nothing about the new one.
  if (!doc->notificationIsCurrent(slot)) return;
  std::uint16_t code = doc->takeNotification(result, slot);
  errorText_ = QString::fromStdString(zelmor::ErrorTextForResult(code));
  if (slot != 0 || code == 0)
    viewport()->update();
  else
    fw::ShowMessage(errorText_, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
}

void CZelmorView::onEngineState() {
  errorText_.clear();
  viewport()->update();
}
