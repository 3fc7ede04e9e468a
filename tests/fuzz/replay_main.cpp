// Runs a fuzz target once over each file named on the command line, or each file in a named folder: the
// kept corpus (crash inputs included) replayed as a regression test in the ordinary builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path named(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(named))
      for (const auto& entry : std::filesystem::directory_iterator(named)) files.push_back(entry.path());
    else
      files.push_back(named);
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) return std::fprintf(stderr, "cannot read %s\n", file.c_str()), 1;
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
