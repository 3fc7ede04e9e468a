#include "settings/configuration_stream.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace settings {
namespace {

bool IsBinary(unsigned char byte) {
  return (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') || byte == 0x7F;
}

// The whole file (it is small) is checked, so a sound file's header is found wherever it starts.
int CheckContent(int fd) {
  char buffer[8192];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    if (count == 0) return 0;
    for (ssize_t i = 0; i < count; ++i)
      if (IsBinary(static_cast<unsigned char>(buffer[i]))) return EILSEQ;
  }
}

int Check(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return ENODEV;
  if (info.st_size > kMaxConfigurationBytes) return EFBIG;
  // Back to blocking reads for the stream.
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  if (int error = CheckContent(fd)) return error;
  return ::lseek(fd, 0, SEEK_SET) == 0 ? 0 : errno;
}

}  // namespace

std::FILE* OpenConfigurationFile(const std::string& path, int* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  *error = Check(fd);
  std::FILE* stream = *error ? nullptr : ::fdopen(fd, "r");
  if (!stream) {
    if (!*error) *error = errno;
    ::close(fd);
  }
  return stream;
}

int CheckConfigurationFile(const std::string& path) {
  static constexpr const char* kExtensions[] = {".tvd", ".tva", ".tvx", ".tvu"};
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos ||
      std::none_of(std::begin(kExtensions), std::end(kExtensions),
                   [&](const char* extension) { return ::strcasecmp(path.c_str() + dot, extension) == 0; }))
    return EINVAL;
  int error = 0;
  if (std::FILE* stream = OpenConfigurationFile(path, &error)) std::fclose(stream);
  return error;
}

std::string ConfigurationOpenErrorText(int error) {
  switch (error) {
    case EINVAL: return "its name does not end in .tvd, .tva, .tvx or .tvu";
    case EISDIR: return "it is a folder, not a configuration file";
    case ENODEV: return "it is not a regular file";
    case EFBIG: return "it is larger than 1 MiB, too large for a configuration file";
    case EILSEQ: return "it holds binary data, not configuration text";
    default: return std::strerror(error);
  }
}

}  // namespace settings
