#pragma once
#include <cstdio>
#include <string>

namespace settings {

// A configuration is a few hundred bytes of text; a file a hundred times larger than the largest
// curve anyone draws is something else.
inline constexpr long kMaxConfigurationBytes = 1 << 20;

// Opens a configuration file for reading, refusing at once what cannot be one: a folder (EISDIR),
// anything but a regular file such as /dev/zero or a pipe (ENODEV; a pipe without a writer does not
// block the open), more than kMaxConfigurationBytes (EFBIG), or binary data such as a sound file
// (EILSEQ: control characters other than tab, line feed, carriage return, form feed). Returns the
// rewound stream, or nullptr with `error` set to that or the system's errno value.
std::FILE* OpenConfigurationFile(const std::string& path, int* error);

// Whether `path` can be taken in as a configuration file: its name ends in a configuration file's
// extension (.tvd, .tva, .tvx, .tvu: what the preset list and the Open and Save dialogs offer; EINVAL
// otherwise) and OpenConfigurationFile accepts it. 0 or the error.
int CheckConfigurationFile(const std::string& path);

// What went wrong, for a message: the reasons above in words, else the system's text.
std::string ConfigurationOpenErrorText(int error);

}  // namespace settings
