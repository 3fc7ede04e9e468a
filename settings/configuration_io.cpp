#include "settings/configuration_io.h"

#include <array>
#include <new>
#include <string>

#include "engine/exceptions.h"
#include "settings/config_lines.h"
#include "settings/equalizer_sampling.h"
#include "settings/number_text.h"

namespace settings {
namespace {

enum class Field { Center, Threshold, Rate, Attack, Release };

struct CompressorKey {
  const char* key;
  int channel;
  Field field;
};

// In the order the lines are tested and written.
constexpr std::array<CompressorKey, 10> kCompressorKeys = {{
    {"compress_left_center", 0, Field::Center},
    {"compress_left_threshold", 0, Field::Threshold},
    {"compress_left_rate", 0, Field::Rate},
    {"compress_left_attack", 0, Field::Attack},
    {"compress_left_release", 0, Field::Release},
    {"compress_right_center", 1, Field::Center},
    {"compress_right_threshold", 1, Field::Threshold},
    {"compress_right_rate", 1, Field::Rate},
    {"compress_right_attack", 1, Field::Attack},
    {"compress_right_release", 1, Field::Release},
}};

void ReadField(CompressorValues& values, Field field, std::string_view text) {
  switch (field) {
    case Field::Center: values.center = ParseInteger(text); break;
    case Field::Threshold: values.threshold = ParseInteger(text); break;
    case Field::Rate: values.rate = ParseFloat(text); break;
    case Field::Attack: values.attack = ParseDecimal(text); break;
    case Field::Release: values.release = ParseDecimal(text); break;
  }
}

std::string FormatField(const CompressorValues& values, Field field) {
  switch (field) {
    case Field::Center: return FormatInteger(values.center);
    case Field::Threshold: return FormatInteger(values.threshold);
    case Field::Rate: return FormatFixed(values.rate, 2);
    case Field::Attack: return FormatFixed(values.attack, 6);
    case Field::Release: return FormatFixed(values.release, 6);
  }
  return {};
}

void ReadCompressorPart(std::FILE* stream, CompressorPair& values) {
  ConfigLineReader reader(stream);
  std::string line;
  while (reader.Next(&line)) {
    for (const CompressorKey& key : kCompressorKeys) {
      if (!LineHasKey(line, key.key)) continue;
      std::optional<std::string_view> value = LineValue(line);
      if (!value) continue;
      ReadField(values[key.channel], key.field, *value);
      break;
    }
  }
}

void SendCompressor(const CompressorPair& values, engine::ProcessingParameters& parameters) {
  for (int channel = 0; channel < 2; ++channel) {
    const CompressorValues& side = values[channel];
    parameters.SetCompressorChannel(side.threshold, side.rate, side.attack, side.release, side.center, channel);
  }
}

// A failure in one curve is shown and the rest of the load or store goes on.
template <typename Step>
void RunCurveStep(platform::UserPrompt& prompt, Step step) {
  try {
    step();
  } catch (const engine::Exception& exception) {
    prompt.ShowMessage(exception.Text(), platform::PromptButtons::Ok);
  } catch (const std::bad_alloc&) {
    prompt.ShowMessage(engine::MemoryException("Out of memory while handling an equalizer curve.").Text(),
                       platform::PromptButtons::Ok);
  }
}

}  // namespace

void LoadConfiguration(std::FILE* stream, ConfigurationModel& model, engine::ProcessingParameters& parameters,
                       platform::UserPrompt& prompt) {
  ReadCompressorPart(stream, model.compressorValues);
  SendCompressor(model.compressorValues, parameters);
  RunCurveStep(prompt, [&] {
    model.leftCurve.ReadCurve(stream, "equalizer_left");
    ApplyCurveToEqualizer(model.leftCurve, 0, parameters);
  });
  RunCurveStep(prompt, [&] {
    model.rightCurve.ReadCurve(stream, "equalizer_right");
    ApplyCurveToEqualizer(model.rightCurve, 1, parameters);
  });
}

void LoadConfiguration(std::FILE* stream) {
  LoadConfiguration(stream, Configuration(), engine::Parameters(), platform::Prompt());
}

void StoreConfiguration(std::FILE* stream, ConfigurationModel& model, platform::UserPrompt& prompt) {
  std::string text;
  for (const CompressorKey& key : kCompressorKeys) {
    text += key.key;
    text += " = ";
    text += FormatField(model.compressorValues[key.channel], key.field);
    text += '\n';
  }
  std::fseek(stream, 0, SEEK_END);
  std::fputs(text.c_str(), stream);
  RunCurveStep(prompt, [&] { model.leftCurve.WriteCurve(stream, "equalizer_left"); });
  RunCurveStep(prompt, [&] { model.rightCurve.WriteCurve(stream, "equalizer_right"); });
}

void StoreConfiguration(std::FILE* stream) { StoreConfiguration(stream, Configuration(), platform::Prompt()); }

}  // namespace settings
