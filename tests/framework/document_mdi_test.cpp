// Documents in MDI frames: the change notification, the "Save changes to %1?"
// cycle with save-as for untitled documents, atomic saves, load errors, the
// recent-file list, closing refused by a document, the "Position" section.
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

#include "framework/document.h"
#include "framework/mdi.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/scroll_view.h"
#include "framework/testing/file_dialog_recorder.h"
#include "framework/testing/message_box_recorder.h"

namespace {

// A document whose file is its value as 4 little-endian bytes followed by
// `padding` zero bytes (to make large files).
class ValueDocument : public fw::Document {
 public:
  int value = 0;
  int padding = 0;
  bool refuseSerialize = false;
  bool afterLoadSawFrame = false;
  archive::WindowPlacement placementToApply{};  // length 0: none

  bool serialize(std::vector<std::uint8_t>* bytes, QString* error) const override {
    if (refuseSerialize) {
      *error = "value not storable";
      return false;
    }
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    bytes->insert(bytes->end(), static_cast<std::size_t>(padding), 0);
    return true;
  }
  bool deserialize(const std::vector<std::uint8_t>& bytes, QString* error) override {
    if (bytes.size() < 4) {
      *error = "Unexpected file format.";
      return false;
    }
    value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24;
    return true;
  }
  void afterLoad() override {
    afterLoadSawFrame = frame() != nullptr;
    if (frame() != nullptr && placementToApply.length == archive::kPlacementSize) {
      frame()->applyPlacement(placementToApply);
    }
  }
};

struct ViewLog {
  int initialUpdates = 0;
  int valueAtInitialUpdate = -1;
  QList<int> hints;
  bool documentAliveAtViewDestruction = false;
  int destroyedViews = 0;
};
ViewLog g_log;

class ValueView : public fw::ScrollView {
 public:
  explicit ValueView(fw::Document* document) : fw::ScrollView(document) {}
  ~ValueView() override {
    ++g_log.destroyedViews;
    g_log.documentAliveAtViewDestruction = document() != nullptr;
  }
  void onInitialUpdate() override {
    ++g_log.initialUpdates;
    g_log.valueAtInitialUpdate = static_cast<ValueDocument*>(document())->value;
  }
  void onUpdate(int hint) override { g_log.hints.append(hint); }
  void draw(QPainter& painter, const fw::RenderTarget&) override {
    painter.drawText(0, 20, QString::number(static_cast<ValueDocument*>(document())->value));
  }
};

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ValueFile(int value) {
  QByteArray bytes(4, 0);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

}  // namespace

class DocumentMdiTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<fw::Profile> profile_;
  std::unique_ptr<fw::DocumentTemplate> template_;
  std::unique_ptr<fw::MdiMainWindow> window_;

  QString path(const QString& name) const { return dir_.filePath(name); }
  ValueDocument* newDocument() { return static_cast<ValueDocument*>(window_->newDocument()); }

 private slots:
  void init() {
    g_log = ViewLog();
    QVERIFY(dir_.isValid());
    QFile::remove(path("profile.ini"));
    profile_ = std::make_unique<fw::Profile>("tester", path("profile.ini"));
    template_ = std::make_unique<fw::DocumentTemplate>(
        fw::DocumentTemplate::Info{"Value", "Value Files (*.val)", ".val", "Value File"},
        [] { return new ValueDocument; }, [](fw::Document* d) { return new ValueView(d); });
    window_ = std::make_unique<fw::MdiMainWindow>(profile_.get(), 4);
    window_->addDocumentTemplate(template_.get());
  }
  void cleanup() {
    window_.reset();
    template_.reset();
    profile_.reset();
  }

  void newDocumentsAreNumberedAndInitialised() {
    ValueDocument* first = newDocument();
    ValueDocument* second = newDocument();
    QCOMPARE(first->title(), QString("Value1"));
    QCOMPARE(second->title(), QString("Value2"));
    QVERIFY(!first->isModified());
    QCOMPARE(g_log.initialUpdates, 2);
    QCOMPARE(window_->documents(), (QList<fw::Document*>{first, second}));
    QCOMPARE(window_->frameOf(first)->windowTitle(), QString("Value1"));
    QCOMPARE(first->frame(), window_->frameOf(first));
  }

  void changeNotificationMarksModifiedAndUpdatesViews() {
    ValueDocument* document = newDocument();
    QSignalSpy modified(document, &fw::Document::modifiedChanged);
    document->changed(7);
    QVERIFY(document->isModified());
    QCOMPARE(g_log.hints, QList<int>{7});
    QCOMPARE(modified.count(), 1);
    document->updateAllViews(3);
    QCOMPARE(g_log.hints, (QList<int>{7, 3}));
    document->setModified(false);
    document->updateAllViews();
    QVERIFY(!document->isModified());
  }

  void unmodifiedDocumentClosesWithoutPrompt() {
    fw::testing::MessageBoxRecorder boxes;
    QVERIFY(newDocument()->maybeSave());
    QCOMPARE(boxes.count(), 0);
  }

  void promptNoKeepsFileAndCancelRefuses() {
    fw::testing::MessageBoxRecorder boxes;
    WriteBytes(path("a.val"), ValueFile(5));
    auto* document = static_cast<ValueDocument*>(window_->openDocumentFile(path("a.val")));
    QVERIFY(document);
    document->value = 9;
    document->changed();
    boxes.script({fw::MsgResult::Cancel, fw::MsgResult::No});
    QVERIFY(!document->maybeSave());
    QVERIFY(document->maybeSave());
    QCOMPARE(boxes.texts(), (QStringList{"Save changes to a.val?", "Save changes to a.val?"}));
    QCOMPARE(boxes.calls()[0].buttons, fw::MsgButtons::YesNoCancel);
    QCOMPARE(boxes.calls()[0].icon, fw::MsgIcon::Exclamation);
    QCOMPARE(ReadBytes(path("a.val")), ValueFile(5));
  }

  void promptYesSavesToExistingFile() {
    fw::testing::MessageBoxRecorder boxes;
    fw::testing::FileDialogRecorder files;
    WriteBytes(path("b.val"), ValueFile(1));
    auto* document = static_cast<ValueDocument*>(window_->openDocumentFile(path("b.val")));
    QVERIFY(document);
    document->value = 0x01020304;
    document->changed();
    boxes.script({fw::MsgResult::Yes});
    QVERIFY(document->maybeSave());
    QCOMPARE(files.count(), 0);
    QVERIFY(!document->isModified());
    QCOMPARE(ReadBytes(path("b.val")), ValueFile(0x01020304));
  }

  // Yes on a document that has no file opens save-as; the default extension
  // is added to a name without one, and the document takes the new name.
  void promptYesOnUntitledOpensSaveAs() {
    fw::testing::MessageBoxRecorder boxes;
    fw::testing::FileDialogRecorder files;
    ValueDocument* document = newDocument();
    document->value = 42;
    document->changed();
    files.script({path("chosen")});
    QVERIFY(document->maybeSave());
    QCOMPARE(boxes.texts(), QStringList{"Save changes to Value1?"});
    QCOMPARE(files.count(), 1);
    QVERIFY(files.requests()[0].save);
    QCOMPARE(files.requests()[0].filter, QString("Value Files (*.val)"));
    QCOMPARE(files.requests()[0].initialName, QString("Value1"));
    QCOMPARE(ReadBytes(path("chosen.val")), ValueFile(42));
    QCOMPARE(document->path(), path("chosen.val"));
    QCOMPARE(document->title(), QString("chosen.val"));
    QCOMPARE(window_->frameOf(document)->windowTitle(), QString("chosen.val"));
    QVERIFY(!document->isModified());
    // Any successful save puts the file on the recent-file list.
    QCOMPARE(window_->recentFiles()->files(), QStringList{path("chosen.val")});
  }

  void cancelledSaveAsKeepsDocumentModified() {
    fw::testing::MessageBoxRecorder boxes;
    fw::testing::FileDialogRecorder files;  // empty script: cancel
    ValueDocument* document = newDocument();
    document->changed();
    QVERIFY(!document->maybeSave());
    QVERIFY(document->isModified());
    QVERIFY(document->path().isEmpty());
  }

  // The write of the new content fails halfway (file size limit): the old
  // file is untouched, the user is told why, the document stays modified.
  void failedSaveLeavesPreviousFileIntact() {
    fw::testing::MessageBoxRecorder boxes;
    WriteBytes(path("keep.val"), ValueFile(77));
    auto* document = static_cast<ValueDocument*>(window_->openDocumentFile(path("keep.val")));
    QVERIFY(document);
    document->value = 78;
    document->padding = 256 * 1024;
    document->changed();

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = document->save();
    setrlimit(RLIMIT_FSIZE, &old);

    QVERIFY(!saved);
    QCOMPARE(ReadBytes(path("keep.val")), ValueFile(77));
    QVERIFY(!QFile::exists(path("keep.val") + ".saving~"));
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.lastText().startsWith("Cannot save " + path("keep.val") + ".\n"));
    QVERIFY(boxes.lastText().size() > QString("Cannot save " + path("keep.val") + ".\n").size());
    QVERIFY(document->isModified());

    // A document that cannot serialize itself does not touch the file either.
    document->padding = 0;
    document->refuseSerialize = true;
    QVERIFY(!document->save());
    QCOMPARE(boxes.lastText(), "Cannot save " + path("keep.val") + ".\nvalue not storable");
    QCOMPARE(ReadBytes(path("keep.val")), ValueFile(77));
  }

  void openRunsInitialUpdateAfterLoadAndReusesOpenDocument() {
    WriteBytes(path("c.val"), ValueFile(123));
    auto* document = static_cast<ValueDocument*>(window_->openDocumentFile(path("c.val")));
    QVERIFY(document);
    QVERIFY(document->afterLoadSawFrame);
    QCOMPARE(g_log.initialUpdates, 1);
    QCOMPARE(g_log.valueAtInitialUpdate, 123);
    QCOMPARE(document->title(), QString("c.val"));
    QVERIFY(!document->isModified());
    // Opening the same file again activates the open document.
    QCOMPARE(window_->openDocumentFile(dir_.path() + "/./c.val"), document);
    QCOMPARE(window_->documents().size(), 1);
    // Loading did not use up an untitled number.
    QCOMPARE(newDocument()->title(), QString("Value1"));
  }

  // A placement applied while loading survives the frame being shown and
  // placed by the MDI area.
  void placementAppliedOnLoadIsKept() {
    archive::WindowPlacement normal;
    normal.left = 33;
    normal.top = 44;
    normal.right = 333;
    normal.bottom = 244;
    archive::WindowPlacement maximised = normal;
    maximised.showCommand = archive::kShowMaximized;
    auto placing = [](archive::WindowPlacement placement) {
      return [placement] {
        auto* document = new ValueDocument;
        document->placementToApply = placement;
        return document;
      };
    };
    auto makeView = [](fw::Document* d) { return new ValueView(d); };
    fw::DocumentTemplate normalTemplate({"N", "N (*.nrm)", ".nrm", "N"}, placing(normal), makeView);
    fw::DocumentTemplate maxTemplate({"M", "M (*.max)", ".max", "M"}, placing(maximised), makeView);
    fw::MdiMainWindow window(profile_.get(), 4);
    window.addDocumentTemplate(&normalTemplate);
    window.addDocumentTemplate(&maxTemplate);
    window.resize(900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    WriteBytes(path("placed.nrm"), ValueFile(1));
    fw::Document* document = window.openDocumentFile(path("placed.nrm"));
    QVERIFY(document);
    QCoreApplication::processEvents();
    QCOMPARE(window.frameOf(document)->geometry(), QRect(33, 44, 300, 200));
    QCOMPARE(window.frameOf(document)->placement(), normal);

    WriteBytes(path("placed.max"), ValueFile(2));
    fw::Document* second = window.openDocumentFile(path("placed.max"));
    QVERIFY(second);
    QCoreApplication::processEvents();
    QVERIFY(window.frameOf(second)->isMaximized());
    QCOMPARE(window.frameOf(second)->placement(), maximised);
  }

  // New windows cascade inside the visible client area, wrap back to the
  // top-left instead of leaving it, and are never larger than the area; the
  // same when they were made before the main window was first shown.
  void newWindowsCascadeInsideTheArea() {
    for (const bool shownFirst : {true, false}) {
      fw::MdiMainWindow window(profile_.get(), 4);
      window.addDocumentTemplate(template_.get());
      window.resize(640, 480);
      if (shownFirst) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
      }
      QList<fw::ChildFrame*> frames;
      for (int i = 0; i < 40; ++i) frames.append(window.frameOf(window.newDocument()));
      if (!shownFirst) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
      }
      QCoreApplication::processEvents();
      const QRect area = window.mdiArea()->viewport()->rect();
      QVERIFY(area.width() > 300 && area.height() > 200);
      int wraps = 0;
      for (int i = 0; i < frames.size(); ++i) {
        const QRect geometry = frames[i]->geometry();
        QVERIFY2(area.contains(geometry), qPrintable(QString("window %1 at %2,%3 %4x%5 outside %6x%7")
                                                          .arg(i).arg(geometry.x()).arg(geometry.y())
                                                          .arg(geometry.width()).arg(geometry.height())
                                                          .arg(area.width()).arg(area.height())));
        if (i == 0) {
          QCOMPARE(geometry.topLeft(), QPoint(0, 0));
        } else if (geometry.topLeft() == QPoint(0, 0)) {
          ++wraps;
        } else {
          const QPoint step = geometry.topLeft() - frames[i - 1]->geometry().topLeft();
          QVERIFY(step.x() > 0 && step.x() == step.y());
        }
      }
      QVERIFY(wraps > 0);
      // A window grown larger than the area: the next new one still fits.
      frames.last()->resize(area.size() * 2);
      fw::ChildFrame* next = window.frameOf(window.newDocument());
      QCoreApplication::processEvents();
      QVERIFY(area.contains(next->geometry()));
      window.closeAllDocuments();
    }
  }

  void loadFailuresAreReportedAndOpenNothing() {
    fw::testing::MessageBoxRecorder boxes;
    QVERIFY(!window_->openDocumentFile(path("missing.val")));
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.lastText().startsWith("Cannot open " + path("missing.val")));
    WriteBytes(path("short.val"), QByteArray(2, 0));
    QVERIFY(!window_->openDocumentFile(path("short.val")));
    QCOMPARE(boxes.lastText(), QString("Unexpected file format."));
    QVERIFY(window_->documents().isEmpty());
    QCOMPARE(g_log.initialUpdates, 0);
    QVERIFY(window_->recentFiles()->files().isEmpty());
  }

  void recentFilesOrderLimitAndPersistence() {
    for (const char* name : {"1.val", "2.val", "3.val", "4.val", "5.val"}) {
      WriteBytes(path(name), ValueFile(1));
      QVERIFY(window_->openDocumentFile(path(name)));
    }
    QCOMPARE(window_->recentFiles()->files(),
             (QStringList{path("5.val"), path("4.val"), path("3.val"), path("2.val")}));
    // Opening one again moves it to the front without duplicating it.
    QVERIFY(window_->openDocumentFile(path("3.val")));
    QCOMPARE(window_->recentFiles()->files(),
             (QStringList{path("3.val"), path("5.val"), path("4.val"), path("2.val")}));

    // Stored in the profile and read back by the next session.
    profile_->sync();
    fw::Profile reread("tester", path("profile.ini"));
    QCOMPARE(reread.readString("Recent File List", "File1"), path("3.val"));
    QCOMPARE(reread.readString("Recent File List", "File4"), path("2.val"));
    QVERIFY(!reread.contains("Recent File List", "File5"));
    fw::RecentFileList nextSession(&reread, 4);
    QCOMPARE(nextSession.files(), window_->recentFiles()->files());
    // A shorter list in the next version keeps the most recent entries.
    fw::RecentFileList shorter(&reread, 2);
    QCOMPARE(shorter.files(), (QStringList{path("3.val"), path("5.val")}));

    // A recent file that can no longer be opened leaves the list.
    fw::testing::MessageBoxRecorder boxes;
    QVERIFY(window_->closeAllDocuments());
    QFile::remove(path("5.val"));
    QSignalSpy requested(window_->recentFiles(), &fw::RecentFileList::openRequested);
    QMenu menu;
    QAction* exit = menu.addAction("E&xit");
    window_->recentFiles()->fillMenu(&menu, exit);
    QCOMPARE(menu.actions().size(), 5);
    QCOMPARE(menu.actions()[1]->text(), "&2 " + path("5.val"));
    menu.actions()[1]->trigger();
    QCOMPARE(requested.count(), 1);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(window_->recentFiles()->files(),
             (QStringList{path("3.val"), path("4.val"), path("2.val")}));
    window_->recentFiles()->fillMenu(&menu, exit);
    QCOMPARE(menu.actions().size(), 4);
    QCOMPARE(menu.actions().last(), exit);
  }

  void savingAsAddsToRecentFiles() {
    fw::testing::FileDialogRecorder files;
    newDocument();
    files.script({path("new.val")});
    QVERIFY(window_->fileSaveAs());
    QCOMPARE(window_->recentFiles()->files(), QStringList{path("new.val")});
  }

  // The main window does not close while one document refuses; nothing is
  // closed then. Answering No closes everything and stores the position.
  void closeRefusedWhileADocumentRefuses() {
    fw::testing::MessageBoxRecorder boxes;
    ValueDocument* first = newDocument();
    ValueDocument* second = newDocument();
    first->changed();
    second->changed();
    window_->setGeometry(40, 50, 640, 480);
    window_->show();
    boxes.script({fw::MsgResult::No, fw::MsgResult::Cancel});
    QVERIFY(!window_->close());
    QCOMPARE(window_->documents().size(), 2);
    QCOMPARE(boxes.count(), 2);
    QVERIFY(!profile_->contains("Position", "Cx"));

    boxes.script({fw::MsgResult::No, fw::MsgResult::No});
    QVERIFY(window_->close());
    QCOMPARE(boxes.count(), 4);  // each asked once more, not twice
    QVERIFY(window_->documents().isEmpty());
    QCOMPARE(g_log.destroyedViews, 2);
    QVERIFY(g_log.documentAliveAtViewDestruction);
    QCOMPARE(profile_->readInt("Position", "Cx", 0), 640);
    QCOMPARE(profile_->readInt("Position", "Cy", 0), 480);
  }

  void closeAllDocumentsStopsAtRefusal() {
    fw::testing::MessageBoxRecorder boxes;
    ValueDocument* first = newDocument();
    ValueDocument* second = newDocument();
    QPointer<ValueDocument> watch = first;
    first->changed();
    second->changed();
    boxes.script({fw::MsgResult::No, fw::MsgResult::Cancel});
    QVERIFY(!window_->closeAllDocuments());
    QCOMPARE(window_->documents().size(), 2);
    boxes.script({fw::MsgResult::No, fw::MsgResult::No});
    QVERIFY(window_->closeAllDocuments());
    QVERIFY(watch.isNull());
    QVERIFY(window_->documents().isEmpty());
  }

  void childFrameCloseAsksAndDestroysDocument() {
    fw::testing::MessageBoxRecorder boxes;
    ValueDocument* document = newDocument();
    QPointer<ValueDocument> watch = document;
    document->changed();
    fw::ChildFrame* frame = window_->frameOf(document);
    boxes.script({fw::MsgResult::Cancel});
    QVERIFY(!frame->close());
    QVERIFY(!watch.isNull());
    boxes.script({fw::MsgResult::No});
    QVERIFY(frame->close());
    QTRY_VERIFY(watch.isNull());
    QVERIFY(g_log.documentAliveAtViewDestruction);
    QVERIFY(window_->documents().isEmpty());
  }

  void positionIsReadAndNotWrittenWhenMaximised() {
    profile_->writeInt("Position", "Cx", 500);
    profile_->writeInt("Position", "Cy", 300);
    profile_->writeInt("Position", "x", 20);
    profile_->writeInt("Position", "y", 30);
    window_->readPosition();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(window_->size(), QSize(500, 300));
    QCOMPARE(window_->frameGeometry().topLeft(), QPoint(20, 30));
    window_->showMaximized();
    QTRY_VERIFY(window_->isMaximized());
    window_->writePosition();
    QCOMPARE(profile_->readInt("Position", "Cx", 0), 500);
    QCOMPARE(profile_->readInt("Position", "x", 0), 20);
    window_->showMinimized();
    window_->writePosition();
    QCOMPARE(profile_->readInt("Position", "Cy", 0), 300);
  }

  void emptyPositionLeavesDefaultGeometry() {
    QSize before = window_->size();
    window_->readPosition();
    QCOMPARE(window_->size(), before);
  }

  void droppedFilesAreOpened() {
    fw::testing::MessageBoxRecorder boxes;
    WriteBytes(path("drop.val"), ValueFile(3));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path("drop.val")), QUrl("http://example.org/x.val"),
                  QUrl::fromLocalFile(path("absent.val"))});
    QCOMPARE(window_->openDroppedFiles(&mime), 1);
    QCOMPARE(window_->documents().size(), 1);
    QCOMPARE(window_->documents()[0]->path(), path("drop.val"));
    QCOMPARE(boxes.count(), 1);  // the missing file
  }

  void titleFollowsActiveDocument() {
    // The desktop appends the program's name to what the window hands it, so
    // that must be the document alone (with "*" while modified), maximized or not.
    QGuiApplication::setApplicationDisplayName("Tester");
    window_->menuBar()->addMenu("File");  // a maximized child merges into the menu bar
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(window_->windowHandle()->title(), QString());
    ValueDocument* document = newDocument();
    QTRY_COMPARE(window_->windowHandle()->title(), QString("Value1"));
    document->setTitle("renamed.val");
    QCOMPARE(window_->windowHandle()->title(), QString("renamed.val"));
    document->setModified(true);
    QCOMPARE(window_->windowHandle()->title(), QString("renamed.val*"));

    fw::ChildFrame* frame = window_->frameOf(document);
    frame->showMaximized();
    QTRY_COMPARE(window_->windowHandle()->title(), QString("renamed.val"));
    ValueDocument* second = newDocument();  // opens maximized too
    QTRY_COMPARE(window_->windowHandle()->title(), QString("Value2"));
    window_->frameOf(second)->showNormal();
    QTRY_COMPARE(window_->windowHandle()->title(), QString("Value2"));
    QVERIFY(!window_->windowTitle().contains("Tester"));
    window_->frameOf(second)->closeWithoutAsking();
    frame->closeWithoutAsking();
    QTRY_COMPARE(window_->windowHandle()->title(), QString());
    QGuiApplication::setApplicationDisplayName(QString());
  }
};

QTEST_MAIN(DocumentMdiTest)
#include "document_mdi_test.moc"
