#include "tools/cli_arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "settings/configuration_io.h"

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

ProcessingOptions ReadProcessingOptions(const Arguments& arguments) {
  ProcessingOptions options;
  options.configFile = arguments.Value("--config");
  options.volumeDb[0] = arguments.Number("--volume-left", 0.0);
  options.volumeDb[1] = arguments.Number("--volume-right", 0.0);
  const char* limits[] = {"--limit-left", "--limit-right"};
  for (int ch = 0; ch < engine::kChannels; ++ch) {
    const double limit = arguments.Number(limits[ch], 96.0);
    if (limit < 0 || limit > 140 || limit != std::floor(limit))
      throw UsageError(std::string(limits[ch]) + " needs whole dB SPL between 0 and 140");
    options.limitDbSpl[ch] = int(limit);
  }
  options.limiterAttack = arguments.Number("--limiter-attack", 0.001);
  options.limiterRelease = arguments.Number("--limiter-release", 0.5);
  if (options.limiterAttack <= 0 || options.limiterRelease <= 0 || options.limiterAttack > 10 ||
      options.limiterRelease > 10)
    throw UsageError("limiter times must be above 0 and at most 10 seconds");
  for (double db : options.volumeDb)
    if (db > 40) throw UsageError("volumes go up to +40 dB");
  options.amplificator = arguments.flags.count("--amplificator") > 0;
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
                           engine::ProcessingParameters& parameters) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
  if (!file) throw RunError("cannot read configuration " + path + ": " + std::strerror(errno));
  platform::ConsolePrompt prompt;
  settings::LoadConfiguration(file.get(), model, parameters, prompt);
}

}  // namespace cli
