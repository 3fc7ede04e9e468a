#pragma once
#include "engine/processing_parameters.h"

namespace settings {

// The four application switches (any non-zero value counts as set). `amplificator` itself lives in
// the engine's parameters, which the limiter and the monitor read.
struct SwitchValues {
  int launch = 0;
  int minimized = 0;
  int preferred = 1;
  int amplificator = 0;
};

// Where each switch is kept:
//   launch        the autostart entry that runs this program (platform/autostart.h), no stored value
//   minimized     HKCU "Software\Brevalto\Tonvex" "minimized", "1" / "0"
//   preferred     HKCU product key "preferred", "1" / "0"
//   amplificator  HKCU product key "amplificator", "1" / "0", where the user changes it; else the HKLM
//                 product key's value, the installation's default
class ApplicationSwitches {
 public:
  explicit ApplicationSwitches(engine::ProcessingParameters& parameters);

  // Resets to the defaults and reads the registry; returns the values for the configure dialog.
  SwitchValues Load();
  // Writes every switch whose value differs from the running one, in the order launch, minimized,
  // preferred, amplificator, and takes it over even when the registry could not be written.
  void Store(const SwitchValues& values);

  int launchOnStartup = 0;
  int startMinimized = 0;
  int preferredDevice = 1;
  int Amplificator() const { return parameters_.amplificator; }

 private:
  engine::ProcessingParameters& parameters_;
};

// The log-on switch as the desktop will see it: 1 when the autostart entry exists, is not switched off and
// runs this very program. Read from the entry every time, never from a stored copy that could disagree.
int LaunchOnStartupSet();

// The process-wide switches, on the process-wide parameters.
ApplicationSwitches& Switches();

// The desktop's language: the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set; Portuguese (22)
// when it begins with "pt", else English (9).
int LocaleLanguage();

// Reads HKLM product key "language" (a decimal number, atoi & 0xFF), or takes LocaleLanguage() where the
// machine file has none: 22 gives Portuguese, anything else English (9). Sets the interface language and
// returns it; this is `uiLanguage`.
int LoadUiLanguage();

}  // namespace settings
