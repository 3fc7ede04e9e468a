#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/configuration_io.h"

// Configuration text through stdio streams in memory, as the reader and writer see their files, so that
// millions of fuzz inputs touch no disk. No test framework: the fuzz targets use it as well as the tests.
namespace testing_support {

inline void LoadText(const std::string& text, settings::ConfigurationModel& model,
                     engine::ProcessingParameters& parameters, platform::UserPrompt& prompt) {
  std::FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (!stream) stream = std::tmpfile();  // fmemopen refuses an empty buffer
  settings::LoadConfiguration(stream, model, parameters, prompt);
  std::fclose(stream);
}

inline std::string StoreText(settings::ConfigurationModel& model, platform::UserPrompt& prompt) {
  char* written = nullptr;
  size_t length = 0;
  std::FILE* stream = open_memstream(&written, &length);
  settings::StoreConfiguration(stream, model, prompt);
  std::fclose(stream);
  std::string text(written, length);
  std::free(written);
  return text;
}

}  // namespace testing_support
