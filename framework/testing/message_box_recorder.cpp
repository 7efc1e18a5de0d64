#include "framework/testing/message_box_recorder.h"

namespace fw::testing {

MessageBoxRecorder::MessageBoxRecorder() : previous_(CurrentMessageBoxService()) {
  SetMessageBoxService(this);
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxService(previous_); }

void MessageBoxRecorder::script(std::initializer_list<MsgResult> answers) {
  answers_.insert(answers_.end(), answers);
}

QStringList MessageBoxRecorder::texts() const {
  QStringList result;
  for (const RecordedMessage& call : calls_) result << call.text;
  return result;
}

MsgResult MessageBoxRecorder::show(QWidget*, const QString& text, const QString& title, MsgIcon icon,
                                   MsgButtons buttons) {
  calls_.append({text, title, icon, buttons});
  if (!answers_.empty()) {
    MsgResult answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::Yes;
    case MsgButtons::RetryCancel:
      return MsgResult::Retry;
    case MsgButtons::AbortRetryIgnore:
      return MsgResult::Abort;
    default:
      return MsgResult::Ok;
  }
}

}  // namespace fw::testing
