#include "settings/audio_program_warning.h"

#include <ctime>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "settings/number_text.h"
#include "settings/string_ids.h"

namespace settings {

AudioProgramWarning::AudioProgramWarning(std::atomic<int>& pending, int preferredDevice,
                                         platform::CProcessList& processes, int today)
    : pending_(pending) {
  int due = 1;
  processes.Snapshot();
  for (std::string_view name : kAudioPrograms) {
    if (processes.Count(name) > 0) {
      detected = 1;
      break;
    }
  }
  if (!detected) due = 0;

  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), platform::KEY_READ) == 0) {
    std::string text;
    if (key.QueryString("timestamp", &text, 1024) == 0) dayStamp = ParseInteger(text);
    if (today == dayStamp) due = 0;
    dayStamp = today;
    if (key.QueryString("warning", &text, 1024) == 0) {
      warning = ParseInteger(text);
      if (warning == 0) due = 0;
    }
  }
  preferred = preferredDevice;
  if (preferred) due = 0;
  pending_ = due;
}

void AudioProgramWarning::MarkShown() const {
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), platform::KEY_WRITE) == 0)
    key.SetString("timestamp", FormatInteger(dayStamp));
}

void AudioProgramWarning::Accept(bool tick) {
  dontShowAgain = tick;
  if (!dontShowAgain) return;
  platform::RegistryKey key;
  if (key.Open(platform::HKEY_CURRENT_USER, platform::LoadString(kStringProductKey), platform::KEY_WRITE) == 0)
    key.SetString("warning", "0");
}

int TodayUtcDayOfMonth() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  return utc.tm_mday;
}

}  // namespace settings
