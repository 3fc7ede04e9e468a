#include "platform/registry_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/atomic_file.h"

namespace platform {
namespace {

int ReadWholeFile(const std::string& path, std::string* text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
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

// A damaged file is kept for the user to inspect instead of being overwritten with defaults.
void SetAside(const std::string& path, const std::string& reason) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string backup = path + ".damaged-" + stamp;
  for (int attempt = 1; ::access(backup.c_str(), F_OK) == 0 && attempt < 1000; ++attempt)
    backup = path + ".damaged-" + stamp + "-" + std::to_string(attempt);
  if (std::rename(path.c_str(), backup.c_str()) == 0) {
    std::fprintf(stderr, "tonvex: warning: settings file %s is damaged (%s); kept as %s, using defaults\n",
                 path.c_str(), reason.c_str(), backup.c_str());
  } else {
    std::fprintf(stderr, "tonvex: warning: settings file %s is damaged (%s); using defaults\n", path.c_str(),
                 reason.c_str());
  }
}

// Temporary files of writers that died before their rename; only lock holders create them.
void RemoveStaleTemporaries(const std::string& path) {
  std::string prefix = TemporaryPrefixFor(path);
  std::string folder = FolderOf(path);
  std::string namePrefix = prefix.substr(prefix.rfind('/') + 1);
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name.compare(0, namePrefix.size(), namePrefix) == 0) ::unlink((folder + "/" + name).c_str());
  }
  ::closedir(directory);
}

// Reads and parses with the lock held; a damaged file is set aside. 0 or an errno value.
int ReadLocked(const std::string& path, RegistryDocument* document) {
  std::string text;
  int error = ReadWholeFile(path, &text);
  *document = RegistryDocument();
  if (error == ENOENT) return 0;
  if (error) return error;
  std::string reason;
  if (!RegistryDocument::Parse(text, document, &reason)) {
    SetAside(path, reason);
    *document = RegistryDocument();
  }
  return 0;
}

}  // namespace

int ReadRegistryFile(const std::string& path, RegistryDocument* document) {
  std::string text;
  int error = ReadWholeFile(path, &text);
  *document = RegistryDocument();
  if (error == ENOENT) return 0;
  if (error) return error;
  if (RegistryDocument::Parse(text, document, nullptr)) return 0;
  // Damaged: decide again under the lock, since a writer may just have replaced the file.
  FileLock lock(path);
  if (lock.Error()) {
    std::fprintf(stderr, "tonvex: warning: settings file %s is damaged; using defaults\n", path.c_str());
    *document = RegistryDocument();
    return 0;
  }
  return ReadLocked(path, document);
}

int ModifyRegistryFile(const std::string& path, const std::string& heading,
                       const std::function<int(RegistryDocument&)>& change) {
  if (int error = CreateFolders(FolderOf(path))) return error;
  FileLock lock(path);
  if (lock.Error()) return lock.Error();
  RegistryDocument document;
  if (int error = ReadLocked(path, &document)) return error;
  RemoveStaleTemporaries(path);
  if (int result = change(document)) return result == kUnchanged ? 0 : result;
  return ReplaceFileContent(path, document.Serialize(heading));
}

}  // namespace platform
