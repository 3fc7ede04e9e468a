#pragma once
#include <string>

namespace settings {

// The installation folder: the default value of HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion\App Paths\Tonvex.exe" (the installed program's full
// path, written by the installation) without its last "/" and file name. Cached once non-empty;
// "" when the value is missing or holds no "/".
const std::string& GetInstallDirectory();
// Empties the cache, so that the next call reads the registry again.
void ResetInstallDirectoryCache();

// The installed program's command, for an autostart entry: the program the machine file names (the App
// Paths value) when that file exists and can be run, else the running executable. The running
// executable's path carries " (deleted)" once a package upgrade has replaced it; that mark is left out.
std::string InstalledProgramPath();

inline constexpr const char* kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tonvex.exe";

}  // namespace settings
