#pragma once
// The view options of a list of traffic lines (the traffic monitor, zelmor's
// test center): zoom by Ctrl+wheel and Ctrl+plus/minus (Ctrl+0: the window's
// own size), a time stamp with milliseconds before each line, Tx and Rx lines
// in colours, and a tool tip with the whole line where the list cuts it.
// The options are check-able actions of the list's context menu and live in
// one section of the program's profile; all are off, and the font is the
// window's own, until the user changes them. The menu is the list's actions
// (Qt::ActionsContextMenu): a window adds its own entries with list->addAction().
// The time stamp is the time the window took the line.
#include <QFont>
#include <QObject>
#include <QString>

class QAction;
class QListWidget;
class QListWidgetItem;
class QPoint;

namespace linkui {

class TrafficViewOptions : public QObject {
  Q_OBJECT

 public:
  // Takes the list's current font as the normal size and applies what the
  // section of the profile holds (nothing is read or stored without a profile).
  TrafficViewOptions(QListWidget* list, const QString& profileSection);

  // Appends a line as the window composed it; with time stamps on it is shown
  // after the time it arrived.
  QListWidgetItem* addLine(const QString& text, bool sent);
  // The line as composed, without its time stamp.
  static QString lineText(const QListWidgetItem* item);

  // Zoom steps from the normal size (one pixel each).
  int zoom() const { return zoom_; }
  void setZoom(int steps);
  bool timeStamps() const;
  bool colours() const;
  // The whole line under a point of the list's viewport when the list cuts
  // it, else an empty text.
  QString toolTipAt(const QPoint& position) const;

  QAction* zoomInAction() const { return zoomIn_; }
  QAction* zoomOutAction() const { return zoomOut_; }
  QAction* normalSizeAction() const { return normalSize_; }
  QAction* timeStampAction() const { return timeStamp_; }
  QAction* colourAction() const { return colour_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showLine(QListWidgetItem* item) const;
  void showAll();
  void store(const char* key, int value) const;

  QListWidget* list_;
  QObject* viewport_ = nullptr;  // the list's viewport, where wheel and tool-tip events arrive
  QString section_;
  QFont normalFont_;
  int normalPixels_;
  int zoom_ = 0;
  int wheelAngle_ = 0;  // wheel turn not yet worth a whole step
  QAction* zoomIn_;
  QAction* zoomOut_;
  QAction* normalSize_;
  QAction* timeStamp_;
  QAction* colour_;
};

}  // namespace linkui
