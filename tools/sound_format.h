#pragma once
#include <sndfile.h>

#include <cstdio>
#include <string>

namespace cli {

// The format to write `output` in: the container its extension names (as the file library lists its
// formats: wav, flac, aiff, w64, ...; also aif, ogg, opus, mp3), keeping the input's sample format when that
// container can hold it and else the closest one it can. The input's format when the name has no
// extension. RunError for an extension no container has.
int OutputFormatFor(const std::string& output, int inputFormat);

// After reading `input` to its end: when the file was cut short (its header promises more sound than
// it holds, as after an interrupted download or recording), a warning on `messages` that says how much
// was read of how much.
void WarnIfTruncated(SNDFILE* file, const SF_INFO& info, sf_count_t framesRead, const std::string& input,
                     std::FILE* messages);

}  // namespace cli
