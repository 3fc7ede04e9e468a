#pragma once
#include <cstdio>
#include <string>

// Text through temporary stdio streams, as the configuration reader and writer see their files. Plain
// C++ only, so the fuzz targets can use it as well as the tests.
namespace testing_support {

// A stream holding `text`, positioned at its start.
inline std::FILE* StreamWith(const std::string& text) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  return stream;
}

// Everything written to `stream` so far.
inline std::string StreamContent(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, count);
  return text;
}

}  // namespace testing_support
