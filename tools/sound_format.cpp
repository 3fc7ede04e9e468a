#include "tools/sound_format.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "tools/cli_arguments.h"

namespace cli {
namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// Names users give files that the file library lists under another extension, and the sample format
// that name implies (0: the usual choice).
struct Alias {
  const char* extension;
  const char* listed;
  int subtype;
};
constexpr Alias kAliases[] = {{"aif", "aiff", 0},
                              {"aifc", "aiff", 0},
                              {"ogg", "oga", SF_FORMAT_VORBIS},
                              {"opus", "oga", SF_FORMAT_OPUS},
                              {"mp3", "m1a", SF_FORMAT_MPEG_LAYER_III}};

// The container formats with the extension the file library gives each; the input's own comes first
// so that, say, WAVEX stays WAVEX when both it and WAV answer to "wav".
int ContainerFor(const std::string& extension, int inputFormat) {
  std::string wanted = extension;
  for (const Alias& alias : kAliases)
    if (extension == alias.extension) wanted = alias.listed;
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  int found = 0;
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO format{};
    format.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &format, sizeof format) != 0 || !format.extension) continue;
    if (wanted != format.extension) continue;
    if (format.format == (inputFormat & SF_FORMAT_TYPEMASK)) return format.format;
    if (!found) found = format.format;
  }
  return found;
}

// The bytes each sample takes in an uncompressed format; 0 for the others.
int SampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 1;
    case SF_FORMAT_PCM_16: return 2;
    case SF_FORMAT_PCM_24: return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 4;
    case SF_FORMAT_DOUBLE: return 8;
    default: return 0;
  }
}

// The sound data size the header states, from the library's log of the header ("data : 352800
// (should be 199956)", " SSND : 705608 ..."); -1 when the log has none. AIFF counts 8 bytes of offset
// and block size in it, W64 its 24-byte chunk header.
long long StatedDataBytes(SNDFILE* file, int format) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
  for (const char* chunk : {"data : ", "SSND : "}) {
    const char* found = std::strstr(log, chunk);
    if (!found) continue;
    long long bytes = std::strtoll(found + std::strlen(chunk), nullptr, 10);
    if (chunk[0] == 'S') bytes -= 8;
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_W64) bytes -= 24;
    return bytes;
  }
  return -1;
}

}  // namespace

int OutputFormatFor(const std::string& output, int inputFormat) {
  const std::string extension = LowerExtension(output);
  if (extension.empty()) return inputFormat;
  const int container = ContainerFor(extension, inputFormat);
  if (!container)
    throw RunError(output + ": no sound file format has the extension \"." + extension +
                   "\" (use one such as .wav, .flac, .aiff or .ogg)");
  int implied = 0;
  for (const Alias& alias : kAliases)
    if (extension == alias.extension) implied = alias.subtype;
  const int candidates[] = {implied,          inputFormat & SF_FORMAT_SUBMASK,
                            SF_FORMAT_PCM_24, SF_FORMAT_PCM_16,
                            SF_FORMAT_FLOAT,  SF_FORMAT_VORBIS,
                            SF_FORMAT_OPUS,   SF_FORMAT_MPEG_LAYER_III,
                            SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8};
  for (int subtype : candidates) {
    if (!subtype) continue;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = container | subtype;
    if (sf_format_check(&info)) return info.format;
  }
  throw RunError(output + ": the \"." + extension + "\" format cannot hold this sound");
}

void WarnIfTruncated(SNDFILE* file, const SF_INFO& info, sf_count_t framesRead, const std::string& input,
                     std::FILE* messages) {
  sf_count_t promised = info.frames;
  const long long stated = StatedDataBytes(file, info.format);
  const int frameBytes = SampleBytes(info.format) * info.channels;
  // Streamed files state no size (0) or the largest one they can; neither is a promise.
  constexpr long long kUnknownSize = 0x7FFFF000;
  if (frameBytes > 0 && stated > 0 && stated < kUnknownSize)
    promised = std::max(promised, sf_count_t(stated / frameBytes));
  if (framesRead >= promised) return;
  std::fprintf(messages,
               "tonvex-cli: warning: %s is cut short: its header promises %lld frames (%.2f s), only %lld frames "
               "(%.2f s) could be read; the output holds what was read\n",
               input.c_str(), static_cast<long long>(promised), double(promised) / info.samplerate,
               static_cast<long long>(framesRead), double(framesRead) / info.samplerate);
}

}  // namespace cli
