#include "platform/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/atomic_file.h"

namespace platform {
namespace {

// A settings file is a few kilobytes; a larger one is no settings file and is not read into memory.
constexpr off_t kMaxSettingsBytes = 16 << 20;

int ReadWholeFile(const std::string& path, std::string* text) {
  // Not blocking: a pipe in the file's place must not hang the program.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  int refused = ::fstat(fd, &info) != 0            ? errno
                : S_ISDIR(info.st_mode)            ? EISDIR
                : !S_ISREG(info.st_mode)           ? ENODEV
                : info.st_size > kMaxSettingsBytes ? EFBIG
                                                   : 0;
  if (refused) {
    ::close(fd);
    return refused;
  }
  text->clear();
  char buffer[8192];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      return error;
    }
    if (count == 0) break;
    text->append(buffer, static_cast<size_t>(count));
  }
  ::close(fd);
  return 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// Holds the exclusive lock of one registry file; also serialises writers inside this process,
// because each holder opens the lock file anew (flock locks belong to the open file description).
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  int Error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

// A warning is not repeated while nothing else happened: readers re-read the file for every value,
// and one save writes several values.
void WarnOnce(const std::string& text) {
  static std::mutex mutex;
  static std::string last;
  std::lock_guard<std::mutex> lock(mutex);
  if (text == last) return;
  last = text;
  std::fprintf(stderr, "tonvex: warning: %s\n", text.c_str());
}

std::string ReadOnlyNote(const std::string& path, int error) {
  if (error != EACCES && error != EPERM && error != EROFS) return "";
  if (error == EROFS) return " (a read-only file system)";
  return MarkedReadOnly(path) ? " (the file is read-only)" : " (its folder is read-only)";
}

std::string BackupName(const std::string& path) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string backup = path + ".damaged-" + stamp;
  for (int attempt = 1; ::access(backup.c_str(), F_OK) == 0 && attempt < 1000; ++attempt)
    backup = path + ".damaged-" + stamp + "-" + std::to_string(attempt);
  return backup;
}

// Under the lock: the damaged file is kept for the user to inspect, and what could be read replaces
// it, so that one bad line costs only that line and the warning comes once.
void Repair(const std::string& path, const std::string& heading, const std::string& text,
            const RegistryDocument& readable, const std::string& reason) {
  std::string message = "settings file " + path + " has " + reason + "; they were skipped, the rest is used";
  // A file that cannot be replaced stays as it is; no copy is made at every read.
  if (MarkedReadOnly(path) || MarkedReadOnly(FolderOf(path))) {
    WarnOnce(message + "; it is read-only and stays as it is");
    return;
  }
  std::string backup = BackupName(path);
  // The bytes that were read, not a hard link: a linked settings file would leave a second link to the file
  // that the repair below replaces.
  bool kept = ReplaceFileContent(backup, text) == 0;
  if (int error = ReplaceFileContent(path, readable.Serialize(heading))) {
    if (kept) ::unlink(backup.c_str());  // the damaged file itself is still there
    WarnOnce(message + "; it could not be repaired: " + std::strerror(error));
    return;
  }
  WarnOnce(kept ? message + "; the damaged file is kept as " + backup : message);
}

// Reads and parses with the lock held; a damaged file is repaired. 0 or an errno value.
int ReadLocked(const std::string& path, const std::string& heading, RegistryDocument* document) {
  std::string text;
  int error = ReadWholeFile(path, &text);
  *document = RegistryDocument();
  if (error == ENOENT) return 0;
  if (error) return error;
  std::string reason;
  if (!RegistryDocument::Parse(text, document, &reason)) Repair(path, heading, text, *document, reason);
  return 0;
}

}  // namespace

int ReadRegistryFile(const std::string& path, const std::string& heading, RegistryDocument* document) {
  std::string text;
  int error = ReadWholeFile(path, &text);
  *document = RegistryDocument();
  if (error == ENOENT) return 0;
  if (error) {
    const char* reason = error == ENODEV  ? "not a regular file"
                         : error == EFBIG ? "far too large for a settings file"
                                          : std::strerror(error);
    WarnOnce("cannot read settings file " + path + ": " + reason + "; using defaults");
    return error;
  }
  std::string reason;
  if (RegistryDocument::Parse(text, document, &reason)) return 0;
  // Damaged: decide again under the lock, since a writer may just have replaced the file.
  FileLock lock(path);
  if (lock.Error()) {
    WarnOnce("settings file " + path + " has " + reason + "; they were skipped, the rest is used");
    return 0;
  }
  return ReadLocked(path, heading, document);
}

int ModifyRegistryFile(const std::string& path, const std::string& heading,
                       const std::function<int(RegistryDocument&)>& change) {
  int error = CreateFolders(FolderOf(path));
  RegistryDocument document;
  if (!error) {
    FileLock lock(path);
    error = lock.Error();
    if (!error) error = ReadLocked(path, heading, &document);
    if (!error) {
      int result = change(document);
      if (result) return result == kUnchanged ? 0 : result;
      error = ReplaceFileContent(path, document.Serialize(heading));
    }
  }
  if (error && error != ENOENT)
    WarnOnce("cannot save settings to " + path + ": " + std::strerror(error) + ReadOnlyNote(path, error) +
             "; changes last only until the program ends");
  return error;
}

}  // namespace platform
