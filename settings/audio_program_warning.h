#pragma once
#include <array>
#include <atomic>
#include <string_view>

#include "platform/process_list.h"

namespace settings {

// Players and browsers that, when started before this program, keep playing on the real sound card
// past the processing. Matched against the base names of the user's executables, ignoring case.
inline constexpr std::array<std::string_view, 13> kAudioPrograms = {
    "firefox-esr", "firefox",   "chromium", "chrome",     "vlc",        "mpv",  "rhythmbox",
    "spotify",     "audacious", "totem",    "clementine", "strawberry", "elisa"};

// The warning's delay after the main window is created.
inline constexpr int kAudioProgramWarningDelayMs = 25000;

// The decision and the remembered answers behind the audio-program warning. The registry values, under
// HKCU "Software\Brevalto\Tonvex":
//   "timestamp"  day of month (UTC) on which the warning was last shown
//   "warning"    "0" when the user asked not to be warned again
class AudioProgramWarning {
 public:
  // Decides whether the warning is due and stores the answer in `pending` (the flag that the processing
  // thread clears when sound arrives): a listed program runs, the warning was not shown on this day of
  // the month, the user did not decline it, and `preferredDevice` is not set (on Linux that switch only
  // silences the warning). `processes` gets a new snapshot; `today` is the day of the month (UTC).
  AudioProgramWarning(std::atomic<int>& pending, int preferredDevice, platform::CProcessList& processes, int today);

  // The warning is still due (no sound arrived meanwhile).
  bool Pending() const { return pending_ != 0; }
  // The warning is about to be shown: remembers today as its day ("timestamp").
  void MarkShown() const;
  // OK was pressed; with the box ticked the warning never comes again ("warning" = "0").
  void Accept(bool dontShowAgain);

  int dontShowAgain = 0;
  int detected = 0;
  int warning = 1;
  int preferred = 0;
  int dayStamp = 0;

 private:
  std::atomic<int>& pending_;
};

// Today's day of the month in UTC, 1-31.
int TodayUtcDayOfMonth();

}  // namespace settings
