#pragma once
#include <string>

namespace platform {

// The buttons a message box offers, and the answer it gives back.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// Flags of the open and save file dialogs.
enum FileDialogFlag : unsigned {
  kHideReadOnly = 1u << 0,
  kOverwritePrompt = 1u << 1,
  kPathMustExist = 1u << 2,
  kFileMustExist = 1u << 3,
};

struct FileDialogRequest {
  bool open = true;              // open dialog, else save dialog
  std::string defaultExtension;  // without the dot, e.g. "tva"
  std::string initialName;       // folder + name or pattern, e.g. "/home/u/.config/tonvex/*.tva"
  std::string filter;            // "Tonvex Files (*.tva)|*.tva|...||"
  unsigned flags = 0;            // FileDialogFlag values
};

// Everything the settings code asks of the user goes through this interface; the user interface
// provides the real one, tests a scripted one.
class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  virtual PromptAnswer ShowMessage(const std::string& text, PromptButtons buttons) = 0;
  // False when the user cancelled; otherwise `path` holds the chosen file.
  virtual bool ChooseFile(const FileDialogRequest& request, std::string* path) = 0;
};

// Used until the user interface installs its own: messages go to stderr, every question gets its
// cautious answer (Cancel, No where there is no Cancel, OK where that is the only button) and every
// file dialog is cancelled.
class ConsolePrompt : public UserPrompt {
 public:
  PromptAnswer ShowMessage(const std::string& text, PromptButtons buttons) override;
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override;
};

// The process-wide prompt; nullptr restores the console one. The caller keeps ownership.
UserPrompt& Prompt();
void SetPrompt(UserPrompt* prompt);

}  // namespace platform
