#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// Replaces a file so that a reader, or the disk after a crash, sees either the old or the new complete
// content: the new content goes to a temporary file beside the target, is flushed to the disk and then
// renamed over the target. Temporary files are named "." + target name + ".tmp-..." so that folder
// scans for *.tva / *.tvd never pick one up.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();  // abandons an uncommitted temporary file

  // Creates the temporary file; 0 or an errno value. The stream is valid until Commit or Abort.
  int Begin(const std::string& targetPath);
  std::FILE* Stream() const { return stream_; }
  // Flushes, syncs and renames over the target; 0 or an errno value (the target is untouched on failure).
  int Commit();
  void Abort();

 private:
  std::string target_;
  std::string temporary_;
  std::FILE* stream_ = nullptr;
};

// Writes `content` as the whole new content of `path` through an AtomicFileWriter; 0 or an errno value.
int ReplaceFileContent(const std::string& path, std::string_view content);

// The prefix of the temporary files that AtomicFileWriter creates for `path` (folder included).
std::string TemporaryPrefixFor(const std::string& path);

// Creates a folder and its missing parents; 0 or an errno value.
int CreateFolders(const std::string& folder);

}  // namespace platform
