#pragma once
#include <string>

namespace cli {

// The name under which render and normalize write their output until it is complete: a short hidden
// name in the target's folder (".tvx-XXXXXX", so a target name of any allowed length works and the
// final rename stays on one file system), renamed over the target by Commit. Until then SIGINT,
// SIGTERM and SIGHUP remove the file and end the process by that signal, and the destructor removes
// it. A target that is a symbolic link is written through to the file it names; a device node, a pipe or a
// folder is refused at once (RunError), before anything is written. One at a time per process.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(const std::string& target);  // RunError when the folder takes no file
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;
  ~TemporaryOutput();

  const std::string& Path() const { return path_; }
  void Commit();  // RunError naming the target; the temporary file is gone either way

 private:
  std::string target_;
  std::string path_;
};

}  // namespace cli
