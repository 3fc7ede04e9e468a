// Feeds arbitrary bytes to the configuration reader. Besides crashes and sanitizer reports it checks
// that storing settles: a point below 1 Hz is written as 0 Hz, dropped by the next store, and may leave
// too few points, which the third store replaces by the defaults; after that nothing changes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/processing_parameters.h"
#include "platform/user_prompt.h"
#include "settings/configuration_io.h"

namespace {

class SilentPrompt : public platform::UserPrompt {
 public:
  platform::PromptAnswer ShowMessage(const std::string&, platform::PromptButtons) override {
    return platform::PromptAnswer::Cancel;
  }
  bool ChooseFile(const platform::FileDialogRequest&, std::string*) override { return false; }
};

std::string LoadAndStore(const std::string& text, engine::ProcessingParameters& parameters) {
  SilentPrompt prompt;
  settings::ConfigurationModel model;
  // Streams in memory: the reader and writer see stdio files, and millions of inputs touch no disk.
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (!in) in = std::tmpfile();  // fmemopen refuses an empty buffer
  settings::LoadConfiguration(in, model, parameters, prompt);
  std::fclose(in);
  // The band gains handed over must be numbers the engine can use.
  for (const engine::EqualizerBand& band : parameters.equalizer.bands)
    if (band.gain != band.gain) std::abort();
  char* written = nullptr;
  size_t length = 0;
  std::FILE* out = open_memstream(&written, &length);
  settings::StoreConfiguration(out, model, prompt);
  std::fclose(out);
  std::string stored(written, length);
  std::free(written);
  return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static engine::ProcessingParameters parameters;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string first = LoadAndStore(text, parameters);
  std::string second = LoadAndStore(first, parameters);
  std::string third = LoadAndStore(second, parameters);
  std::string fourth = LoadAndStore(third, parameters);
  if (fourth != third) std::abort();
  return 0;
}
