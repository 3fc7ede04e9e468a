#pragma once
#include <string>

namespace settings {

// Where the machine settings name the installed program (its full path, in the key's default value).
inline constexpr const char* kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tonvex.exe";

// The installed program's command, for an autostart entry: the program the machine file names (the App
// Paths value) when that file exists and can be run, else the running executable. The running
// executable's path carries " (deleted)" once a package upgrade has replaced it; that mark is left out.
std::string InstalledProgramPath();

}  // namespace settings
