#pragma once
#include <QStringList>
#include <string>

#include "platform/user_prompt.h"

namespace widgets {

// The message boxes and file dialogs of the desktop program, modal over the active window.
class QtPrompt : public platform::UserPrompt {
 public:
  platform::PromptAnswer ShowMessage(const std::string& text, platform::PromptButtons buttons) override;
  bool ChooseFile(const platform::FileDialogRequest& request, std::string* path) override;
};

// "Tonvex Files (*.tva)|*.tva|All Files (*.*)|*.*||" as Qt's name filters; a description that does
// not show its patterns gets them appended, since Qt filters by what the parentheses hold.
QStringList QtNameFilters(const std::string& filter);

}  // namespace widgets
