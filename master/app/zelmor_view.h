#pragma once
// CZelmorView: the poll window's table. A two-line header (counters, the latest
// error) above cells of "label = value" in columns; takes the scheduler's
// notifications and repaints.
#include <QString>
#include <memory>

#include "framework/scroll_view.h"
#include "framework/window_messages.h"

class CZelmorDoc;
class QPaintDevice;

// Layout of the cells on one output (screen or printer), in its device units.
struct PollLayout {
  int rowHeight = 20;
  int columnWidth = 140;
  int rowsPerColumn = 10;
  int columns = 1;
  int gap = 30;
  int blanksPerCell = 0;
  bool wideLabels = false;
  int nameWidth = 0;  // the register map's name column (0 when off or without names)
};

class CZelmorView : public fw::ScrollView {
  Q_OBJECT

 public:
  explicit CZelmorView(CZelmorDoc* document, QWidget* parent = nullptr);
  ~CZelmorView() override;

  CZelmorDoc* zelmorDocument() const;
  // The window the scheduler posts this poll's notifications to.
  platform::WindowHandle engineHandle() const { return target_->handle(); }

  void onInitialUpdate() override;
  void onUpdate(int hint) override;
  void draw(QPainter& painter, const fw::RenderTarget& target) override;
  void onDoubleClick(QPoint contentPosition) override;

  // The texts the view draws, for printing, logs and tests.
  QString headerLine() const;
  // The response-time line below the error line, while statistics are shown.
  QString statisticsLine() const;
  QString errorText() const { return errorText_; }
  QString cellLabel(int index) const;
  QString cellValue(int index) const;
  const PollLayout& layout() const { return layout_; }
  // Lines above the cells: header and error line, and the statistics line when shown.
  int headerRows() const { return statisticsShown() ? 3 : 2; }
  // View > Statistics, one switch for every poll window (kept in the profile).
  static bool statisticsShown();
  static void setStatisticsShown(bool shown);
  // The name column of the windows with a register map (off unless switched on).
  static bool namesShown();
  static void setNamesShown(bool shown);
  // The register map's "Name [unit]" of a cell; "" when it has none.
  QString cellName(int index) const;
  // Lays the cells out again after the header rows changed; keeps the error line.
  void refreshLayout();
  // Item index under a content position, or -1.
  int itemAt(QPoint contentPosition) const;

  // Computes the layout for an output of the given size (rows from the height).
  PollLayout computeLayout(QPaintDevice* device, int outputHeight) const;

  // The scheduler's messages (also called directly by tests).
  void onEngineNotify(std::uint16_t result, int slot);
  void onEngineState();

 signals:
  // A double click on item `index`: the write dialogs open from here.
  void editValueRequested(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool viewportEvent(QEvent* event) override;  // the cell's name as its tool tip

 private:
  void relayout(bool afterSizeChange);

  std::unique_ptr<fw::MessageTarget> target_;
  PollLayout layout_;
  QString errorText_;
};
