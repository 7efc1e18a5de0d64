#include "framework/message_box.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace fw {

namespace {

MsgResult HeadlessAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgResult::Ok;
    case MsgButtons::YesNo:
      return MsgResult::No;
    case MsgButtons::AbortRetryIgnore:
      return MsgResult::Abort;
    default:
      return MsgResult::Cancel;
  }
}

class QtMessageBoxService : public MessageBoxService {
 public:
  MsgResult show(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                 MsgButtons buttons) override {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      // Headless (no widgets): a box cannot be shown; tell stderr and take the cautious answer.
      std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
      return HeadlessAnswer(buttons);
    }
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
      case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
      case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
      case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
      case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
      case MsgIcon::None:
        break;
    }
    QMessageBox::StandardButtons standard;
    switch (buttons) {
      case MsgButtons::Ok:
        standard = QMessageBox::Ok;
        break;
      case MsgButtons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        break;
      case MsgButtons::YesNo:
        standard = QMessageBox::Yes | QMessageBox::No;
        break;
      case MsgButtons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
      case MsgButtons::RetryCancel:
        standard = QMessageBox::Retry | QMessageBox::Cancel;
        break;
      case MsgButtons::AbortRetryIgnore:
        standard = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        break;
    }
    box.setStandardButtons(standard);
    switch (box.exec()) {
      case QMessageBox::Yes:
        return MsgResult::Yes;
      case QMessageBox::No:
        return MsgResult::No;
      case QMessageBox::Retry:
        return MsgResult::Retry;
      case QMessageBox::Abort:
        return MsgResult::Abort;
      case QMessageBox::Ignore:
        return MsgResult::Ignore;
      case QMessageBox::Ok:
        return MsgResult::Ok;
      default:
        // Escape or the close box.
        if (buttons == MsgButtons::Ok) return MsgResult::Ok;
        if (buttons == MsgButtons::YesNo) return MsgResult::No;
        return MsgResult::Cancel;
    }
  }
};

QtMessageBoxService g_qtService;
MessageBoxService* g_service = &g_qtService;
QString g_applicationTitle;

}  // namespace

MsgResult ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons, QWidget* parent,
                      const QString& title) {
  if (parent == nullptr && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    parent = QApplication::activeWindow();
  }
  return g_service->show(parent, text, title.isEmpty() ? ApplicationTitle() : title, icon, buttons);
}

void SetMessageBoxService(MessageBoxService* service) {
  g_service = service != nullptr ? service : &g_qtService;
}

MessageBoxService* CurrentMessageBoxService() { return g_service; }

void SetApplicationTitle(const QString& title) { g_applicationTitle = title; }

QString ApplicationTitle() {
  return g_applicationTitle.isEmpty() ? QGuiApplication::applicationDisplayName() : g_applicationTitle;
}

}  // namespace fw
