#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

// Long enough for any name the folder can hold to leave room for the suffix within NAME_MAX (255).
constexpr size_t kLongestNamePart = 200;

// "<pid>-": lets a later writer tell the temporary files of dead writers from those still in use.
std::string PidPart() { return std::to_string(::getpid()) + "-"; }

std::string RandomPart() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::string part(6, 'x');
  for (char& c : part) c = kLetters[random() % (sizeof kLetters - 1)];
  return part;
}

// Temporary files whose writer process is gone: a writer killed between creating and renaming.
void RemoveDeadWritersFiles(const std::string& target) {
  std::string prefix = TemporaryPrefixFor(target);
  std::string folder = FolderOf(target);
  std::string namePrefix = prefix.substr(prefix.rfind('/') + 1);
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  while (dirent* entry = ::readdir(directory)) {
    std::string_view name = entry->d_name;
    if (name.substr(0, namePrefix.size()) != namePrefix) continue;
    long pid = std::strtol(entry->d_name + namePrefix.size(), nullptr, 10);
    if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      ::unlinkat(::dirfd(directory), entry->d_name, 0);
  }
  ::closedir(directory);
}

}  // namespace

bool MarkedReadOnly(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  // The write bits count even for root, who could write anyway: the user marked the file read-only.
  return (info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

std::string TemporaryPrefixFor(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name.substr(0, kLongestNamePart) + ".tmp-";
}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

int AtomicFileWriter::Begin(const std::string& targetPath) {
  Abort();
  target_ = LinkTarget(targetPath);
  // A rename would replace a read-only file, or write into a read-only folder, for root.
  if (MarkedReadOnly(target_) || MarkedReadOnly(FolderOf(target_))) return EACCES;
  RemoveDeadWritersFiles(target_);
  int fd = -1;
  std::string candidate;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    candidate = TemporaryPrefixFor(target_) + PidPart() + RandomPart();
    // 0666 and O_EXCL: a new file gets the user's usual permissions (umask), never someone else's file.
    fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  // Keep the permissions of the file being replaced (a user may have made it private).
  struct stat existing {};
  newName_ = ::stat(target_.c_str(), &existing) != 0;
  if (!newName_) ::fchmod(fd, existing.st_mode & 07777);
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
  if (newName_ || syncFolderAlways_) SyncFolder(FolderOf(target_));
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

std::string LinkTarget(const std::string& path) {
  std::string current = path;
  for (int link = 0; link < 40; ++link) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    char text[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), text, sizeof text - 1);
    if (length <= 0) break;
    const std::string named(text, static_cast<size_t>(length));
    current = named[0] == '/' ? named : FolderOf(current) + "/" + named;
  }
  return current;
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
