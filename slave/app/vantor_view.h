#pragma once
// CVantorView: the slave definition's values as a table of labelled cells,
// refreshed on every engine notification; the periodic refresh also runs the
// automatic value changes. A double click opens the edit dialog of the cell.
#include <QFont>
#include <memory>

#include "framework/scroll_view.h"
#include "platform/messages.h"

class CVantorDoc;
class QFontMetrics;

namespace fw {
class MessageTarget;
}

// Cell layout in device units of one output (screen or printer).
struct CellLayout {
  int rowHeight = 20;
  int columnWidth = 140;
  int rowsPerColumn = 10;
  int columns = 1;
  int gap = 30;
};

class CVantorView : public fw::ScrollView {
  Q_OBJECT

 public:
  explicit CVantorView(CVantorDoc* document, QWidget* parent = nullptr);
  ~CVantorView() override;

  CVantorDoc* doc() const;
  platform::WindowHandle handle() const;
  const CellLayout& layout() const { return layout_; }

  void onInitialUpdate() override;
  void onUpdate(int hint) override;
  void draw(QPainter& painter, const fw::RenderTarget& target) override;
  void onDoubleClick(QPoint contentPosition) override;

  // The element index under a content position, or -1.
  int indexAt(QPoint contentPosition) const;
  // Opens the edit dialog for an element index as a double click does.
  void editElement(int index);
  void editOrderedValue(int index);

  // Texts of the cells as drawn (tests, printing).
  QString cellValueText(int index) const;
  QString cellLabel(int index) const;
  QString headerText() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // "Simulation..." for the value under the pointer.
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void handleEngineMessage(std::uint32_t message, std::uintptr_t wParam);
  CellLayout computeLayout(const QFontMetrics& metrics, int outputHeight) const;
  void relayout(bool afterSizeChange);
  QFont screenFont() const;

  std::unique_ptr<fw::MessageTarget> target_;
  CellLayout layout_;
};
