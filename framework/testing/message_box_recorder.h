#pragma once
// Test double of the message-box service: records every box and answers from
// a script. Installs itself for its lifetime.
#include <QList>
#include <QString>
#include <deque>

#include "framework/message_box.h"

namespace fw::testing {

struct RecordedMessage {
  QString text;
  QString title;
  MsgIcon icon;
  MsgButtons buttons;
};

class MessageBoxRecorder : public MessageBoxService {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder() override;  // restores the previous service

  // Answers for the next boxes, in order. When the script is empty a box is
  // answered with the default answer: OK for Ok/OkCancel, Yes for
  // YesNo/YesNoCancel, Retry for RetryCancel, Abort for AbortRetryIgnore.
  void script(std::initializer_list<MsgResult> answers);
  void clear() { calls_.clear(); }

  const QList<RecordedMessage>& calls() const { return calls_; }
  int count() const { return calls_.size(); }
  // The texts of all boxes shown, in order.
  QStringList texts() const;
  QString lastText() const { return calls_.isEmpty() ? QString() : calls_.last().text; }

  MsgResult show(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                 MsgButtons buttons) override;

 private:
  MessageBoxService* previous_;
  std::deque<MsgResult> answers_;
  QList<RecordedMessage> calls_;
};

}  // namespace fw::testing
