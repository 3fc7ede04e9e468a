#pragma once
#include <gtest/gtest.h>

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

  platform::PromptAnswer ShowMessage(const std::string& text, platform::PromptButtons buttons) override {
    messages.push_back({text, buttons});
    if (buttons == platform::PromptButtons::Ok) return platform::PromptAnswer::Ok;
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return platform::PromptAnswer::Cancel;
    }
    const platform::PromptAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  bool ChooseFile(const platform::FileDialogRequest& request, std::string* path) override {
    dialogs.push_back(request);
    if (files_.empty()) {
      ADD_FAILURE() << "unexpected file dialog for " << request.initialName;
      return false;
    }
    *path = files_.front();
    files_.pop_front();
    return !path->empty();  // empty text: the user cancels
  }

  std::vector<Message> messages;
  std::vector<platform::FileDialogRequest> dialogs;
  bool AllAnswersUsed() const { return answers_.empty() && files_.empty(); }

 private:
  std::deque<platform::PromptAnswer> answers_;
  std::deque<std::string> files_;
};

}  // namespace testing_support
