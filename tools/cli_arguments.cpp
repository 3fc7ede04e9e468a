#include "tools/cli_arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "settings/config_lines.h"
#include "settings/configuration_io.h"
#include "settings/configuration_stream.h"

namespace cli {

std::string Arguments::Value(const std::string& name, const std::string& fallback) const {
  auto found = values.find(name);
  return found == values.end() ? fallback : found->second;
}

double Arguments::Number(const std::string& name, double fallback) const {
  auto found = values.find(name);
  if (found == values.end()) return fallback;
  const char* text = found->second.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(value))
    throw UsageError(name + " needs a number, not \"" + found->second + "\"");
  return value;
}

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flags, size_t positionalCount) {
  Arguments parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      if (valued.count(arg)) {
        if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
        parsed.values[arg] = args[++i];
      } else if (flags.count(arg)) {
        parsed.flags.insert(arg);
      } else {
        throw UsageError("unknown option " + arg);
      }
    } else {
      parsed.positional.push_back(arg);
    }
  }
  if (parsed.positional.size() != positionalCount)
    throw UsageError("expected " + std::to_string(positionalCount) + " file argument" +
                     (positionalCount == 1 ? "" : "s") + ", got " + std::to_string(parsed.positional.size()));
  return parsed;
}

double Arguments::Number(const std::string& name, double fallback, const Range& range) const {
  const double value = Number(name, fallback);
  if (value < range.low || value > range.high || (range.whole && value != std::floor(value))) {
    char bounds[96];
    std::snprintf(bounds, sizeof bounds, " takes %s%s from %g to %g, not ", range.whole ? "whole " : "", range.unit,
                  range.low, range.high);
    throw UsageError(name + bounds + Value(name));
  }
  return value;
}

ProcessingOptions ReadProcessingOptions(const Arguments& arguments) {
  // The ranges of the program's own sliders, so the engine gets nothing the program could not set. The
  // volume may go below the slider's -40 dB to -58 dB, the lowest gain of the engine's volume positions
  // (a quiet end is never a hazard, and scripts use it).
  using Range = Arguments::Range;
  constexpr Range kVolume{-58, 40, "dB"}, kLimit{48, 120, "dB SPL", true}, kAttack{0, 0.02, "seconds"},
      kRelease{0.01, 1.0, "seconds"};
  ProcessingOptions options;
  options.configFile = arguments.Value("--config");
  options.volumeDb[0] = arguments.Number("--volume-left", 0.0, kVolume);
  options.volumeDb[1] = arguments.Number("--volume-right", 0.0, kVolume);
  options.limitDbSpl[0] = int(arguments.Number("--limit-left", 96, kLimit));
  options.limitDbSpl[1] = int(arguments.Number("--limit-right", 96, kLimit));
  options.limiterAttack = arguments.Number("--limiter-attack", 0.001, kAttack);
  options.limiterRelease = arguments.Number("--limiter-release", 0.5, kRelease);
  options.amplificator = arguments.flags.count("--amplificator") > 0;
  for (const std::string& name : kProcessingValued)
    if (arguments.Has(name)) options.given.insert(name);
  if (options.amplificator) options.given.insert("--amplificator");
  return options;
}

void ApplyProcessingOptions(const ProcessingOptions& options, engine::ProcessingParameters& parameters) {
  for (int ch = 0; ch < engine::kChannels; ++ch) {
    for (int band = 0; band < engine::kBandCount; ++band) parameters.SetEqualizerBandGain(band, 0.0, ch);
    // Ratio 1: the compressor passes everything unchanged.
    parameters.SetCompressorChannel(96, 1.0, 0.01, 0.2, 96, ch);
    parameters.volume.gain[ch] = std::pow(10.0, options.volumeDb[ch] / 20.0);
    parameters.SetLimiterChannel(options.limitDbSpl[ch], ch, options.limiterAttack, options.limiterRelease);
  }
  parameters.amplificator = options.amplificator ? 1 : 0;
  if (options.configFile.empty()) return;
  settings::ConfigurationModel model;
  LoadConfigurationFile(options.configFile, model, parameters);
}

void LoadConfigurationFile(const std::string& path, settings::ConfigurationModel& model,
                           engine::ProcessingParameters& parameters, std::string* displayNameLines) {
  int error = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(settings::OpenConfigurationFile(path, &error), &std::fclose);
  if (!file) throw RunError("cannot read configuration " + path + ": " + settings::ConfigurationOpenErrorText(error));
  platform::ConsolePrompt prompt;
  settings::LoadConfiguration(file.get(), model, parameters, prompt);
  if (displayNameLines) *displayNameLines = settings::DisplayNameLines(file.get());
}

}  // namespace cli
