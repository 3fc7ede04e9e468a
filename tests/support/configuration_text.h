#pragma once
#include <cstdio>
#include <string>

#include "settings/configuration_io.h"

// Configuration text through temporary stdio streams, as the reader and writer see their files. No test
// framework, so the fuzz targets use it as well as the tests.
namespace testing_support {

inline void LoadText(const std::string& text, settings::ConfigurationModel& model,
                     engine::ProcessingParameters& parameters, platform::UserPrompt& prompt) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  settings::LoadConfiguration(stream, model, parameters, prompt);
  std::fclose(stream);
}

inline std::string StoreText(settings::ConfigurationModel& model, platform::UserPrompt& prompt) {
  std::FILE* stream = std::tmpfile();
  settings::StoreConfiguration(stream, model, prompt);
  std::rewind(stream);
  std::string text;
  char buffer[4096];
  for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) text.append(buffer, count);
  std::fclose(stream);
  return text;
}

}  // namespace testing_support
