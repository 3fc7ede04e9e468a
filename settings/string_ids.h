#pragma once

namespace settings {

// String table ids of the texts the settings code shows or uses.
inline constexpr int kStringSaveChanges = 32782;       // "Do you want to save changes ?"
inline constexpr int kStringCannotOpenFile = 32783;    // "Cannot Open a File"
inline constexpr int kStringProductKey = 57346;        // "Software\Brevalto\Tonvex"
inline constexpr int kStringInvalidArguments = 61485;  // "Invalid Arguments"
inline constexpr int kStringCopyFailed = 61486;        // "Error received when try to copy file."
inline constexpr int kStringOverwrite = 61487;         // "The destination file already exists. ..."
inline constexpr int kStringLaunchOnStartup = 61446;   // configure dialog captions
inline constexpr int kStringStartMinimized = 61447;
inline constexpr int kStringPreferredDevice = 61465;
inline constexpr int kStringAmplificator = 61475;

}  // namespace settings
