#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/user_prompt.h"

namespace desktop {

// What the command line asks for: nothing ("tonvex"), a relaunch after an update ("/S"), or a file to
// take in ("/F FILE", the file the next argument, made absolute against `workingFolder`). Anything else
// refuses the start.
struct CommandLine {
  enum class Kind { kNormal, kRelaunched, kFile, kRefuse };
  Kind kind = Kind::kNormal;
  std::string file;
};
CommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& workingFolder);

// "/F FILE": a user configuration (.tva) is only named, never opened, and the start goes on unless another
// instance runs; anything else is imported into the configuration folder by `import` (<0 failed, 0 already
// there, >0 imported), and while another instance runs this process ends after saying when a new preset
// takes effect. True when the start goes on.
bool TakeFileArgument(const std::string& file, bool alreadyRunning,
                      const std::function<int(const std::string&)>& import, platform::UserPrompt& prompt);

// A downloaded replacement "tonvex.new" beside the running "tonvex" in `folder`: kNone when there is none or
// the folder cannot be written (a packaged install); kRefuse when the program cannot be moved aside (all
// stays as it was); kMoveFailed when the replacement could not take its place (the old program is back);
// kRelaunch when the new program is in place and is to be started with "/S".
enum class UpdateSwap { kNone, kRefuse, kMoveFailed, kRelaunch };
UpdateSwap SwapUpdate(const std::string& folder);

// Where the main window goes on a screen of this size: top 10 on screens up to 800 pixels wide, else 60;
// left 0 on screens up to 600 pixels high, else 40.
struct FramePlace {
  int left;
  int top;
};
FramePlace PlaceFrame(int screenWidth, int screenHeight);

// The folder of the running executable (where the update files are looked for).
std::string ExecutableFolder();

}  // namespace desktop
