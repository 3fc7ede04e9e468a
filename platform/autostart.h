#pragma once
#include <string>

namespace platform {

// Starting the program at log-on, the desktop's way: a "tonvex.desktop" entry in the user's autostart
// folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart), which every XDG desktop runs at log-on.
std::string AutostartFolder();
std::string AutostartFilePath();

// Set when the entry exists, is not switched off (Hidden=true, or the desktop's own
// X-GNOME-Autostart-enabled=false), and its Exec command runs `program` (a full path; an Exec that names
// the program without a folder counts when the base names are the same, the desktop finding it on PATH).
bool IsLaunchOnLogOnSet(const std::string& program);
// Writes the entry to run `program`, replacing the file atomically; 0 or an errno value.
int SetLaunchOnLogOn(const std::string& program);
// Removes the entry; 0 when it is gone (or was never there), else an errno value.
int RemoveLaunchOnLogOn();

// The running program's full path (from /proc/self/exe, without the " (deleted)" that the kernel adds
// once the file was replaced, as a package upgrade does); empty when it cannot be read.
std::string RunningProgramPath();
// `path` without a trailing " (deleted)".
std::string WithoutDeletedMark(std::string path);

// The Exec value that runs `program` without arguments, quoted and escaped as desktop entries require,
// and the program that an Exec value runs (its first word, unquoted); empty when the value is malformed.
std::string ExecValueFor(const std::string& program);
std::string ProgramOfExec(const std::string& exec);

}  // namespace platform
