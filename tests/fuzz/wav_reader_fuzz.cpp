// Feeds arbitrary bytes to `tonvex-cli render` as its input file. Besides crashes and sanitizer reports it
// checks what a user relies on: a render either fails with a RunError and leaves nothing behind, or writes
// an output that reads back with the input's rate and channels and as many frames as were read.
#include <sndfile.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/processing_parameters.h"
#include "tools/cli_arguments.h"
#include "tools/file_processing.h"

namespace {

// A folder of its own on a memory file system when there is one (millions of inputs go through it), removed
// at exit.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::string name =
        std::string(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") + "/tonvex-wav-fuzz.XXXXXX";
    if (!mkdtemp(name.data())) std::abort();
    path = name;
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
};

const std::filesystem::path& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

SF_INFO Info(const std::string& path, sf_count_t* frames) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return SF_INFO{};
  double scratch[2 * 1024];
  *frames = 0;
  for (sf_count_t got; (got = sf_readf_double(file, scratch, 1024)) > 0;) *frames += got;
  sf_close(file);
  return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static engine::ProcessingParameters parameters;  // flat: the output follows the input frame by frame
  const std::string input = (Folder() / "in.wav").string();
  const std::string output = (Folder() / "out.wav").string();
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
  std::filesystem::remove(output);
  bool rendered = true;
  try {
    cli::RenderFile(input, output, parameters);
  } catch (const cli::RunError&) { rendered = false; }
  // Only the input and, after a render, the output: no temporary file left over.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Folder())) ++entries;
  if (entries != (rendered ? 2 : 1)) std::abort();
  if (!rendered) return 0;
  sf_count_t framesIn = 0, framesOut = 0;
  const SF_INFO in = Info(input, &framesIn);
  const SF_INFO out = Info(output, &framesOut);
  if (out.channels != in.channels || out.samplerate != in.samplerate || framesOut != framesIn) std::abort();
  return 0;
}
