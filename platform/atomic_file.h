#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// Replaces a file so that a reader, or the disk after a crash, sees either the old or the new complete
// content: the new content goes to a temporary file beside the target, is flushed to the disk and then
// renamed over the target. Temporary files are named "." + target name (cut to 200 characters) +
// ".tmp-<pid>-<random>", so that folder scans for *.tva / *.tvd never pick one up and a later writer
// can remove those of writers that were killed before their rename. A file or folder marked
// read-only is never replaced (EACCES), not even by root.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();  // abandons an uncommitted temporary file

  // Removes dead writers' temporary files of the target and creates a new one; 0 or an errno value. The stream is valid until Commit or Abort.
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

// True when `path` exists without any write permission bit, or is not writable by this process.
bool MarkedReadOnly(const std::string& path);

// Creates a folder and its missing parents; 0 or an errno value.
int CreateFolders(const std::string& folder);

}  // namespace platform
