#include "platform/file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/atomic_file.h"

namespace platform {

int MoveFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
  if (errno != EXDEV) return errno;
  int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return errno;
  AtomicFileWriter writer(/*syncFolderAlways=*/true);  // the source goes next: the copy's name must stay
  if (int error = writer.Begin(to)) {
    ::close(source);
    return error;
  }
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(source, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      int error = errno;
      ::close(source);
      return error;
    }
    if (count == 0) break;
    if (std::fwrite(buffer, 1, static_cast<size_t>(count), writer.Stream()) != static_cast<size_t>(count)) {
      ::close(source);
      return errno ? errno : EIO;
    }
  }
  ::close(source);
  if (int error = writer.Commit()) return error;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace platform
