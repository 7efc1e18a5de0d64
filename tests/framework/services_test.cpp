// Dialog services and their recorders, file filters and default extensions,
// the scroll view's coordinates and page rendering, routing of the
// application's open-document operation, "always on top".
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "framework/application.h"
#include "framework/document.h"
#include "framework/file_dialog.h"
#include "framework/mdi.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/scroll_view.h"
#include "framework/testing/file_dialog_recorder.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"

namespace {

class EmptyDocument : public fw::Document {
 public:
  bool serialize(std::vector<std::uint8_t>* bytes, QString*) const override {
    bytes->push_back(1);
    return true;
  }
  bool deserialize(const std::vector<std::uint8_t>&, QString*) override { return true; }
};

// Draws a 10x10 red square at content position (200, 100) and records what it was given.
class ProbeView : public fw::ScrollView {
 public:
  explicit ProbeView(fw::Document* document) : fw::ScrollView(document) {}
  fw::RenderTarget lastTarget;
  QList<QPoint> doubleClicks;
  void draw(QPainter& painter, const fw::RenderTarget& target) override {
    lastTarget = target;
    painter.fillRect(QRect(200, 100, 10, 10), Qt::red);
  }
  void onDoubleClick(QPoint position) override { doubleClicks.append(position); }
};

// Routes workspace paths away from the document template, as the apps do.
class RoutingWindow : public fw::MdiMainWindow {
 public:
  using fw::MdiMainWindow::MdiMainWindow;
  QStringList workspaces;
  fw::Document* openDocument(const QString& path) override {
    if (path.contains(".wsp")) {
      workspaces.append(path);
      return nullptr;
    }
    return openDocumentFile(path);
  }
};

}  // namespace

class ServicesTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

 private slots:
  void initApplicationSetsNamesProfileAndMessaging() {
    fw::Profile::setTestDirectory(dir_.path());
    fw::InitApplication("tester", "Tester");
    fw::Profile::setTestDirectory(QString());
    QCOMPARE(QCoreApplication::organizationName(), QString("Orvane"));
    QCOMPARE(QCoreApplication::applicationName(), QString("tester"));
    QCOMPARE(fw::ApplicationTitle(), QString("Tester"));
    QVERIFY(fw::HasAppProfile());
    QCOMPARE(fw::AppProfile().fileName(), dir_.filePath("tester.ini"));
    int received = 0;
    fw::MessageTarget target([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
      ++received;
      return 0;
    });
    platform::PostWindowMessage(target.handle(), platform::WM_ENGINE_STATE, 0, 0);
    QTRY_COMPARE(received, 1);
    fw::SetApplicationTitle(QString());
  }

  void filtersInBothForms_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qtFilter");
    QTest::newRow("qt form kept") << "Zelmor Files (*.zmd)" << "Zelmor Files (*.zmd)";
    QTest::newRow("pipe form") << "modbus comm. data (*.txt)|*.txt||" << "modbus comm. data (*.txt)";
    QTest::newRow("two entries") << "zelmor workspace (*.zmw)|*.zmw|All Files (*.*)|*.*||"
                                 << "zelmor workspace (*.zmw);;All Files (*)";
    QTest::newRow("several patterns") << "Data (*.txt;*.csv)|*.txt;*.csv||" << "Data (*.txt *.csv)";
    QTest::newRow("all files in qt form") << "All Files (*.*)" << "All Files (*)";
  }
  void filtersInBothForms() {
    QFETCH(QString, filter);
    QFETCH(QString, qtFilter);
    QCOMPARE(fw::QtFilterFromFilter(filter), qtFilter);
  }

  void defaultExtensionOnlyForNamesWithout() {
    QCOMPARE(fw::WithDefaultExtension("/tmp/resume", "zmw"), QString("/tmp/resume.zmw"));
    QCOMPARE(fw::WithDefaultExtension("/tmp/resume", ".zmw"), QString("/tmp/resume.zmw"));
    QCOMPARE(fw::WithDefaultExtension("/tmp/resume.txt", "zmw"), QString("/tmp/resume.txt"));
    QCOMPARE(fw::WithDefaultExtension("/tmp/dir.d/resume", "zmw"), QString("/tmp/dir.d/resume.zmw"));
    QCOMPARE(fw::WithDefaultExtension("/tmp/resume", ""), QString("/tmp/resume"));
  }

  void fileDialogRecorderRecordsAndAnswers() {
    fw::testing::FileDialogRecorder files;
    files.script({"/tmp/log", "/tmp/data.mod"});
    QCOMPARE(fw::GetSaveFilePath(nullptr, "Save workspace", "zelmor workspace (*.zmw)|*.zmw||", "zmw",
                                 "resume"),
             QString("/tmp/log.zmw"));
    // Opening never invents an extension.
    QCOMPARE(fw::GetOpenFilePath(nullptr, "Open", "zelmor data (*.mod)|*.mod||", "mod"),
             QString("/tmp/data.mod"));
    QCOMPARE(fw::GetOpenFilePath(nullptr, "Open", "x"), QString());  // script empty: cancelled
    QCOMPARE(files.count(), 3);
    const fw::FileDialogRequest& save = files.requests()[0];
    QVERIFY(save.save);
    QCOMPARE(save.title, QString("Save workspace"));
    QCOMPARE(save.initialName, QString("resume"));
    QVERIFY(save.confirmOverwrite);
    QVERIFY(!files.requests()[1].save);
  }

  void recordersRestoreThePreviousService() {
    fw::MessageBoxService* original = fw::CurrentMessageBoxService();
    {
      fw::testing::MessageBoxRecorder outer;
      {
        fw::testing::MessageBoxRecorder inner;
        QCOMPARE(fw::CurrentMessageBoxService(), static_cast<fw::MessageBoxService*>(&inner));
        fw::ShowMessage("inner");
        QCOMPARE(inner.count(), 1);
      }
      fw::ShowMessage("outer");
      QCOMPARE(outer.texts(), QStringList{"outer"});
    }
    QCOMPARE(fw::CurrentMessageBoxService(), original);
  }

  void messageBoxDefaultsAndCaption() {
    fw::testing::MessageBoxRecorder boxes;
    fw::SetApplicationTitle("zelmor");
    fw::ShowMessage("File format error");
    QCOMPARE(boxes.calls()[0].title, QString("zelmor"));
    QCOMPARE(boxes.calls()[0].icon, fw::MsgIcon::Exclamation);
    QCOMPARE(boxes.calls()[0].buttons, fw::MsgButtons::Ok);
    QCOMPARE(fw::ShowMessage("q", fw::MsgIcon::Question, fw::MsgButtons::YesNoCancel), fw::MsgResult::Yes);
    boxes.script({fw::MsgResult::No});
    QCOMPARE(fw::ShowMessage("q", fw::MsgIcon::Question, fw::MsgButtons::YesNo), fw::MsgResult::No);
    fw::ShowMessage("t", fw::MsgIcon::Stop, fw::MsgButtons::Ok, nullptr, "Connection");
    QCOMPARE(boxes.calls().last().title, QString("Connection"));
    fw::SetApplicationTitle(QString());
  }

  void aboutBoxAndMissingHelpFile() {
    fw::testing::MessageBoxRecorder boxes;
    fw::ShowAboutBox(nullptr, "Zelmor", "1.0.0");
    QCOMPARE(boxes.calls()[0].text, QString("Zelmor Version 1.0.0"));
    QCOMPARE(boxes.calls()[0].icon, fw::MsgIcon::Information);
    QVERIFY(!fw::OpenHelpFile(dir_.filePath("nohelp.html")));
    QVERIFY(boxes.lastText().contains(dir_.filePath("nohelp.html")));
  }

  void scrollViewMapsContentCoordinates() {
    EmptyDocument document;
    ProbeView view(&document);
    view.resize(200, 150);
    view.setScrollSizes(QSize(1000, 800), QSize(100, 100), QSize(10, 10));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSize visible = view.viewport()->size();
    QCOMPARE(view.horizontalScrollBar()->maximum(), 1000 - visible.width());
    QCOMPARE(view.verticalScrollBar()->maximum(), 800 - visible.height());
    QCOMPARE(view.verticalScrollBar()->pageStep(), 100);
    QCOMPARE(view.verticalScrollBar()->singleStep(), 10);

    view.scrollToPosition(QPoint(150, 80));
    QCOMPARE(view.scrollPosition(), QPoint(150, 80));
    // The square at content (200, 100) appears at viewport (50, 20).
    QImage shot = view.viewport()->grab().toImage();
    qreal ratio = shot.devicePixelRatio();
    QCOMPARE(QColor(shot.pixel(QPoint(55, 25) * ratio)), QColor(Qt::red));
    QVERIFY(QColor(shot.pixel(QPoint(45, 25) * ratio)) != QColor(Qt::red));
    QVERIFY(!view.lastTarget.printing);
    QVERIFY(view.lastTarget.area.contains(QPoint(200, 100)));

    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QCOMPARE(view.doubleClicks, QList<QPoint>{QPoint(155, 86)});

    // Content smaller than the window needs no scrolling.
    view.setScrollSizes(QSize(50, 50));
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
    QCOMPARE(view.scrollPosition(), QPoint(0, 0));
  }

  // A printed page is drawn unscrolled at the printer's resolution.
  void renderPageUsesTheDeviceResolution() {
    EmptyDocument document;
    ProbeView view(&document);
    view.setScrollSizes(QSize(1000, 800));
    view.scrollToPosition(QPoint(150, 80));
    QImage page(400, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(11811);  // 300 dpi
    page.setDotsPerMeterY(11811);
    QPainter painter(&page);
    view.renderPage(painter, &page);
    painter.end();
    QVERIFY(view.lastTarget.printing);
    QCOMPARE(view.lastTarget.dotsPerInchY, 300);
    QCOMPARE(view.lastTarget.area, QRect(0, 0, 400, 300));
    QCOMPARE(QColor(page.pixel(205, 105)), QColor(Qt::red));
  }

  void openDocumentOperationRoutesWorkspaces() {
    fw::testing::MessageBoxRecorder boxes;
    fw::Profile profile("tester", dir_.filePath("routing.ini"));
    fw::DocumentTemplate docTemplate({"Doc", "Doc Files (*.doc1)", ".doc1", "Doc File"},
                                     [] { return new EmptyDocument; },
                                     [](fw::Document* d) { return new ProbeView(d); });
    RoutingWindow window(&profile, 6);
    window.addDocumentTemplate(&docTemplate);
    QFile file(dir_.filePath("a.doc1"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    window.recentFiles()->add(dir_.filePath("saved.wsp"));
    window.recentFiles()->add(dir_.filePath("a.doc1"));
    QMenu menu;
    window.recentFiles()->fillMenu(&menu);
    QCOMPARE(menu.actions().size(), 2);
    menu.actions()[1]->trigger();  // the workspace
    menu.actions()[0]->trigger();  // the document
    QCOMPARE(window.workspaces, QStringList{dir_.filePath("saved.wsp")});
    QCOMPARE(window.documents().size(), 1);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(dir_.filePath("dropped.wsp"))});
    window.openDroppedFiles(&mime);
    QCOMPARE(window.workspaces.size(), 2);
    QCOMPARE(boxes.count(), 0);
  }

  void alwaysOnTopKeepsGeometryAndIsStored() {
    fw::Profile profile("tester", dir_.filePath("ontop.ini"));
    fw::MdiMainWindow window(&profile, 4);
    window.setGeometry(30, 40, 500, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QRect before = window.geometry();
    window.toggleAlwaysOnTop();
    QVERIFY(window.alwaysOnTop());
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
    QCOMPARE(profile.readInt("View", "AlwaysOnTop", 0), 1);
    window.toggleAlwaysOnTop();
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(profile.readInt("View", "AlwaysOnTop", 1), 0);
    // Applied again whenever the window is shown (e.g. after starting hidden).
    window.hide();
    window.setAlwaysOnTop(true);
    window.show();
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  }
};

QTEST_MAIN(ServicesTest)
#include "services_test.moc"
