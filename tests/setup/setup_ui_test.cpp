// The setup UI's own boxes: the warnings of missing application strings, every fifth of them
// asking whether to skip the rest, with that choice kept by each UI for itself.
#include "setup/setup_ui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/messages.h"

namespace valise::setup {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;

std::string Box(std::string_view caption, MessageIcon icon, MessageButtons buttons) {
  return std::string(caption) + "|" + std::to_string(static_cast<int>(icon)) + "|" +
         std::to_string(static_cast<int>(buttons));
}

// Records every message box and answers questions with a chosen answer.
class MessageBoxes {
 public:
  MessageBoxes() {
    previous_ =
        platform::SetMessageBoxHandler([this](std::string_view text, std::string_view caption,
                                              MessageIcon icon, MessageButtons buttons) {
          texts.emplace_back(text);
          boxes.push_back(Box(caption, icon, buttons));
          return buttons == MessageButtons::Ok ? MessageResult::Ok : answer;
        });
  }
  ~MessageBoxes() { platform::SetMessageBoxHandler(previous_); }

  std::vector<std::string> texts;
  std::vector<std::string> boxes;  // caption, icon and buttons of each
  MessageResult answer = MessageResult::No;

 private:
  platform::MessageBoxHandler previous_;
};

TEST(SetupUI, EveryFifthMissingStringWarningAsksWhetherToSkipTheRest) {
  MessageBoxes boxes;
  TSetupUI ui;
  const std::vector<std::string> ids = {"MsgCaptionWarning", "ButtonCancel", "ButtonContinue",
                                        "LabelDirectory", "MsgNotInDict"};
  boxes.answer = MessageResult::No;
  for (const std::string& id : ids) ui.WarnMissingString(id);
  ASSERT_EQ(boxes.texts.size(), 6u);
  EXPECT_EQ(boxes.texts[0], "Application string missing (MsgCaptionWarning)!");
  EXPECT_EQ(boxes.boxes[0], Box("Warning", MessageIcon::Warning, MessageButtons::Ok));
  EXPECT_EQ(boxes.texts[4], "Application string missing (MsgNotInDict)!");
  EXPECT_EQ(boxes.texts[5], "Skip further warnings?");
  EXPECT_EQ(boxes.boxes[5], Box("Confirm", MessageIcon::Question, MessageButtons::YesNoCancel));
  for (std::size_t i = 0; i < 4; ++i) ui.WarnMissingString(ids[i]);
  EXPECT_EQ(boxes.texts.size(), 10u) << "no question after the 9th warning";

  boxes.answer = MessageResult::Cancel;
  ui.WarnMissingString("\xC2\xABunknown");
  ASSERT_EQ(boxes.texts.size(), 12u);
  EXPECT_EQ(boxes.texts[10], "Application string missing (\xC2\xABunknown)!");
  EXPECT_EQ(boxes.texts.back(), "Skip further warnings?");

  boxes.answer = MessageResult::Yes;
  for (const std::string& id : ids) ui.WarnMissingString(id);
  EXPECT_EQ(boxes.texts.size(), 18u);
  ui.WarnMissingString("ButtonCancel");
  EXPECT_EQ(boxes.texts.size(), 18u) << "skipped for the rest of this UI";

  // Another UI (another run) warns again, counting from its own start.
  TSetupUI next;
  for (std::size_t i = 0; i < 4; ++i) next.WarnMissingString(ids[i]);
  EXPECT_EQ(boxes.texts.size(), 22u);
  EXPECT_EQ(boxes.texts.back(), "Application string missing (LabelDirectory)!");
}

}  // namespace
}  // namespace valise::setup
