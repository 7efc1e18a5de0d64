// Without a widget application (headless runs) the default dialog services
// neither crash nor block: boxes go to stderr with the cautious answer, file
// dialogs are cancelled.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "framework/file_dialog.h"
#include "framework/message_box.h"

TEST(HeadlessServices, MessageBoxesAnswerCautiouslyAndFileDialogsCancel) {
  int argc = 1;
  char name[] = "headless";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  testing::internal::CaptureStderr();
  EXPECT_EQ(fw::ShowMessage("File format error", fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, nullptr,
                            "vantor"),
            fw::MsgResult::Ok);
  EXPECT_EQ(fw::ShowMessage("Save changes to Vantor1?", fw::MsgIcon::Exclamation,
                            fw::MsgButtons::YesNoCancel),
            fw::MsgResult::Cancel);
  EXPECT_EQ(fw::ShowMessage("Overwrite?", fw::MsgIcon::Question, fw::MsgButtons::YesNo), fw::MsgResult::No);
  std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("vantor: File format error\n"), std::string::npos);
  EXPECT_NE(output.find("Save changes to Vantor1?"), std::string::npos);
  EXPECT_EQ(fw::GetSaveFilePath(nullptr, "Save", "x (*.x)|*.x||", "x", "name"), QString());
}
