// Feeds arbitrary bytes to the configuration reader. Besides crashes and sanitizer reports it checks
// that storing settles: a point below 1 Hz is written as 0 Hz, dropped by the next store, and may leave
// too few points, which the third store replaces by the defaults; after that nothing changes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/processing_parameters.h"
#include "platform/user_prompt.h"
#include "tests/support/configuration_text.h"

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
  testing_support::LoadText(text, model, parameters, prompt);
  // The band gains handed over must be numbers the engine can use.
  for (int index = 0; index < 2 * engine::kBandCount; ++index)
    if (!std::isfinite(parameters.equalizer.Gain(index))) std::abort();
  return testing_support::StoreText(model, prompt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static engine::ProcessingParameters parameters;
  std::string stored = LoadAndStore(std::string(reinterpret_cast<const char*>(data), size), parameters);
  // Most inputs settle at once; only the ones that do not are stored again, up to the third store.
  for (int store = 1; store < 4; ++store) {
    std::string again = LoadAndStore(stored, parameters);
    if (again == stored) return 0;
    if (store == 3) std::abort();
    stored = std::move(again);
  }
  return 0;
}
