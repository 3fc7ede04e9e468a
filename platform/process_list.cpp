#include "platform/process_list.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace platform {
namespace {

std::string BaseName(std::string path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A running program whose file was replaced (a package upgrade under a running browser) links to
// "<path> (deleted)"; it is still the same program.
void DropDeletedMark(std::string& path) {
  static constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

int ProcessId(const char* entry) {
  int id = 0;
  for (const char* c = entry; *c; ++c) {
    if (*c < '0' || *c > '9' || id > 100'000'000) return 0;
    id = id * 10 + (*c - '0');
  }
  return id;
}

}  // namespace

std::string ProcessName(int id) {
  const std::string folder = "/proc/" + std::to_string(id);
  char target[4096];
  ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target - 1);
  if (length > 0) {
    std::string path(target, static_cast<size_t>(length));
    DropDeletedMark(path);
    return BaseName(path);
  }
  // The first word of the command line, up to its terminating zero.
  std::ifstream commandLine(folder + "/cmdline", std::ios::binary);
  std::string first;
  std::getline(commandLine, first, '\0');
  return BaseName(first);
}

bool CProcessList::Snapshot() {
  DIR* folder = ::opendir("/proc");
  if (!folder) return false;
  const uid_t user = ::getuid();
  records_.clear();
  while (const dirent* entry = ::readdir(folder)) {
    const int id = ProcessId(entry->d_name);
    if (id <= 0) continue;
    struct stat status {};
    // /proc/<pid> belongs to the process's effective user; a process that ended meanwhile fails here.
    if (::fstatat(::dirfd(folder), entry->d_name, &status, 0) != 0 || status.st_uid != user) continue;
    std::string name = ProcessName(id);
    if (!name.empty()) records_.push_back({std::move(name), id});
  }
  ::closedir(folder);
  return true;
}

int CProcessList::Count(std::string_view name) const {
  auto named = [&](const ProcessRecord& record) { return EqualIgnoringCase(record.name, name); };
  return static_cast<int>(std::count_if(records_.begin(), records_.end(), named));
}

int CProcessList::CountByName(std::string_view name) {
  Snapshot();
  return Count(name);
}

}  // namespace platform
