#pragma once
// The one message-box service of the programs. Application code calls
// ShowMessage; tests install a recorder (framework/testing/message_box_recorder.h)
// so that nothing blocks on a modal box.
#include <QString>

class QWidget;

namespace fw {

enum class MsgIcon { None, Exclamation, Information, Stop, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  virtual MsgResult show(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) = 0;
};

// Shows a modal message box. An empty title uses the application title
// (SetApplicationTitle, else QGuiApplication::applicationDisplayName()).
// A parent of nullptr uses the active window. Without a QApplication
// (headless runs) the text goes to stderr and the answer is the cautious one:
// OK, No (Yes/No) or Cancel.
MsgResult ShowMessage(const QString& text, MsgIcon icon = MsgIcon::Exclamation,
                      MsgButtons buttons = MsgButtons::Ok, QWidget* parent = nullptr,
                      const QString& title = QString());

// Replaces the service; nullptr restores the QMessageBox implementation.
// The caller keeps ownership.
void SetMessageBoxService(MessageBoxService* service);
MessageBoxService* CurrentMessageBoxService();

void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

}  // namespace fw
