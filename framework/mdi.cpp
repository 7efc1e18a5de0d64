#include "framework/mdi.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <utility>

#include "framework/command_prompt.h"
#include "framework/commands.h"
#include "framework/document.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "framework/printing.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/scroll_view.h"

namespace fw {

// ---------------------------------------------------------------- ChildFrame

ChildFrame::ChildFrame(Document* document, QWidget* view, QWidget* parent)
    : QMdiSubWindow(parent), document_(document) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(view);
  if (document != nullptr) {
    connect(document, &Document::titleChanged, this, &ChildFrame::updateCaption);
  }
  updateCaption();
}

ChildFrame::~ChildFrame() {
  closing_ = true;
  // The view goes first: its destructor may still talk to the document.
  delete widget();
  delete document_.data();
}

archive::WindowPlacement ChildFrame::placement() const { return PlacementOf(this); }

bool ChildFrame::applyPlacement(const archive::WindowPlacement& placement) {
  if (!ApplyPlacement(this, placement)) return false;
  appliedPlacement_ = true;
  return true;
}

void ChildFrame::closeWithoutAsking() {
  closing_ = true;
  delete this;
}

void ChildFrame::closeEvent(QCloseEvent* event) {
  if (!closing_ && document_ != nullptr && !document_->canClose()) {
    event->ignore();
    return;
  }
  closing_ = true;
  QMdiSubWindow::closeEvent(event);
}

void ChildFrame::moveEvent(QMoveEvent* event) {
  QMdiSubWindow::moveEvent(event);
  rememberNormalRect();
}

void ChildFrame::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  rememberNormalRect();
}

void ChildFrame::changeEvent(QEvent* event) {
  QMdiSubWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) rememberNormalRect();
}

void ChildFrame::rememberNormalRect() {
  if (!isMinimized() && !isMaximized() && !isShaded()) normalRect_ = geometry();
}

void ChildFrame::updateCaption() {
  setWindowTitle(document_ != nullptr ? document_->title() : QString());
}

// ------------------------------------------------------------- MdiMainWindow

MdiMainWindow::MdiMainWindow(Profile* profile, int recentFileCount, QWidget* parent)
    : QMainWindow(parent), profile_(profile), mdiArea_(new QMdiArea(this)) {
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdiArea_);
  setAcceptDrops(true);
  recentFiles_ = new RecentFileList(profile, recentFileCount, this);
  connect(recentFiles_, &RecentFileList::openRequested, this,
          [this](const QString& path) { openDocument(path); });
  connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
    updateTitle();
    emit activeDocumentChanged(activeDocument());
  });
  updateTitle();
}

MdiMainWindow::~MdiMainWindow() {
  // The derived window is already gone: no more signals to its slots while
  // the frames, which own their documents, are destroyed.
  blockSignals(true);
  disconnect(mdiArea_, nullptr, this, nullptr);
  for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
    disconnect(window, nullptr, this, nullptr);
    if (auto* frame = qobject_cast<ChildFrame*>(window)) {
      if (frame->document() != nullptr) disconnect(frame->document(), nullptr, this, nullptr);
    }
  }
  for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
    if (auto* frame = qobject_cast<ChildFrame*>(window)) frame->closeWithoutAsking();
  }
}

void MdiMainWindow::addDocumentTemplate(DocumentTemplate* documentTemplate) {
  templates_.append(documentTemplate);
}

DocumentTemplate* MdiMainWindow::documentTemplate() const {
  return templates_.isEmpty() ? nullptr : templates_.first();
}

ChildFrame* MdiMainWindow::createFrame(Document* document) {
  DocumentTemplate* owner = document->documentTemplate();
  QWidget* view = owner->createView(document);
  document->addView(view);
  auto* frame = new ChildFrame(document, view);
  mdiArea_->addSubWindow(frame);
  connect(document, &Document::titleChanged, this, &MdiMainWindow::updateTitle);
  connect(document, &Document::modifiedChanged, this, &MdiMainWindow::updateTitle);
  connect(frame, &QMdiSubWindow::windowStateChanged, this, &MdiMainWindow::updateTitle);
  connect(document, &Document::saved, recentFiles_, &RecentFileList::add);
  connect(frame, &QObject::destroyed, this, [this] {
    updateTitle();
    emit documentsChanged();
  });
  return frame;
}

void MdiMainWindow::showNewFrame(ChildFrame* frame) {
  if (!frame->hasAppliedPlacement()) {
    // Hidden, the area has no size yet: placed when the window is shown.
    if (mdiArea_->isVisible()) placeNewFrame(frame);
    else unplacedFrames_.append(frame);
  }
  if (!frame->isVisible()) frame->show();
  mdiArea_->setActiveSubWindow(frame);
  if (auto* view = qobject_cast<ScrollView*>(frame->widget())) view->runInitialUpdate();
  frameCreated(frame);
  updateTitle();
  emit documentsChanged();
}

void MdiMainWindow::placeNewFrame(ChildFrame* frame) {
  const QSize area = mdiArea_->viewport()->size();
  if (area.isEmpty() || frame->isMaximized() || frame->isMinimized()) return;
  bool alone = true;
  for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
    if (window != frame && window->isVisible()) alone = false;
  }
  if (alone) nextCascade_ = QPoint(0, 0);
  const QSize size = frame->size().boundedTo(area);
  QPoint at = nextCascade_;
  if (at.x() + size.width() > area.width() || at.y() + size.height() > area.height()) at = QPoint(0, 0);
  frame->setGeometry(QRect(at, size));
  const int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
  nextCascade_ = at + QPoint(step, step);
}

Document* MdiMainWindow::newDocument() {
  DocumentTemplate* owner = documentTemplate();
  if (owner == nullptr) return nullptr;
  Document* document = owner->createDocument(true);
  if (document == nullptr) return nullptr;
  showNewFrame(createFrame(document));
  return document;
}

Document* MdiMainWindow::openDocument(const QString& path) { return openDocumentFile(path); }

Document* MdiMainWindow::openDocumentFile(const QString& path) {
  QString absolute = QFileInfo(path).absoluteFilePath();
  for (Document* open : documents()) {
    if (open->path() == absolute) {
      if (ChildFrame* frame = frameOf(open)) mdiArea_->setActiveSubWindow(frame);
      recentFiles_->add(absolute);
      return open;
    }
  }
  DocumentTemplate* owner = documentTemplate();
  for (DocumentTemplate* candidate : templates_) {
    if (candidate->matches(path)) {
      owner = candidate;
      break;
    }
  }
  if (owner == nullptr) return nullptr;
  Document* document = owner->createDocument(false);
  if (document == nullptr) return nullptr;
  ChildFrame* frame = createFrame(document);
  if (!document->load(absolute)) {
    frame->closeWithoutAsking();
    recentFiles_->remove(absolute);
    return nullptr;
  }
  document->afterLoad();
  showNewFrame(frame);
  recentFiles_->add(absolute);
  return document;
}

QList<Document*> MdiMainWindow::documents() const {
  QList<Document*> result;
  for (QMdiSubWindow* window : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    auto* frame = qobject_cast<ChildFrame*>(window);
    if (frame != nullptr && !frame->isClosing() && frame->document() != nullptr) {
      result.append(frame->document());
    }
  }
  return result;
}

Document* MdiMainWindow::activeDocument() const {
  ChildFrame* frame = activeFrame();
  return frame != nullptr ? frame->document() : nullptr;
}

ChildFrame* MdiMainWindow::activeFrame() const {
  auto* frame = qobject_cast<ChildFrame*>(mdiArea_->activeSubWindow());
  if (frame == nullptr) {
    // Without focus (hidden main window, tests) fall back to the frontmost frame.
    QList<QMdiSubWindow*> order = mdiArea_->subWindowList(QMdiArea::StackingOrder);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      auto* candidate = qobject_cast<ChildFrame*>(*it);
      if (candidate != nullptr && !candidate->isClosing()) return candidate;
    }
  }
  return frame != nullptr && !frame->isClosing() ? frame : nullptr;
}

ChildFrame* MdiMainWindow::frameOf(const Document* document) const {
  for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
    auto* frame = qobject_cast<ChildFrame*>(window);
    if (frame != nullptr && frame->document() == document) return frame;
  }
  return nullptr;
}

bool MdiMainWindow::saveAllModified() {
  for (Document* document : documents()) {
    if (!document->canClose()) return false;
  }
  return true;
}

bool MdiMainWindow::closeAllDocuments() {
  if (!saveAllModified()) return false;
  for (Document* document : documents()) {
    if (ChildFrame* frame = frameOf(document)) frame->closeWithoutAsking();
  }
  return true;
}

void MdiMainWindow::readPosition() {
  const QString section = QStringLiteral("Position");
  int width = profile_->readInt(section, QStringLiteral("Cx"), 0);
  if (width == 0) return;
  int height = profile_->readInt(section, QStringLiteral("Cy"), 0);
  int x = profile_->readInt(section, QStringLiteral("x"), 0);
  int y = profile_->readInt(section, QStringLiteral("y"), 0);
  if (width < 0 || height <= 0) return;
  move(x, y);
  resize(width, height);
}

void MdiMainWindow::writePosition() {
  if (isMinimized() || isMaximized() || isFullScreen()) return;
  const QString section = QStringLiteral("Position");
  QRect outer = frameGeometry();
  profile_->writeInt(section, QStringLiteral("Cx"), width());
  profile_->writeInt(section, QStringLiteral("Cy"), height());
  profile_->writeInt(section, QStringLiteral("x"), outer.x());
  profile_->writeInt(section, QStringLiteral("y"), outer.y());
  profile_->sync();
}

void MdiMainWindow::setAlwaysOnTop(bool onTop) {
  alwaysOnTop_ = onTop;
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
  bool visible = isVisible();
  QRect rect = geometry();
  // Changing the flags re-creates the native window, which hides it.
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible) {
    setGeometry(rect);
    show();
  }
}

void MdiMainWindow::toggleAlwaysOnTop() {
  setAlwaysOnTop(!alwaysOnTop_);
  profile_->writeInt(QStringLiteral("View"), QStringLiteral("AlwaysOnTop"), alwaysOnTop_ ? 1 : 0);
}

void MdiMainWindow::updateTitle() {
  // The title names the active document; the desktop adds the program's name
  // (applicationDisplayName), giving "Vantor1 — Vantor", and "[*]" marks
  // unsaved changes. A maximized child puts its own caption into this title
  // ("<title> - [<caption>]"), so then the title is left empty and the
  // caption alone is shown.
  Document* document = activeDocument();
  QMdiSubWindow* active = mdiArea_->activeSubWindow();
  if (document == nullptr || (active != nullptr && active->isMaximized())) {
    setWindowTitle(QString());
  } else {
    setWindowTitle(document->title() + QStringLiteral("[*]"));
  }
  setWindowModified(document != nullptr && document->isModified());
}

void MdiMainWindow::fileNew() { newDocument(); }

void MdiMainWindow::fileOpen() {
  FileDialogRequest request;
  if (DocumentTemplate* owner = documentTemplate()) {
    request.filter = owner->info().filter;
    request.defaultExtension = owner->info().extension;
  }
  QString path = ChooseFile(this, request);
  if (!path.isEmpty()) openDocument(path);
}

bool MdiMainWindow::fileSave() {
  Document* document = activeDocument();
  return document != nullptr && document->save();
}

bool MdiMainWindow::fileSaveAs() {
  Document* document = activeDocument();
  return document != nullptr && document->saveAs();
}

void MdiMainWindow::fileClose() {
  if (ChildFrame* frame = activeFrame()) frame->close();
}

void MdiMainWindow::fileExit() { close(); }

void MdiMainWindow::filePrint() {
  if (ChildFrame* frame = activeFrame()) {
    if (auto* view = qobject_cast<ScrollView*>(frame->widget())) view->print();
  }
}

void MdiMainWindow::filePrintPreview() {
  if (ChildFrame* frame = activeFrame()) {
    if (auto* view = qobject_cast<ScrollView*>(frame->widget())) view->printPreview();
  }
}

void MdiMainWindow::filePrintSetup() { PrintSetup(this); }

void MdiMainWindow::cascade() { mdiArea_->cascadeSubWindows(); }

void MdiMainWindow::tile() { mdiArea_->tileSubWindows(); }

void MdiMainWindow::arrangeIcons() {
  // Minimised frames in a row along the bottom edge of the MDI area.
  int x = 0;
  int bottom = mdiArea_->viewport()->height();
  for (QMdiSubWindow* window : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    if (!window->isMinimized()) continue;
    QSize size = window->size();
    if (x > 0 && x + size.width() > mdiArea_->viewport()->width()) {
      x = 0;
      bottom -= size.height();
    }
    window->move(x, bottom - size.height());
    x += size.width();
  }
}

void MdiMainWindow::listWindowsIn(QMenu* menu) {
  connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillWindowList(menu); });
}

void MdiMainWindow::fillWindowList(QMenu* menu) {
  for (QAction* entry : std::as_const(windowList_)) {
    menu->removeAction(entry);
    entry->deleteLater();
  }
  windowList_.clear();
  QMdiSubWindow* active = mdiArea_->activeSubWindow();
  if (active == nullptr) active = activeFrame();
  int number = 0;
  for (QMdiSubWindow* window : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
    auto* frame = qobject_cast<ChildFrame*>(window);
    if (window->isHidden() || (frame != nullptr && frame->isClosing())) continue;
    if (number == 0) windowList_.append(menu->addSeparator());
    ++number;
    // Only 1 to 9 get a mnemonic; a single "&" in a title would become one.
    const QString title = window->windowTitle().replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QString label = number <= 9 ? QStringLiteral("&%1 %2").arg(number).arg(title)
                                      : QStringLiteral("%1 %2").arg(number).arg(title);
    auto* entry = new QAction(label, menu);
    entry->setCheckable(true);
    entry->setChecked(window == active);
    SetCommandPrompt(entry, kWindowListPrompt);
    connect(entry, &QAction::triggered, this, [this, target = QPointer<QMdiSubWindow>(window)] {
      if (target != nullptr) mdiArea_->setActiveSubWindow(target);
    });
    menu->addAction(entry);
    windowList_.append(entry);
  }
}

void MdiMainWindow::closeEvent(QCloseEvent* event) {
  if (!saveAllModified()) {
    event->ignore();
    return;
  }
  writePosition();
  for (Document* document : documents()) {
    if (ChildFrame* frame = frameOf(document)) frame->closeWithoutAsking();
  }
  event->accept();
}

void MdiMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MdiMainWindow::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  activateWindow();
  openDroppedFiles(event->mimeData());
}

int MdiMainWindow::openDroppedFiles(const QMimeData* data) {
  int opened = 0;
  // Copy first: opening may show boxes that run the event loop.
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile() && openDocument(url.toLocalFile()) != nullptr) ++opened;
  }
  return opened;
}

void MdiMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  const QList<QPointer<ChildFrame>> unplaced = std::exchange(unplacedFrames_, {});
  for (const QPointer<ChildFrame>& frame : unplaced) {
    if (frame != nullptr && !frame->isClosing() && !frame->hasAppliedPlacement()) placeNewFrame(frame);
  }
  // Shown again (e.g. after starting hidden): apply the top-most state again.
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != alwaysOnTop_) setAlwaysOnTop(alwaysOnTop_);
}

}  // namespace fw
