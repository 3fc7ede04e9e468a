#include "platform/user_prompt.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {
ConsolePrompt consolePrompt;
std::atomic<UserPrompt*> currentPrompt{nullptr};
}  // namespace

PromptAnswer ConsolePrompt::ShowMessage(const std::string& text, PromptButtons buttons) {
  std::fprintf(stderr, "tonvex: %s\n", text.c_str());
  switch (buttons) {
    case PromptButtons::Ok: return PromptAnswer::Ok;
    case PromptButtons::YesNo: return PromptAnswer::No;
    default: return PromptAnswer::Cancel;
  }
}

bool ConsolePrompt::ChooseFile(const FileDialogRequest&, std::string*) { return false; }

UserPrompt& Prompt() {
  UserPrompt* prompt = currentPrompt.load();
  return prompt ? *prompt : consolePrompt;
}

void SetPrompt(UserPrompt* prompt) { currentPrompt = prompt; }

}  // namespace platform
