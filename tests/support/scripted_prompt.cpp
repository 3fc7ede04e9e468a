#include "tests/support/scripted_prompt.h"

#include <gtest/gtest.h>

namespace testing_support {

platform::PromptAnswer ScriptedPrompt::ShowMessage(const std::string& text, platform::PromptButtons buttons) {
  messages.push_back({text, buttons});
  if (buttons == platform::PromptButtons::Ok) return platform::PromptAnswer::Ok;
  if (answers_.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return platform::PromptAnswer::Cancel;
  }
  platform::PromptAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

bool ScriptedPrompt::ChooseFile(const platform::FileDialogRequest& request, std::string* path) {
  dialogs.push_back(request);
  if (files_.empty()) {
    ADD_FAILURE() << "unexpected file dialog for " << request.initialName;
    return false;
  }
  std::string chosen = files_.front();
  files_.pop_front();
  if (chosen.empty()) return false;
  *path = chosen;
  return true;
}

}  // namespace testing_support
