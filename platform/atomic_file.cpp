#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <random>

namespace platform {
namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes the rename itself durable: without this a crash may bring back the old directory entry.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937 random{std::random_device{}()};
  return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(random() % 1000000);
}

}  // namespace

std::string TemporaryPrefixFor(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + ".tmp-";
}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

int AtomicFileWriter::Begin(const std::string& targetPath) {
  Abort();
  target_ = targetPath;
  // Replace the file a link points to, not the link (dotfile managers link settings files).
  struct stat link {};
  if (::lstat(targetPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* resolved = ::realpath(targetPath.c_str(), nullptr);
    if (resolved) {
      target_ = resolved;
      std::free(resolved);
    }
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = TemporaryPrefixFor(target_) + UniqueSuffix();
    int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    // Keep the permissions of the file being replaced (a user may have made it private).
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);
    stream_ = ::fdopen(fd, "w+");
    if (!stream_) {
      int error = errno;
      ::close(fd);
      ::unlink(candidate.c_str());
      return error;
    }
    temporary_ = candidate;
    return 0;
  }
  return EEXIST;
}

int AtomicFileWriter::Commit() {
  if (!stream_) return EBADF;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) error = errno ? errno : EIO;
  if (!error && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (std::fclose(stream_) != 0 && !error) error = errno ? errno : EIO;
  stream_ = nullptr;
  if (!error && std::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return error;
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
  return 0;
}

void AtomicFileWriter::Abort() {
  if (stream_) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

int ReplaceFileContent(const std::string& path, std::string_view content) {
  AtomicFileWriter writer;
  if (int error = writer.Begin(path)) return error;
  if (!content.empty() && std::fwrite(content.data(), 1, content.size(), writer.Stream()) != content.size()) {
    int error = errno ? errno : EIO;
    writer.Abort();
    return error;
  }
  return writer.Commit();
}

int CreateFolders(const std::string& folder) {
  if (folder.empty()) return 0;
  std::string partial;
  size_t position = 0;
  while (position != std::string::npos) {
    size_t next = folder.find('/', position + 1);
    partial = folder.substr(0, next);
    position = next;
    if (partial.empty() || partial == "/") continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

}  // namespace platform
