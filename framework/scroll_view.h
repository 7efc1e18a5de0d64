#pragma once
// Base of the cell-table views: a scrolling view of one document that draws
// itself with a QPainter, on screen and on a printed page alike.
#include <QAbstractScrollArea>
#include <QPointer>
#include <QSize>

class QPainter;

namespace fw {

class Document;

// Where the view is drawn: the output's resolution (to turn points into
// device units), whether it is a printer, and the area available.
struct RenderTarget {
  int dotsPerInchX = 96;
  int dotsPerInchY = 96;
  bool printing = false;
  QRect area;  // visible part (screen, in content coordinates) or the page rectangle (printer)
};

class ScrollView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit ScrollView(Document* document, QWidget* parent = nullptr);

  Document* document() const { return document_; }

  // Size of the whole content in pixels, and the steps of page and line scrolling.
  void setScrollSizes(QSize total, QSize page = QSize(), QSize line = QSize());
  QSize totalSize() const { return totalSize_; }
  // Content coordinate of the viewport's top-left corner.
  QPoint scrollPosition() const;
  void scrollToPosition(QPoint position);

  // Called once, when the view is first shown in its frame (the main window
  // calls it after creating the frame). Default: onUpdate(0).
  virtual void onInitialUpdate();
  // Called by the document's change notification. Default: repaint.
  virtual void onUpdate(int hint);
  // Draws the content, translated so that (0, 0) is the content's origin.
  virtual void draw(QPainter& painter, const RenderTarget& target) = 0;
  // A double click at a content coordinate.
  virtual void onDoubleClick(QPoint contentPosition);

  bool initialUpdateDone() const { return initialUpdateDone_; }
  void runInitialUpdate();  // onInitialUpdate once

  // One page on the shared printer (print dialog first) / in a preview dialog.
  void print();
  void printPreview();
  // Renders the view on a paint device the way printing does (tests, export).
  void renderPage(QPainter& painter, QPaintDevice* device);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void updateScrollBars();
  QPointer<Document> document_;
  QSize totalSize_;
  QSize pageStep_;
  QSize lineStep_;
  bool initialUpdateDone_ = false;
};

}  // namespace fw
