#include "tools/file_processing.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/channel_chain.h"
#include "engine/signal_buffer.h"
#include "tools/cli_arguments.h"
#include "tools/sound_blocks.h"
#include "tools/sound_format.h"
#include "tools/temporary_output.h"

namespace cli {
namespace {

struct SoundFile {
  SNDFILE* file = nullptr;
  ~SoundFile() {
    if (file) sf_close(file);
  }
};

void OpenInput(const std::string& path, SoundFile* in, SF_INFO* info) {
  *info = SF_INFO{};
  in->file = sf_open(path.c_str(), SFM_READ, info);
  if (!in->file) throw RunError("cannot read " + path + ": " + sf_strerror(nullptr));
  if (info->channels < 1 || info->channels > engine::kChannels)
    throw RunError(path + ": " + std::to_string(info->channels) + " channels are not supported (mono and stereo only)");
  if (info->samplerate < 1000 || info->samplerate > 768000)
    throw RunError(path + ": sample rate " + std::to_string(info->samplerate) + " Hz is not supported");
}

// Frames per block of a render: long enough that a block costs little to set up, short enough that both
// channels stay in the first-level cache from one stage to the next.
constexpr int kRenderBlockFrames = 1024;
// Frames per read and write of the files: few system calls.
constexpr int kRenderChunkFrames = 16 * kRenderBlockFrames;

}  // namespace

void RenderFile(const std::string& input, const std::string& output, engine::ProcessingParameters& parameters) {
  SoundFile in;
  SF_INFO info;
  OpenInput(input, &in, &info);
  SF_INFO outInfo{};
  outInfo.samplerate = info.samplerate;
  outInfo.channels = info.channels;
  outInfo.format = OutputFormatFor(output, info.format);
  if (!sf_format_check(&outInfo)) throw RunError(output + ": the input's format cannot be written");
  TemporaryOutput temporary(output);
  auto out = std::make_unique<SoundFile>();
  out->file = sf_open(temporary.Path().c_str(), SFM_WRITE, &outInfo);
  if (!out->file) throw RunError("cannot write " + output + ": " + sf_strerror(nullptr));
  // Integer formats clip what exceeds full scale instead of wrapping round.
  sf_command(out->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  const int channels = info.channels;
  // The chain's result does not depend on how the stream is cut into blocks.
  const int block = kRenderBlockFrames;
  SoundBlocks blocks(info, kRenderChunkFrames);
  engine::CSignalBuffer buffers[engine::kChannels] = {engine::CSignalBuffer(block), engine::CSignalBuffer(block)};
  engine::CChannelChain chain(parameters);
  chain.FollowSampleRate(info.samplerate);
  chain.Reset();
  bool failed = false;
  std::string problem;
  sf_count_t framesRead = 0;
  for (;;) {
    const sf_count_t got = blocks.ReadChunk(in.file);
    if (got < 0 || sf_error(in.file) != SF_ERR_NO_ERROR) {
      failed = true;
      problem = "cannot read " + input + ": " + sf_strerror(in.file);
      break;
    }
    if (got == 0) break;
    framesRead += got;
    for (sf_count_t offset = 0; offset < got; offset += block) {
      const int frames = int(std::min<sf_count_t>(block, got - offset));
      blocks.Take(offset, frames, buffers);
      chain.Run(buffers, channels);
      blocks.Put(offset, frames, buffers);
    }
    if (!blocks.WriteChunk(out->file, got)) {
      failed = true;
      problem = "cannot write " + output + ": " + sf_strerror(out->file);
      break;
    }
  }
  out.reset();  // closes and finishes the header
  if (failed) throw RunError(problem);
  WarnIfTruncated(in.file, info, framesRead, input, stderr);
  temporary.Commit();
}

void AnalyzeFile(const std::string& input, engine::MonitorSide side, int frames,
                 engine::ProcessingParameters& parameters, std::FILE* csv) {
  SoundFile in;
  SF_INFO info;
  OpenInput(input, &in, &info);
  const int channels = info.channels;
  std::vector<double> interleaved(size_t(frames) * channels);
  engine::CSignalBuffer buffers[engine::kChannels] = {engine::CSignalBuffer(frames), engine::CSignalBuffer(frames)};
  engine::CChannelChain chain(parameters);
  chain.FollowSampleRate(info.samplerate);
  chain.Reset();
  engine::MonitorExchange& exchange = parameters.monitor;
  std::array<double, engine::kBandCount> bands{};
  double total = 0.0;
  std::fprintf(csv, "time_s,b25,b63,b160,b400,b1000,b2500,b6300,b16000,total\n");
  sf_count_t position = 0;
  for (;;) {
    const sf_count_t got = sf_readf_double(in.file, interleaved.data(), frames);
    if (got < 0 || sf_error(in.file) != SF_ERR_NO_ERROR)
      throw RunError("cannot read " + input + ": " + sf_strerror(in.file));
    if (got == 0) break;
    // Every block is asked for, as the monitor would ask while it is shown.
    exchange.side = side;
    exchange.secondPending = 0;
    exchange.request = 1;
    for (int ch = 0; ch < channels; ++ch) {
      buffers[ch].Resize(int(got));
      for (sf_count_t i = 0; i < got; ++i) buffers[ch][int(i)] = interleaved[size_t(i) * channels + ch];
      chain.RunChannel(buffers[ch], ch, channels);
    }
    if (engine::TakeMonitorReply(parameters, bands.data(), &total)) {
      std::fprintf(csv, "%.6f", double(position) / info.samplerate);
      for (double level : bands) std::fprintf(csv, ",%.2f", level);
      std::fprintf(csv, ",%.2f\n", total);
    }
    position += got;
  }
  if (std::fflush(csv) != 0) throw RunError(std::string("cannot write the analysis: ") + std::strerror(errno));
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
  TemporaryOutput temporary(path);
  std::FILE* file = std::fopen(temporary.Path().c_str(), "w");
  if (!file) throw RunError("cannot write " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) throw RunError("cannot write " + path + ": " + std::strerror(errno));
  temporary.Commit();
}

}  // namespace cli
