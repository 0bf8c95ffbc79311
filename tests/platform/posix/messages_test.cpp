// Messages on the posix backend: message boxes without a window.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace valise::platform {
namespace {

TEST(MessagesTest, DefaultMessageBoxWritesToStandardError) {
  SetMessageBoxHandler(nullptr);
  ::testing::internal::CaptureStderr();
  const MessageResult ok = ShowMessageBox("Setup completed.", "Information",
                                          MessageIcon::Information, MessageButtons::Ok);
  const MessageResult yes =
      ShowMessageBox("Cancel setup?", "Question", MessageIcon::Question, MessageButtons::YesNo);
  const MessageResult yes3 =
      ShowMessageBox("Replace?", "", MessageIcon::None, MessageButtons::YesNoCancel);
  const std::string output = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ok, MessageResult::Ok);
  EXPECT_EQ(yes, MessageResult::Yes);
  EXPECT_EQ(yes3, MessageResult::Yes);
  EXPECT_NE(output.find("Setup completed."), std::string::npos);
  EXPECT_NE(output.find("Cancel setup?"), std::string::npos);
  EXPECT_NE(output.find("Replace?"), std::string::npos);
}

}  // namespace
}  // namespace valise::platform
