#pragma once
// The MDI main window and its child frames.
//
// MdiMainWindow owns a QMdiArea; each document lives in one ChildFrame holding
// one view. It handles File New/Open/Save/Save As/Close/Exit, the recent-file
// list, drag and drop of files, window arrangement, the title, the "Position"
// section of the profile and "always on top". Applications derive from it,
// build their menus from their own texts and connect them to the public slots.
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRect>

#include "common/archive.h"
#include "framework/document.h"

class QAction;
class QMdiArea;
class QMenu;
class QMimeData;

namespace fw {

class Document;
class DocumentTemplate;
class Profile;
class RecentFileList;

// An MDI child window holding one view of one document. Closing it asks the
// document (canClose) and destroys document and view together.
class ChildFrame : public QMdiSubWindow {
  Q_OBJECT

 public:
  ChildFrame(Document* document, QWidget* view, QWidget* parent = nullptr);
  ~ChildFrame() override;

  Document* document() const { return document_; }
  QWidget* view() const { return widget(); }
  // Geometry in the MDI area the last time the frame was neither minimised nor maximised.
  QRect normalRect() const { return normalRect_; }
  void setNormalRect(const QRect& rect) { normalRect_ = rect; }

  archive::WindowPlacement placement() const;
  bool applyPlacement(const archive::WindowPlacement& placement);
  // True once a placement (from a file) was applied: such a frame keeps its place.
  bool hasAppliedPlacement() const { return appliedPlacement_; }

  // Destroys frame, view and document at once without asking the document
  // (after the caller has asked, e.g. closeAllDocuments).
  void closeWithoutAsking();
  bool isClosing() const { return closing_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void rememberNormalRect();
  void updateCaption();
  QPointer<Document> document_;
  QRect normalRect_;
  bool closing_ = false;
  bool appliedPlacement_ = false;
};

class MdiMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // recentFileCount: entries of the recent-file list (6 zelmor, 4 vantor).
  MdiMainWindow(Profile* profile, int recentFileCount, QWidget* parent = nullptr);
  ~MdiMainWindow() override;

  Profile* profile() const { return profile_; }
  QMdiArea* mdiArea() const { return mdiArea_; }
  RecentFileList* recentFiles() const { return recentFiles_; }

  // The first template added is the one File New and File Open use.
  void addDocumentTemplate(DocumentTemplate* documentTemplate);
  DocumentTemplate* documentTemplate() const;

  // A new untitled document in a new child frame; the view's initial update runs.
  Document* newDocument();
  // The application's open-document operation (recent files, drag and drop,
  // command line, File Open). Base: openDocumentFile. Override to route other
  // paths (workspaces) elsewhere.
  virtual Document* openDocument(const QString& path);
  // Opens path as a document (activating it if it is already open) and adds
  // it to the recent-file list. nullptr when it failed (already reported).
  Document* openDocumentFile(const QString& path);

  QList<Document*> documents() const;  // in the order of their frames' creation
  Document* activeDocument() const;
  ChildFrame* activeFrame() const;
  ChildFrame* frameOf(const Document* document) const;

  // Asks every modified document to save and closes them all. False (and
  // nothing more closed) as soon as one refuses.
  bool closeAllDocuments();
  // maybeSave for every document; false as soon as one refuses.
  bool saveAllModified();

  // Section "Position", keys Cx, Cy, x, y. readPosition applies a stored
  // size when Cx is not 0; writePosition stores the position of the outer
  // frame (x, y) and the window's size (Cx, Cy) unless the window is
  // minimised or maximised, so that the rectangle round-trips exactly.
  void readPosition();
  void writePosition();

  // Stays above other windows, without moving or resizing. setAlwaysOnTop
  // only applies the state; toggleAlwaysOnTop also writes "View"/"AlwaysOnTop".
  void setAlwaysOnTop(bool onTop);
  bool alwaysOnTop() const { return alwaysOnTop_; }

  // Puts the open child windows at the end of the Window menu: "&1 Title",
  // "&2 Title", ... in the order they were opened, the active one checked;
  // choosing one activates it. The list is made afresh whenever the menu is
  // about to show.
  void listWindowsIn(QMenu* menu);

  // Opens every local file of a drop (or paste) through openDocument; the number opened.
  int openDroppedFiles(const QMimeData* data);

  // Caption: the active document's title with the modified mark "[*]", which the
  // desktop completes with the program's name; empty (the program's name alone)
  // without a document or while the active child is maximized.
  void updateTitle();

 public slots:
  void fileNew();
  void fileOpen();
  bool fileSave();
  bool fileSaveAs();
  void fileClose();
  void fileExit();  // close(): refused while a document refuses
  void filePrint();
  void filePrintPreview();
  void filePrintSetup();
  void cascade();  // Window > Cascade: all open windows
  void tile();
  void arrangeIcons();
  void toggleAlwaysOnTop();

 signals:
  void activeDocumentChanged(fw::Document* document);
  // After any document was added or closed (menus that depend on "a document is open").
  void documentsChanged();

 protected:
  // Hook for the application: a frame was created for a new or opened document.
  virtual void frameCreated(ChildFrame*) {}
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  ChildFrame* createFrame(Document* document);
  void showNewFrame(ChildFrame* frame);
  // A new frame without a placement of its own opens one title bar further
  // right and down than the last one, inside the visible client area: back at
  // the top-left when it would leave the area, and never larger than the area.
  void placeNewFrame(ChildFrame* frame);
  void fillWindowList(QMenu* menu);
  Profile* profile_;
  QMdiArea* mdiArea_;
  RecentFileList* recentFiles_;
  QList<DocumentTemplate*> templates_;
  QList<QAction*> windowList_;  // the Window menu's window entries and their separator
  QList<QPointer<ChildFrame>> unplacedFrames_;  // new frames made while the area was hidden
  QPoint nextCascade_;  // where the next new frame opens
  bool alwaysOnTop_ = false;
};

}  // namespace fw
