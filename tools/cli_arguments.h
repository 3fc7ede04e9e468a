#pragma once
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/run_error.h"
#include "engine/processing_parameters.h"
#include "settings/configuration_model.h"

namespace cli {

// A command-line mistake; main prints it and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A failure while working (unreadable file, missing device); main prints it and exits with status 1.
using audio::RunError;

// Positional arguments and "--name value" / "--flag" options of one command.
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  double Number(const std::string& name, double fallback) const;
  // A number within [low, high] (whole when `whole`), else a UsageError naming the range.
  struct Range {
    double low, high;
    const char* unit;
    bool whole = false;
  };
  double Number(const std::string& name, double fallback, const Range& range) const;
};

// `valued` options take the next argument; `flags` take none; anything else starting with "--" is an error.
Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flags, size_t positionalCount);

// How render and live set up the chain: flat curves and ratio 1 unless a configuration file says otherwise.
struct ProcessingOptions {
  std::string configFile;
  double volumeDb[engine::kChannels] = {0.0, 0.0};
  int limitDbSpl[engine::kChannels] = {96, 96};
  double limiterAttack = 0.001;
  double limiterRelease = 0.5;
  bool amplificator = false;
  std::set<std::string> given;  // the options the command line named
};
inline const std::set<std::string> kProcessingValued = {"--config",         "--volume-left", "--volume-right",
                                                        "--limit-left",     "--limit-right", "--limiter-attack",
                                                        "--limiter-release"};
ProcessingOptions ReadProcessingOptions(const Arguments& arguments);
// Hands the options to the engine's parameter blocks the way the program's panels do.
void ApplyProcessingOptions(const ProcessingOptions& options, engine::ProcessingParameters& parameters);

// Loads a configuration file the way the program does: into `model`, its gains and compressor values handed
// to `parameters`; its display-name lines into `displayNameLines` when given. RunError naming the file
// and the reason when it cannot be read or is no configuration text.
void LoadConfigurationFile(const std::string& path, settings::ConfigurationModel& model,
                           engine::ProcessingParameters& parameters, std::string* displayNameLines = nullptr);

}  // namespace cli
