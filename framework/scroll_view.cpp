#include "framework/scroll_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include "framework/document.h"
#include "framework/printing.h"

namespace fw {

ScrollView::ScrollView(Document* document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document) {
  if (document != nullptr) {
    document->addView(this);
    connect(document, &Document::updateViews, this, [this](int hint) { onUpdate(hint); });
  }
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
}

void ScrollView::setScrollSizes(QSize total, QSize page, QSize line) {
  totalSize_ = total;
  pageStep_ = page;
  lineStep_ = line;
  updateScrollBars();
  viewport()->update();
}

QPoint ScrollView::scrollPosition() const {
  return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void ScrollView::scrollToPosition(QPoint position) {
  horizontalScrollBar()->setValue(position.x());
  verticalScrollBar()->setValue(position.y());
}

void ScrollView::updateScrollBars() {
  QSize visible = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, totalSize_.width() - visible.width()));
  verticalScrollBar()->setRange(0, std::max(0, totalSize_.height() - visible.height()));
  // Defaults as the classic scroll view: a page is a tenth of the total, a line a tenth of a page.
  int pageX = pageStep_.width() > 0 ? pageStep_.width() : std::max(1, totalSize_.width() / 10);
  int pageY = pageStep_.height() > 0 ? pageStep_.height() : std::max(1, totalSize_.height() / 10);
  int lineX = lineStep_.width() > 0 ? lineStep_.width() : std::max(1, pageX / 10);
  int lineY = lineStep_.height() > 0 ? lineStep_.height() : std::max(1, pageY / 10);
  horizontalScrollBar()->setPageStep(pageX);
  verticalScrollBar()->setPageStep(pageY);
  horizontalScrollBar()->setSingleStep(lineX);
  verticalScrollBar()->setSingleStep(lineY);
}

void ScrollView::onInitialUpdate() { onUpdate(0); }

void ScrollView::onUpdate(int) { viewport()->update(); }

void ScrollView::onDoubleClick(QPoint) {}

void ScrollView::runInitialUpdate() {
  if (initialUpdateDone_) return;
  initialUpdateDone_ = true;
  onInitialUpdate();
}

void ScrollView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  QPoint origin = scrollPosition();
  painter.translate(-origin);
  RenderTarget target;
  target.dotsPerInchX = viewport()->logicalDpiX();
  target.dotsPerInchY = viewport()->logicalDpiY();
  target.printing = false;
  target.area = event->rect().translated(origin);
  draw(painter, target);
}

void ScrollView::mouseDoubleClickEvent(QMouseEvent* event) {
  onDoubleClick(event->position().toPoint() + scrollPosition());
}

void ScrollView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
}

void ScrollView::renderPage(QPainter& painter, QPaintDevice* device) {
  RenderTarget target;
  target.dotsPerInchX = device->logicalDpiX();
  target.dotsPerInchY = device->logicalDpiY();
  target.printing = true;
  target.area = QRect(0, 0, device->width(), device->height());
  draw(painter, target);
}

void ScrollView::print() {
  PrintPage(this, [this](QPainter& painter, QPrinter& printer) { renderPage(painter, &printer); });
}

void ScrollView::printPreview() {
  PrintPreview(this, [this](QPainter& painter, QPrinter& printer) { renderPage(painter, &printer); });
}

}  // namespace fw
