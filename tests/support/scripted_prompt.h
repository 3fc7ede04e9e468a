#pragma once
#include <deque>
#include <string>
#include <vector>

#include "platform/user_prompt.h"

namespace testing_support {

// A UserPrompt that answers from a script and records what it was asked. A question or dialog
// without a scripted answer fails the running test and is answered Cancel.
class ScriptedPrompt : public platform::UserPrompt {
 public:
  struct Message {
    std::string text;
    platform::PromptButtons buttons;
  };

  void Answer(platform::PromptAnswer answer) { answers_.push_back(answer); }
  void ChooseFile(const std::string& path) { files_.push_back(path); }
  void CancelFileDialog() { files_.push_back({}); }

  platform::PromptAnswer ShowMessage(const std::string& text, platform::PromptButtons buttons) override;
  bool ChooseFile(const platform::FileDialogRequest& request, std::string* path) override;

  std::vector<Message> messages;
  std::vector<platform::FileDialogRequest> dialogs;
  bool AllAnswersUsed() const { return answers_.empty() && files_.empty(); }

 private:
  std::deque<platform::PromptAnswer> answers_;
  std::deque<std::string> files_;  // empty text: the user cancels
};

}  // namespace testing_support
