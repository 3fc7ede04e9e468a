#pragma once
#include <cstdio>
#include <string>

#include "settings/preset_selection.h"

namespace settings {

// One configuration file of the configuration folder, opened by name.
class CConfigFile {
 public:
  explicit CConfigFile(PresetSelection& selection);
  CConfigFile();  // on the process-wide selection
  CConfigFile(const CConfigFile&) = delete;
  CConfigFile& operator=(const CConfigFile&) = delete;
  virtual ~CConfigFile();

  // Loads folder/name: 0, or the negated errno after showing "Cannot Open a File".
  int Open(const std::string& name);
  // Stores to folder/name (replaced atomically, never left half written): 0, or the negated errno
  // after showing "Cannot Open a File". On success clears `pending` unless keepPending, and saves the
  // selection state.
  int Save(const std::string& name, bool keepPending);

  std::FILE* stream = nullptr;

 private:
  void Close();
  PresetSelection& selection_;
};

// Writes the configuration to `path` through a temporary file and a rename: 0 or an errno value.
int WriteConfigurationFile(const std::string& path, ConfigurationModel& model, platform::UserPrompt& prompt);

}  // namespace settings
