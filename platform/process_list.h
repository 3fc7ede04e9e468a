#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ProcessRecord {
  std::string name;  // base name of the executable, e.g. "vlc"
  int id = 0;
};

// A snapshot of the current user's running processes, read from /proc. Other users' processes are left
// out: they cannot play into this user's sound server, and the single-instance count must not see them.
class CProcessList {
 public:
  // Rebuilds the snapshot; false (the previous snapshot kept) when the process folder cannot be read.
  bool Snapshot();
  // Records in the last snapshot whose name equals `name`, ignoring letter case.
  int Count(std::string_view name) const;
  // Takes a new snapshot, then counts.
  int CountByName(std::string_view name);

  const std::vector<ProcessRecord>& Records() const { return records_; }

 private:
  std::vector<ProcessRecord> records_;
};

// The name a process goes by: the base name of its executable (/proc/<pid>/exe), or, where that link
// cannot be read, of the first word of its command line. Not the kernel's "comm", which is cut at 15
// characters. Empty when neither can be read.
std::string ProcessName(int id);

}  // namespace platform
