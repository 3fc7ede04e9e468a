#include "app/start_up.h"

#include <stdio.h>
#include <strings.h>
#include <unistd.h>

#include <filesystem>

#include "platform/string_table.h"

namespace desktop {
namespace {

constexpr int kStringOpenFromProgram = 61489;
constexpr int kStringNextStart = 61488;

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t length = std::char_traits<char>::length(suffix);
  return text.size() >= length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& workingFolder) {
  CommandLine line;
  if (arguments.empty()) return line;
  if (arguments.size() == 1) {
    line.kind = arguments[0] == "/S" ? CommandLine::Kind::kRelaunched : CommandLine::Kind::kRefuse;
    return line;
  }
  // The file is one argument (the shell has already split the line); at most four characters cannot
  // name a file with its extension.
  if (arguments.size() != 2 || arguments[0] != "/F" || arguments[1].size() <= 4) {
    line.kind = CommandLine::Kind::kRefuse;
    return line;
  }
  line.kind = CommandLine::Kind::kFile;
  line.file = arguments[1][0] == '/' ? arguments[1] : workingFolder + "/" + arguments[1];
  return line;
}

bool TakeFileArgument(const std::string& file, bool alreadyRunning,
                      const std::function<int(const std::string&)>& import, platform::UserPrompt& prompt) {
  if (EndsWith(file, ".tva")) {
    prompt.ShowMessage(platform::LoadString(kStringOpenFromProgram), platform::PromptButtons::Ok);
    return !alreadyRunning;
  }
  const int imported = import(file);
  if (imported < 0) return false;
  if (!alreadyRunning) return true;
  if (imported > 0 && EndsWith(file, ".tvd"))
    prompt.ShowMessage(platform::LoadString(kStringNextStart), platform::PromptButtons::Ok);
  return false;
}

UpdateSwap SwapUpdate(const std::string& folder) {
  const std::string program = folder + "/tonvex";
  const std::string fresh = folder + "/tonvex.new";
  const std::string old = folder + "/tonvex.old";
  if (access(fresh.c_str(), F_OK) != 0 || access(folder.c_str(), W_OK) != 0) return UpdateSwap::kNone;
  if (rename(program.c_str(), old.c_str()) != 0) return UpdateSwap::kRefuse;
  if (rename(fresh.c_str(), program.c_str()) != 0) {
    rename(old.c_str(), program.c_str());
    return UpdateSwap::kMoveFailed;
  }
  unlink(old.c_str());
  return UpdateSwap::kRelaunch;
}

FramePlace PlaceFrame(int screenWidth, int screenHeight) {
  return {screenHeight <= 600 ? 0 : 40, screenWidth <= 800 ? 10 : 60};
}

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

}  // namespace desktop
