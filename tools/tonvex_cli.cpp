// tonvex-cli: the engine's chain on sound files, and the live engine without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_backend.h"
#include "engine/exceptions.h"
#include "engine/processing_parameters.h"
#include "settings/configuration_io.h"
#include "settings/configuration_model.h"
#include "tools/cli_arguments.h"
#include "tools/file_processing.h"
#include "tools/live_session.h"
#include "tools/remote_control_client.h"

namespace {

// Each command's usage and description: `tonvex-cli COMMAND --help` prints one, `tonvex-cli --help` all.
struct CommandHelp {
  const char* name;
  const char* usage;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"render",
     "render IN OUT [--config FILE] [--volume-left DB] [--volume-right DB]\n"
     "       [--limit-left DBSPL] [--limit-right DBSPL] [--limiter-attack S] [--limiter-release S]\n"
     "       [--amplificator]",
     "Runs IN through equalizer, compressor, volume and limiter exactly as the live engine does and\n"
     "writes OUT in the format its extension names (.wav, .flac, .aiff, .ogg, ...; IN's format without\n"
     "one). Defaults: flat curves, compressor ratio 1, volume 0 dB (-58 to 40), limiter 96 dB SPL\n"
     "(48 to 120) with 0.001 s attack (0 to 0.02) and 0.5 s release (0.01 to 1).\n"},
    {"analyze", "analyze IN [--side left|right|both] [--block FRAMES] [--amplificator]",
     "The monitor's level analysis of every block (default 1024 frames, side both) as CSV.\n"},
    {"bands", "bands FILE",
     "The sixteen band gains (dB) that loading the configuration FILE sends to the engine:\n"
     "left 25 Hz to 16 kHz, then right.\n"},
    {"normalize", "normalize IN OUT",
     "Loads the configuration IN and stores it to OUT exactly as the program saves it, after IN's\n"
     "preset display-name lines.\n"},
    {"live",
     "live [--config FILE] [--output DEVICE] [--backend pulse|pipewire]\n"
     "     [render's volume, limiter and --amplificator options]",
     "Runs the live engine: the virtual device becomes the default playback device and the sound\n"
     "plays on DEVICE for this run (default: the remembered device, else the default one at start,\n"
     "else the last real one) until SIGINT or SIGTERM. It starts from the desktop program's stored\n"
     "settings (the current preset or configuration, volume, limiter, amplifier); each option given\n"
     "overrides its stored counterpart. --backend (else TONVEX_AUDIO_BACKEND) chooses how the sound\n"
     "goes: through the PulseAudio protocol, or inside PipeWire's graph (default: pipewire when the\n"
     "server is PipeWire).\n"},
    {"control", "control preset NAME | file PATH | bypass on|off|toggle | status",
     "Steers the running desktop program over the session bus: loads the preset NAME (as shown in the\n"
     "preset list, or its file name) or the configuration file PATH as if chosen in the window, switches\n"
     "bypass (toggle prints the new state), or prints the status: configuration, output device, format,\n"
     "bypass, dropped blocks. Exits with 3 when no Tonvex runs on the session bus.\n"},
};

const char* const kExitStatus =
    "Exit status: 0 success, 1 failure while working, 2 bad arguments, 3 no Tonvex running (control).\n";

// The text under each usage line, indented by `indent` spaces.
std::string Indented(const char* text, int indent) {
  std::string out;
  for (const char* line = text; *line;) {
    const char* end = std::strchr(line, '\n');
    if (!end) end = line + std::strlen(line);
    out += std::string(indent, ' ') + std::string(line, end) + "\n";
    line = *end ? end + 1 : end;
  }
  return out;
}

std::string GeneralHelp() {
  std::string help = "Usage: tonvex-cli COMMAND ...\n       tonvex-cli COMMAND --help\n\nCommands:\n";
  for (const CommandHelp& command : kCommands) help += Indented(command.usage, 2) + Indented(command.text, 6);
  return help + "\n" + kExitStatus + "See tonvex-cli(1).\n";
}

const CommandHelp* FindCommand(const std::string& name) {
  for (const CommandHelp& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

std::string CommandUsage(const CommandHelp& command) {
  constexpr int kPrefix = 18;  // "Usage: tonvex-cli ", so that continued lines stay under the first one
  std::string usage = Indented(command.usage, kPrefix);
  usage.replace(0, kPrefix, "Usage: tonvex-cli ");
  return usage + "\n" + command.text + "\n" + kExitStatus;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--help" || arg == "-h") return true;
  return false;
}

using cli::Arguments;
using cli::ParseArguments;
using cli::RunError;
using cli::UsageError;

int Render(const std::vector<std::string>& args) {
  std::set<std::string> valued = cli::kProcessingValued;
  Arguments arguments = ParseArguments(args, valued, {"--amplificator"}, 2);
  cli::ProcessingOptions options = cli::ReadProcessingOptions(arguments);
  engine::ProcessingParameters parameters;
  cli::ApplyProcessingOptions(options, parameters);
  cli::RenderFile(arguments.positional[0], arguments.positional[1], parameters);
  return 0;
}

int Analyze(const std::vector<std::string>& args) {
  Arguments arguments = ParseArguments(args, {"--side", "--block"}, {"--amplificator"}, 1);
  const std::string sideText = arguments.Value("--side", "both");
  engine::MonitorSide side = engine::MonitorSide::kBoth;
  if (sideText == "left")
    side = engine::MonitorSide::kLeft;
  else if (sideText == "right")
    side = engine::MonitorSide::kRight;
  else if (sideText != "both")
    throw UsageError("--side takes left, right or both, not \"" + sideText + "\"");
  const double block = arguments.Number("--block", 1024);
  if (block < 1 || block > 1 << 20 || block != int(block))
    throw UsageError("--block needs a whole number of frames from 1");
  cli::ProcessingOptions options;
  options.amplificator = arguments.flags.count("--amplificator") > 0;
  engine::ProcessingParameters parameters;
  cli::ApplyProcessingOptions(options, parameters);
  cli::AnalyzeFile(arguments.positional[0], side, int(block), parameters, stdout);
  return 0;
}

int Bands(const std::vector<std::string>& args) {
  Arguments arguments = ParseArguments(args, {}, {}, 1);
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel model;
  cli::LoadConfigurationFile(arguments.positional[0], model, parameters);
  for (int ch = 0; ch < engine::kChannels; ++ch)
    for (int band = 0; band < engine::kBandCount; ++band)
      std::printf("%.2f\n", parameters.equalizer.Gain(engine::BandIndex(band, ch)));
  return 0;
}

int Normalize(const std::vector<std::string>& args) {
  Arguments arguments = ParseArguments(args, {}, {}, 2);
  engine::ProcessingParameters parameters;
  settings::ConfigurationModel model;
  std::string displayNames;
  cli::LoadConfigurationFile(arguments.positional[0], model, parameters, &displayNames);
  // Stored into memory first, so a failure leaves no partial file behind.
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  if (!memory) throw RunError("out of memory");
  platform::ConsolePrompt prompt;
  settings::StoreConfiguration(memory, model, prompt);
  std::fclose(memory);
  std::string content = displayNames + std::string(text, size);
  std::free(text);
  cli::WriteFileAtomically(arguments.positional[1], content);
  return 0;
}

int Live(const std::vector<std::string>& args) {
  std::set<std::string> valued = cli::kProcessingValued;
  valued.insert("--output");
  valued.insert("--backend");
  Arguments arguments = ParseArguments(args, valued, {"--amplificator"}, 0);
  const std::string backend = arguments.Value("--backend");
  audio::AudioBackend chosen;
  bool automatic;
  if (arguments.Has("--backend") && (!audio::ParseAudioBackend(backend, &chosen, &automatic) || automatic))
    throw cli::UsageError("--backend takes pulse or pipewire");
  return cli::RunLive(cli::ReadProcessingOptions(arguments), arguments.Value("--output"), backend);
}

int Control(const std::vector<std::string>& args) {
#ifdef TONVEX_CONTROL
  return cli::RunControl(args);
#else
  (void)args;
  throw cli::NotRunning("this tonvex-cli was built without the desktop program's remote control");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(GeneralHelp().c_str(), stderr);
    return 2;
  }
  std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    // "help COMMAND" is "COMMAND --help".
    if (args.empty()) {
      std::fputs(GeneralHelp().c_str(), stdout);
      return 0;
    }
    command = args.front();
    args = {"--help"};
  }
  if (const CommandHelp* help = FindCommand(command); help && AsksForHelp(args)) {
    std::fputs(CommandUsage(*help).c_str(), stdout);
    return 0;
  }
  try {
    if (command == "render") return Render(args);
    if (command == "analyze") return Analyze(args);
    if (command == "bands") return Bands(args);
    if (command == "normalize") return Normalize(args);
    if (command == "live") return Live(args);
    if (command == "control") return Control(args);
    throw UsageError("unknown command \"" + command + "\" (see tonvex-cli --help)");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tonvex-cli %s: %s\n", command.c_str(), e.what());
    return 2;
  } catch (const cli::NotRunning& e) {
    std::fprintf(stderr, "tonvex-cli %s: %s\n", command.c_str(), e.what());
    return 3;
  } catch (const RunError& e) {
    std::fprintf(stderr, "tonvex-cli %s: %s\n", command.c_str(), e.what());
    return 1;
  } catch (const engine::Exception& e) {
    std::fprintf(stderr, "tonvex-cli %s: %s\n", command.c_str(), e.Text().c_str());
    return 1;
  }
}
