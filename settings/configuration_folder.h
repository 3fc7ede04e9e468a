#pragma once
#include <string>
#include <vector>

// The configuration folder holds the presets (*.tvd), the user's configurations (*.tva) and the
// automatically kept "Custom.tvh". It is the user's own folder, $XDG_CONFIG_HOME/tonvex (else
// ~/.config/tonvex), so that every save works without rights on the installation.
// The installation puts the shipped presets into <prefix>/share/tonvex/presets; the first time the
// program needs a configuration folder that holds no preset at all, it copies them in. Presets the
// user deleted later are not brought back while any preset remains.
namespace settings {

std::string DefaultConfigurationFolder();
std::string ShippedPresetFolder();

// Creates `configFolder` when missing and, when it holds no *.tvd file, copies every *.tvd file of
// `shippedFolder` into it. Returns the number of presets copied.
int SeedPresets(const std::string& shippedFolder, const std::string& configFolder);

// True for a name that ends in ".tvd". File names are case-sensitive here, and a preset is loaded by
// its name up to the first "." with ".tvd" appended, so "Rock.TVD" is no preset.
bool IsPresetFileName(const std::string& name);

// The names of the preset files in `folder` (hidden files left out), in the folder's own order; none when
// the folder cannot be read.
std::vector<std::string> PresetFileNames(const std::string& folder);

}  // namespace settings
