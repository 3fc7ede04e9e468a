#include "settings/config_file.h"

#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/string_table.h"
#include "settings/configuration_io.h"
#include "settings/configuration_stream.h"
#include "settings/string_ids.h"

namespace settings {

CConfigFile::CConfigFile(PresetSelection& selection) : selection_(selection) {}
CConfigFile::CConfigFile() : selection_(Selection()) {}
CConfigFile::~CConfigFile() { Close(); }

void CConfigFile::Close() {
  if (stream) std::fclose(stream);
  stream = nullptr;
}

int CConfigFile::Open(const std::string& name) {
  Close();
  std::string path = selection_.ConfigFolder() + "/" + name;
  int error = 0;
  stream = OpenConfigurationFile(path, &error);
  if (!stream) {
    selection_.Prompt().ShowMessage(platform::LoadString(kStringCannotOpenFile), platform::PromptButtons::Ok);
    return -error;
  }
  LoadConfiguration(stream, selection_.Model(), selection_.Parameters(), selection_.Prompt());
  return 0;
}

int CConfigFile::Save(const std::string& name, bool keepPending) {
  Close();
  std::string path = selection_.ConfigFolder() + "/" + name;
  if (int error = WriteConfigurationFile(path, selection_.Model(), selection_.Prompt())) {
    selection_.Prompt().ShowMessage(platform::LoadString(kStringCannotOpenFile), platform::PromptButtons::Ok);
    return -error;
  }
  if (!keepPending) selection_.pending = 0;
  selection_.SaveSelection();
  return 0;
}

int WriteConfigurationFile(const std::string& path, ConfigurationModel& model, platform::UserPrompt& prompt) {
  platform::AtomicFileWriter writer;
  if (int error = writer.Begin(path)) return error;
  StoreConfiguration(writer.Stream(), model, prompt);
  return writer.Commit();
}

}  // namespace settings
