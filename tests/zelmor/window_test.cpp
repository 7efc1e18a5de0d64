// zelmor's poll window without a link: defaults, the Poll Definition dialog,
// registration, display formats and labels on screen, layout, notifications,
// counters and menus.
#include <QComboBox>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>

#include "framework/placement.h"
#include "framework/testing/command_prompts.h"
#include "framework/testing/menu_checks.h"
#include "gui_test_support.h"
#include "master/app/poll_definition_dialog.h"
#include "master/engine/comm_interface.h"
#include "register_image.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void defaultsOnAnEmptyProfile();
  void pollDefinitionValidationOrder_data();
  void pollDefinitionValidationOrder();
  void okWithoutChangeKeepsValuesAndAnyChangeClearsThem();
  void applyTakesValuesAndStaysOpen();
  void pollOnceRules();
  void thirtyThirdWindowAndReregistration();
  void useAsDefaultShapesTheNextWindow();
  void displayFormatsAndLabelsOnScreen();
  void headerAndErrorLine();
  void layoutRules();
  void printedPageUsesThePageAndAMargin();
  void doubleClickFindsTheItem();
  void notificationsCountErrors();
  void menusFollowTheState();
  void everyMenuCommandShowsItsPrompt();
  void windowMenuListsTheWindows();
  void noMenuRepeatsAnAltLetter();
};

void WindowTest::defaultsOnAnEmptyProfile() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QCOMPARE(fx.frame()->documents().size(), 1);
  CZelmorDoc* doc = fx.doc();
  QVERIFY(doc);
  QCOMPARE(doc->slaveId(), 1);
  QCOMPARE(doc->function(), 3);
  QCOMPARE(doc->address(), 0);
  QCOMPARE(doc->length(), 10);
  QCOMPARE(doc->scanRate(), 1000);
  QCOMPARE(doc->enable(), 1);
  QCOMPARE(doc->displayFormat(), 0);
  QVERIFY(doc->oneBased());
  QCOMPARE(QString::fromStdString(doc->font().faceName), QString("Courier New"));
  QCOMPARE(doc->font().height, -10);
  QCOMPARE(doc->font().weight, 400);
  QCOMPARE(doc->textColor(), 9u);
  QCOMPARE(doc->pollSlot(), 1);
  QCOMPARE(doc->title(), QString("Zelmor1"));
  QCOMPARE(fx.view()->cellLabel(0), QString("40001 = "));
  QCOMPARE(fx.frame()->commPane()->text(), QString("Port 1: 9600-8-E-1"));
  // The status bar is shown from the start and stays shown after the idle updates.
  QTRY_VERIFY(fx.frame()->isVisible());
  QTest::qWait(300);
  QVERIFY(fx.frame()->commPane()->isVisible());
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!masterengine::IsConnected());
  QVERIFY(fx.view()->headerLine().startsWith("Tx = 0: Err = 0: ID = 1: F = 03: SR = 1000ms "));
  QVERIFY(!fx.frame()->alwaysOnTop());
  QCOMPARE(fx.boxes->count(), 0);
}

void WindowTest::pollDefinitionValidationOrder_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<int>("functionIndex");
  QTest::addColumn<QString>("length");
  QTest::addColumn<QString>("scanRate");
  QTest::addColumn<QString>("slave");
  QTest::addColumn<bool>("oneBased");
  QTest::addColumn<QString>("message");  // empty: accepted
  const QString ok;
  // Every field bad: the address is reported first, then each in turn.
  QTest::newRow("address first") << "70000" << 2 << "0" << "1" << "0" << true
                                 << "Please enter an integer between 0 and 65535.";
  QTest::newRow("then length") << "1" << 2 << "2001" << "1" << "0" << true
                               << "Please enter an integer between 1 and 2000.";
  QTest::newRow("then scan rate") << "1" << 2 << "10" << "19" << "0" << true
                                  << "Please enter an integer between 20 and 60000.";
  QTest::newRow("then slave") << "1" << 2 << "10" << "20" << "256" << true
                              << "Please enter an integer between 1 and 255.";
  QTest::newRow("register length 128") << "1" << 2 << "128" << "20" << "1" << true
                                       << "Please enter an integer between 1 and 127.";
  QTest::newRow("input register length 128") << "1" << 3 << "128" << "20" << "1" << true
                                             << "Please enter an integer between 1 and 127.";
  QTest::newRow("register length 127") << "1" << 2 << "127" << "60000" << "255" << true << ok;
  QTest::newRow("coil length 2000") << "1" << 0 << "2000" << "20" << "1" << true << ok;
  QTest::newRow("discrete length 2000") << "1" << 1 << "2000" << "20" << "1" << true << ok;
  QTest::newRow("PLC address 0") << "0" << 2 << "10" << "1000" << "1" << true
                                 << "Please enter an integer between 1 and 65535.";
  QTest::newRow("protocol address 0") << "0" << 2 << "10" << "1000" << "1" << false << ok;
  QTest::newRow("register length before PLC address") << "0" << 2 << "128" << "1000" << "1" << true
                                                      << "Please enter an integer between 1 and 127.";
  QTest::newRow("not a number") << "abc" << 2 << "10" << "1000" << "1" << true
                                << "Please enter an integer.";
}

void WindowTest::pollDefinitionValidationOrder() {
  QFETCH(QString, address);
  QFETCH(int, functionIndex);
  QFETCH(QString, length);
  QFETCH(QString, scanRate);
  QFETCH(QString, slave);
  QFETCH(bool, oneBased);
  QFETCH(QString, message);
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.doc()->setOneBased(oneBased);
  PollDefinitionDialog dialog(fx.doc());
  dialog.addressEdit()->setText(address);
  dialog.functionList()->setCurrentIndex(functionIndex);
  dialog.lengthEdit()->setText(length);
  dialog.scanRateEdit()->setText(scanRate);
  dialog.slaveEdit()->setText(slave);
  dialog.okButton()->click();
  if (message.isEmpty()) {
    QCOMPARE(fx.boxes->count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(fx.doc()->length(), length.toInt());
    QCOMPARE(fx.doc()->function(), functionIndex + 1);
    QCOMPARE(fx.doc()->address(), address.toInt() - (oneBased ? 1 : 0));
  } else {
    QCOMPARE(fx.boxes->count(), 1);
    QCOMPARE(fx.boxes->lastText(), message);
    QCOMPARE(fx.boxes->calls().last().icon, fw::MsgIcon::Exclamation);
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(fx.doc()->length(), 10);  // nothing taken
  }
}

void WindowTest::okWithoutChangeKeepsValuesAndAnyChangeClearsThem() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->mutableValues()[0] = 7;
  doc->setModified(false);
  {
    PollDefinitionDialog dialog(doc);
    dialog.okButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(doc->values()[0], std::uint8_t{7});
  QVERIFY(!doc->isModified());
  {
    PollDefinitionDialog dialog(doc);
    dialog.scanRateEdit()->setText("500");
    dialog.okButton()->click();
  }
  QCOMPARE(doc->scanRate(), 500);
  QCOMPARE(doc->values()[0], std::uint8_t{0});
  QVERIFY(doc->isModified());
  QCOMPARE(doc->pollSlot(), 1);  // re-registered in the slot it freed
  QCOMPARE(masterengine::GetResultCode(doc->pollSlot()), masterengine::RESULT_PENDING);
}

void WindowTest::applyTakesValuesAndStaysOpen() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->mutableValues()[0] = 7;
  PollDefinitionDialog dialog(doc);
  dialog.slaveEdit()->setText("17");
  dialog.addressEdit()->setText("101");
  dialog.applyButton()->click();
  QCOMPARE(doc->slaveId(), 17);
  QCOMPARE(doc->address(), 100);  // shown address minus the base
  QCOMPARE(doc->values()[0], std::uint8_t{0});
  QCOMPARE(dialog.result(), 0);  // still open
  // Apply without a change still re-registers and clears.
  doc->mutableValues()[0] = 9;
  dialog.applyButton()->click();
  QCOMPARE(doc->values()[0], std::uint8_t{0});
}

void WindowTest::pollOnceRules() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  {
    PollDefinitionDialog dialog(doc);
    QVERIFY(!dialog.pollOnceButton()->isEnabled());  // not connected
    QVERIFY(dialog.enableBox()->isChecked());
    dialog.lengthEdit()->setText("20");
    dialog.pollOnce();
    QCOMPARE(fx.boxes->lastText(), QString("Disable \"Enable Polling\" before poll once"));
    QCOMPARE(doc->length(), 10);
    QCOMPARE(doc->enable(), 1);
  }
  {
    doc->mutableValues()[0] = 3;
    PollDefinitionDialog dialog(doc);
    dialog.enableBox()->setChecked(false);
    dialog.pollOnce();
    QCOMPARE(fx.boxes->count(), 1);
    QCOMPARE(doc->enable(), 0);
    QCOMPARE(doc->length(), 10);
    QCOMPARE(doc->values()[0], std::uint8_t{3});  // definition unchanged: values stay
    dialog.lengthEdit()->setText("20");
    dialog.pollOnce();
    QCOMPARE(doc->length(), 20);
    QCOMPARE(doc->values()[0], std::uint8_t{0});
    QVERIFY(fx.view()->headerLine().contains("(DISABLED)"));
  }
}

void WindowTest::thirtyThirdWindowAndReregistration() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QList<CZelmorDoc*> docs{fx.doc()};
  for (int i = 2; i <= 32; ++i) docs << qobject_cast<CZelmorDoc*>(fx.frame()->newDocument());
  for (int i = 0; i < 32; ++i) QCOMPARE(docs[i]->pollSlot(), i + 1);
  QCOMPARE(fx.boxes->count(), 0);
  auto* extra = qobject_cast<CZelmorDoc*>(fx.frame()->newDocument());
  QVERIFY(extra);
  QCOMPARE(extra->pollSlot(), -1);
  QCOMPARE(fx.boxes->lastText(), QString("No more data resources. Close a window to release a resource."));
  QCOMPARE(fx.boxes->calls().last().icon, fw::MsgIcon::Exclamation);
  // Closing another window frees its slot but does not register the 33rd by itself.
  fx.frame()->frameOf(docs[4])->closeWithoutAsking();
  QTRY_COMPARE(fx.frame()->documents().size(), 32);
  QCOMPARE(extra->pollSlot(), -1);
  PollDefinition d = extra->definition();
  d.scanRate = 2000;
  QVERIFY(extra->takeDefinitionIfChanged(d));
  QCOMPARE(extra->pollSlot(), 5);
}

void WindowTest::useAsDefaultShapesTheNextWindow() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  PollDefinition d{101, 3, 20, 250, 9, 0};
  doc->takeDefinition(d);
  doc->setDisplayFormat(4);
  doc->setOneBased(false);
  archive::LogFont font = doc->font();
  font.faceName = "DejaVu Sans Mono";
  font.height = -12;
  doc->setFont(font);
  doc->setTextColor(0x00FF0000);
  doc->useAsDefault();
  QCOMPARE(fx.profile().readInt("PollDefinition", "SlaveID", 0), 9);
  QCOMPARE(fx.profile().readString("Font", "FaceName"), QString("DejaVu Sans Mono"));
  auto* next = qobject_cast<CZelmorDoc*>(fx.frame()->newDocument());
  QCOMPARE(next->address(), 100);
  QCOMPARE(next->function(), 4);
  QCOMPARE(next->length(), 20);
  QCOMPARE(next->scanRate(), 250);
  QCOMPARE(next->slaveId(), 9);
  QCOMPARE(next->enable(), 0);
  QCOMPARE(next->displayFormat(), 4);
  QVERIFY(!next->oneBased());
  QCOMPARE(QString::fromStdString(next->font().faceName), QString("DejaVu Sans Mono"));
  QCOMPARE(next->font().height, -12);
  QCOMPARE(next->textColor(), 9u);  // the colour is not a default
}

namespace {
// Values as the view's copy leaves them.
void PutWords(CZelmorDoc* doc, std::initializer_list<std::uint16_t> words) {
  const std::vector<std::uint8_t> image = RegisterImage(words);
  std::copy(image.begin(), image.end(), doc->mutableValues());
}
}  // namespace

void WindowTest::displayFormatsAndLabelsOnScreen() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  CZelmorView* view = fx.view();
  PutWords(doc, {0xFFFF});
  const char* expected[4] = {"    -1", "65535", "0xFFFF", "1111111111111111"};
  for (int format = 0; format < 4; ++format) {
    fx.frame()->action(res::kDisplayFormatCommands[format])->trigger();
    QCOMPARE(doc->displayFormat(), format);
    QCOMPARE(view->cellValue(0), QString(expected[format]));
  }
  PutWords(doc, {0x0000, 0x3F80, 0, 0, 0, 0, 0, 0, 0, 0});
  doc->setDisplayFormat(4);
  PutWords(doc, {0x0000, 0x3F80});
  QCOMPARE(view->cellValue(0), QString("       1.000000"));
  for (int i = 1; i < 10; i += 2) QCOMPARE(view->cellValue(i), QString());
  QCOMPARE(view->cellLabel(1), QString("40002 = "));
  // Length 9: the value at index 8 has only one register left.
  doc->takeDefinition({1, 2, 9, 1000, 1, 1});
  QCOMPARE(view->cellValue(8), QString());
  QVERIFY(!view->cellValue(6).isEmpty());
  // Double with length 10: values at 0 and 4 only.
  doc->takeDefinition({1, 2, 10, 1000, 1, 1});
  doc->setDisplayFormat(6);
  for (int i = 0; i < 10; ++i) QCOMPARE(view->cellValue(i).isEmpty(), i != 0 && i != 4);
  // Coils ignore the display format.
  doc->takeDefinition({1, 0, 10, 1000, 1, 1});
  doc->mutableValues()[3] = 1;
  QCOMPARE(view->cellValue(3), QString("1"));
  QCOMPARE(view->cellLabel(3), QString("00004 = "));
  // PLC holding registers from 9995, length 10: the wide form for every cell.
  doc->takeDefinition({9996, 2, 10, 1000, 1, 1});
  QCOMPARE(view->cellLabel(0), QString("409996 = "));
  QCOMPARE(view->cellLabel(9), QString("410005 = "));
  fx.frame()->action(res::ID_DISPLAY_PROTOCOL_ADDRESSES)->trigger();
  QCOMPARE(view->cellLabel(0), QString("09995 = "));
  fx.frame()->action(res::ID_DISPLAY_PLC_ADDRESSES)->trigger();
  QCOMPARE(view->cellLabel(0), QString("409996 = "));
  doc->takeDefinition({1, 3, 10, 1000, 1, 1});
  QCOMPARE(view->cellLabel(0), QString("30001 = "));
}

void WindowTest::headerAndErrorLine() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  QString header = view->headerLine();
  QCOMPARE(header, QString("Tx = 0: Err = 0: ID = 1: F = 03: SR = 1000ms") + QString(26, ' '));
  fx.doc()->takeDefinition({1, 2, 10, 1000, 1, 0});
  QCOMPARE(view->headerLine(), QString("Tx = 0: Err = 0: ID = 1: F = 03: SR = 1000ms  (DISABLED)") + QString(24, ' '));
  // Painting without a link shows "No Connection" on the second line.
  view->viewport()->grab();
  QCOMPARE(view->errorText(), QString("No Connection"));
}

void WindowTest::layoutRules() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  CZelmorDoc* doc = fx.doc();
  PollLayout narrow = view->computeLayout(view->viewport(), 3 * view->layout().rowHeight);
  QCOMPARE(narrow.rowsPerColumn, 5);  // three rows high still gives five rows
  QCOMPARE(narrow.columns, 2);
  QVERIFY(!narrow.wideLabels);
  PollLayout tall = view->computeLayout(view->viewport(), 100 * narrow.rowHeight);
  QCOMPARE(tall.rowsPerColumn, 10);  // at most Length
  QCOMPARE(tall.columns, 1);
  QFontMetrics fm(fw::FontFromLogFont(doc->font()), view->viewport());
  QCOMPARE(narrow.columnWidth, fm.horizontalAdvance("00000 = -00000XXX"));
  QCOMPARE(narrow.gap, fm.horizontalAdvance("XXX"));
  doc->takeDefinition({9996, 2, 10, 1000, 1, 1});
  PollLayout wide = view->computeLayout(view->viewport(), 3 * narrow.rowHeight);
  QVERIFY(wide.wideLabels);
  QCOMPARE(wide.columnWidth, narrow.columnWidth + fm.horizontalAdvance("X"));
  doc->setDisplayFormat(3);
  QCOMPARE(view->computeLayout(view->viewport(), 100).columnWidth,
           fm.horizontalAdvance("00000 = 0000000000000000XXX") + fm.horizontalAdvance("X"));
  // A window three rows high scrolls vertically.
  fx.frame()->frameOf(doc)->resize(400, 3 * narrow.rowHeight);
  QTRY_COMPARE(view->layout().rowsPerColumn, 5);
  QVERIFY(view->totalSize().height() > view->viewport()->height());
}

void WindowTest::printedPageUsesThePageAndAMargin() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  fx.doc()->takeDefinition({1, 2, 100, 1000, 1, 1});
  QImage page(850, 1100, QImage::Format_RGB32);
  page.fill(Qt::white);
  {
    QPainter painter(&page);
    view->renderPage(painter, &page);
  }
  // Nothing is drawn left of the margin (a tenth of the page width).
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < 85; ++x) QCOMPARE(page.pixel(x, y), QColor(Qt::white).rgb());
  bool inked = false;
  for (int x = 85; x < page.width() && !inked; ++x)
    if (page.pixel(x, view->layout().rowHeight / 2) != QColor(Qt::white).rgb()) inked = true;
  QVERIFY(inked);  // the header line is printed
  // The screen layout is unchanged by printing.
  QCOMPARE(view->layout().rowsPerColumn, view->computeLayout(view->viewport(), view->viewport()->height()).rowsPerColumn);
}

void WindowTest::doubleClickFindsTheItem() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  fx.doc()->takeDefinition({1, 2, 12, 1000, 1, 1});
  fx.frame()->frameOf(fx.doc())->resize(600, 9 * view->layout().rowHeight);
  QTRY_VERIFY(view->layout().rowsPerColumn < 12);
  const PollLayout& l = view->layout();
  QSignalSpy spy(view, &CZelmorView::editValueRequested);
  view->onDoubleClick(QPoint(1, l.rowHeight * 2 + 1));
  view->onDoubleClick(QPoint(1, l.rowHeight + 1));  // header: nothing
  view->onDoubleClick(QPoint(l.columnWidth + 1, l.rowHeight * 3 + 1));
  view->onDoubleClick(QPoint(5 * l.columnWidth + 1, l.rowHeight * 2 + 1));  // beyond the items
  QCOMPARE(spy.count(), 2);
  QCOMPARE(spy.at(0).at(0).toInt(), 0);
  QCOMPARE(spy.at(1).at(0).toInt(), l.rowsPerColumn + 1);
}

void WindowTest::notificationsCountErrors() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  CZelmorDoc* doc = fx.doc();
  int slot = doc->pollSlot();
  struct Row {
    std::uint16_t result;
    const char* text;
    int counter;
  } rows[] = {{1, "Timeout Error", 0}, {130, "Illigal Data Address", 9}, {128 + 20, "Exception Error 20", 15},
              {12, "Unknown Error", 16}, {11, "Bytes Missing Error", 7}, {2, "CRC Error", 1}};
  for (const Row& row : rows) {
    int before = doc->errorCounters()[row.counter];
    view->onEngineNotify(row.result, slot);
    QCOMPARE(view->errorText(), QString(row.text));
    QCOMPARE(int(doc->errorCounters()[row.counter]), before + 1);
    QCOMPARE(doc->lastResult(), int(row.result));
  }
  view->onEngineNotify(0, slot);
  QCOMPARE(view->errorText(), QString());
  QCOMPARE(fx.boxes->count(), 0);
  // A failed one-off request of this window (slot 0) is reported in a box.
  view->onEngineNotify(3, 0);
  QCOMPARE(fx.boxes->lastText(), QString("Response Error"));
  // A change of the link state clears the error text.
  view->onEngineNotify(1, slot);
  view->onEngineState();
  QCOMPARE(view->errorText(), QString());
  // The engine's messages reach the view through the window-message bridge.
  std::uint32_t crcErrors = doc->errorCounters()[1];
  platform::PostWindowMessage(view->engineHandle(), platform::WM_ENGINE_NOTIFY, 2, slot);
  QTRY_COMPARE(doc->errorCounters()[1], crcErrors + 1);
  fx.frame()->action(res::ID_SETUP_RESET_COUNTERS)->trigger();
  for (std::uint32_t c : doc->errorCounters()) QCOMPARE(c, 0u);
  QCOMPARE(doc->txCount(), 0u);
}

void WindowTest::menusFollowTheState() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CMainFrame* frame = fx.frame();
  QVERIFY(frame->action(res::ID_SETUP_POLL_DEFINITION)->isEnabled());
  QVERIFY(!frame->action(res::ID_SETUP_READ_ONCE)->isEnabled());  // polling enabled, not connected
  QVERIFY(frame->action(res::ID_CONNECT)->isEnabled());
  QVERIFY(frame->action(res::ID_QUICK_CONNECT)->isEnabled());
  QVERIFY(!frame->action(res::ID_DISCONNECT)->isEnabled());
  QVERIFY(frame->action(res::ID_DISPLAY_SIGNED)->isChecked());
  QVERIFY(frame->action(res::ID_DISPLAY_PLC_ADDRESSES)->isChecked());
  QCOMPARE(frame->action(res::ID_SETUP_POLL_DEFINITION)->shortcut(), QKeySequence("F2"));
  QCOMPARE(frame->action(res::ID_CONNECT)->shortcut(), QKeySequence("F3"));
  QCOMPARE(frame->action(res::ID_SETUP_RESET_COUNTERS)->shortcut(), QKeySequence("F12"));
  QCOMPARE(frame->action(res::ID_SETUP_READ_ONCE)->text(), QString("Read &Once"));
  fx.doc()->setDisplayFormat(9);
  frame->updateCommandUI();
  QVERIFY(frame->action(res::ID_DISPLAY_LONG_INVERSE)->isChecked());
  // Auto Connect writes the profile at once; each entry is enabled only in the other state.
  QVERIFY(frame->action(res::ID_AUTO_CONNECT_ENABLE)->isEnabled());
  QVERIFY(!frame->action(res::ID_AUTO_CONNECT_DISABLE)->isEnabled());
  frame->action(res::ID_AUTO_CONNECT_ENABLE)->trigger();
  QCOMPARE(fx.profile().readInt("CommSetup", "AutoEnable", -1), 1);
  QVERIFY(!frame->action(res::ID_AUTO_CONNECT_ENABLE)->isEnabled());
  frame->action(res::ID_AUTO_CONNECT_DISABLE)->trigger();
  QCOMPARE(fx.profile().readInt("CommSetup", "AutoEnable", -1), 0);
  // Always On Top toggles and is stored.
  frame->action(res::ID_VIEW_ALWAYS_ON_TOP)->trigger();
  QVERIFY(frame->alwaysOnTop());
  QCOMPARE(fx.profile().readInt("View", "AlwaysOnTop", -1), 1);
  frame->action(res::ID_VIEW_ALWAYS_ON_TOP)->trigger();
  QVERIFY(!frame->alwaysOnTop());
  // The about box names the program and its version.
  frame->action(res::ID_APP_ABOUT)->trigger();
  QVERIFY2(fx.boxes->lastText().startsWith("Zelmor Version "), qPrintable(fx.boxes->lastText()));
  // Without a document the document menus disappear.
  fx.frame()->frameOf(fx.doc())->closeWithoutAsking();
  QTRY_COMPARE(frame->documents().size(), 0);
  frame->updateCommandUI();
  QVERIFY(!frame->action(res::ID_SETUP_POLL_DEFINITION)->isEnabled());
  QVERIFY(!frame->action(res::ID_FILE_SAVE)->isEnabled());
  // The traffic monitor opens once; its entry is disabled while it is open.
  QVERIFY(frame->action(res::ID_DISPLAY_COMMUNICATION)->isEnabled());
  QCOMPARE(frame->action(res::ID_DISPLAY_COMMUNICATION)->statusTip(), QString("Display communication traffic"));
  QCOMPARE(frame->action(res::ID_DISPLAY_COMMUNICATION)->toolTip(), QString("Display traffic"));
  frame->action(res::ID_DISPLAY_COMMUNICATION)->trigger();
  QVERIFY(!frame->action(res::ID_DISPLAY_COMMUNICATION)->isEnabled());
}


void WindowTest::everyMenuCommandShowsItsPrompt() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CMainFrame* frame = fx.frame();
  QCOMPARE(fw::testing::CommandsWithoutPrompt(frame), QStringList());
  // Hovering a command puts the first half of its prompt in the status bar; the
  // second half is its tool tip (on the toolbar).
  QAction* traffic = frame->action(res::ID_DISPLAY_COMMUNICATION);
  QCOMPARE(fw::testing::StatusTextWhileHovered(frame, traffic), QString("Display communication traffic"));
  QCOMPARE(traffic->toolTip(), QString("Display traffic"));
  QCOMPARE(fw::testing::StatusTextWhileHovered(frame, frame->action(res::ID_CONNECT)),
           QString("Choose the connection settings and connect"));
  QCOMPARE(frame->action(res::ID_QUICK_CONNECT)->toolTip(), QString("Quick Connect (F5)"));
  QCOMPARE(fw::testing::ToolbarButtonsWithoutOwnImage(frame), QStringList());
}

void WindowTest::windowMenuListsTheWindows() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CMainFrame* frame = fx.frame();
  fw::Document* first = frame->activeDocument();
  fw::Document* second = frame->newDocument();
  QTRY_COMPARE(frame->activeDocument(), second);
  auto shown = [frame] {
    QStringList lines;
    for (QAction* entry : fw::testing::EntriesAfter(frame, frame->action(res::ID_WINDOW_ARRANGE)))
      lines << entry->text() + (entry->isChecked() ? " (active)" : "");
    return lines;
  };
  QCOMPARE(shown(), (QStringList{"&1 Zelmor1", "&2 Zelmor2 (active)"}));
  fw::testing::EntriesAfter(frame, frame->action(res::ID_WINDOW_ARRANGE)).value(0)->trigger();
  QCOMPARE(frame->activeDocument(), first);
  QCOMPARE(shown(), (QStringList{"&1 Zelmor1 (active)", "&2 Zelmor2"}));
  // A closed window leaves the list.
  frame->frameOf(second)->closeWithoutAsking();
  QTRY_COMPARE(frame->documents().size(), 1);
  QCOMPARE(shown(), (QStringList{"&1 Zelmor1 (active)"}));
  QCOMPARE(fw::testing::CommandsWithoutPrompt(frame), QStringList());
}

void WindowTest::noMenuRepeatsAnAltLetter() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.frame()->updateCommandUI();
  // "Sa&ve Workspace..." and "Print Pre&view" keep their established letters.
  const QStringList clashes =
      fw::testing::DuplicateMnemonics(fx.frame(), {{QString(res::menu::kSaveWorkspace), QString(res::menu::kPrintPreview)}});
  QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(" | ")));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
