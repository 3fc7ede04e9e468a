#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace audio_test {

// A PulseAudio server of the test's own: own runtime, state and configuration folders and socket, with a
// null sink "Speakers" as its only sound card. Everything in this process (and the tools it runs) is
// pointed at it, so the user's own server is never touched. Left without clients for 30 s (say, after a
// crashed test) it ends by itself.
class PrivateServer {
 public:
  PrivateServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tonvex-pulse-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    dir_ = pattern;
    for (const char* sub : {"/run", "/state", "/config", "/home"}) mkdir((dir_ + sub).c_str(), 0700);
    socket_ = dir_ + "/run/native";
    std::ofstream(dir_ + "/server.pa")
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_ << "\n"
        << "load-module module-null-sink sink_name=speakers sink_properties=device.description=Speakers\n"
        << "set-default-sink speakers\n";
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", (dir_ + "/run").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
    setenv("PULSE_STATE_PATH", (dir_ + "/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    setenv("HOME", (dir_ + "/home").c_str(), 1);
  }
  ~PrivateServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static bool Available() { return access("/usr/bin/pulseaudio", X_OK) == 0; }

  bool Start() {
    if (dir_.empty()) return false;
    std::remove(socket_.c_str());
    const std::string script = dir_ + "/server.pa";
    const char* argv[] = {"pulseaudio", "-n", "-F", script.c_str(), "--daemonize=no", "--exit-idle-time=30",
                          "--use-pid-file=no", "--log-target=stderr", "--log-level=error", nullptr};
    if (posix_spawn(&pid_, "/usr/bin/pulseaudio", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
      return false;
    }
    for (int i = 0; i < 100; ++i) {
      if (Pactl("info >/dev/null 2>&1")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Runs pactl with the given arguments against this server; true on success.
  static bool Pactl(const std::string& arguments) { return std::system(("pactl " + arguments).c_str()) == 0; }
  static std::string PactlOutput(const std::string& arguments) {
    std::string text;
    if (std::FILE* pipe = popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r")) {
      char chunk[512];
      for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
      pclose(pipe);
    }
    return text;
  }

 private:
  std::string dir_;
  std::string socket_;
  pid_t pid_ = -1;
};

}  // namespace audio_test
