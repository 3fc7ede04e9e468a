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
//
// The folder is synced after the rename only when the name is new (or when asked): a later reference to a
// new file (a stored pointer to it) must not outlive it after a crash. Replacing an existing file needs no
// second sync, since its content was flushed before the rename: a crash leaves the old or the new file
// whole, and each settled change of a setting costs one sync.
class AtomicFileWriter {
 public:
  // `syncFolderAlways`: also after replacing an existing file (a move that removes its source next).
  explicit AtomicFileWriter(bool syncFolderAlways = false) : syncFolderAlways_(syncFolderAlways) {}
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();  // abandons an uncommitted temporary file

  // Removes dead writers' temporary files of the target and creates a new one; 0 or an errno value. The stream is valid
  // until Commit or Abort.
  int Begin(const std::string& targetPath);
  std::FILE* Stream() const { return stream_; }
  // Flushes, syncs and renames over the target; 0 or an errno value (the target is untouched on failure).
  int Commit();
  void Abort();

 private:
  std::string target_;
  std::string temporary_;
  std::FILE* stream_ = nullptr;
  bool syncFolderAlways_ = false;
  bool newName_ = false;
};

// Writes `content` as the whole new content of `path` through an AtomicFileWriter; 0 or an errno value.
int ReplaceFileContent(const std::string& path, std::string_view content);

// The prefix of the temporary files that AtomicFileWriter creates for `path` (folder included).
std::string TemporaryPrefixFor(const std::string& path);

// True when `path` exists without any write permission bit, or is not writable by this process.
bool MarkedReadOnly(const std::string& path);

// The file that a write to `path` replaces: `path` itself, or, when it is a symbolic link, the name at the end
// of its chain of links, which need not exist yet (dotfile managers link settings files; a user may link an
// output). A chain longer than 40 links ends where it was cut.
std::string LinkTarget(const std::string& path);

// Creates a folder and its missing parents; 0 or an errno value.
int CreateFolders(const std::string& folder);

}  // namespace platform
