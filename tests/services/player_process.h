#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

// A real process that looks like a player: /bin/sleep copied into `folder` under `name` and started.
class PlayerProcess {
 public:
  PlayerProcess(const std::string& folder, const std::string& name) : path_(folder + "/" + name) {
    std::filesystem::copy_file("/bin/sleep", path_, std::filesystem::copy_options::overwrite_existing);
    char seconds[] = "60";
    char* arguments[] = {path_.data(), seconds, nullptr};
    if (::posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, arguments, environ) != 0) pid_ = -1;
    // The process runs the copy once /proc shows the copy as its executable.
    for (int i = 0; i < 500 && !RunsCopy(); ++i) ::usleep(2000);
  }
  ~PlayerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  PlayerProcess(const PlayerProcess&) = delete;
  PlayerProcess& operator=(const PlayerProcess&) = delete;

  const std::string& Path() const { return path_; }
  bool Running() const { return RunsCopy(); }

 private:
  bool RunsCopy() const {
    if (pid_ <= 0) return false;
    std::error_code error;
    auto target = std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/exe", error);
    return !error && target.string() == path_;
  }

  std::string path_;
  pid_t pid_ = -1;
};
