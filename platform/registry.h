#pragma once
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_document.h"

// The program's settings store, in the shape of the system registry: two roots, keys named by paths
// such as "Software\Brevalto\Tonvex", string and 32-bit values. Each root is one human-readable file
// (format in registry_document.h):
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/tonvex/user.reg (else ~/.config/tonvex/user.reg)
//   HKEY_LOCAL_MACHINE  <installation prefix>/etc/tonvex/machine.reg, the prefix being the folder above
//                       the executable's (/usr/local for /usr/local/bin/tonvex); /etc/tonvex for /usr
// SetRegistryFolder moves a root elsewhere (tests, or an installation that keeps its files apart).
//
// Reading needs no lock: a file is only ever replaced whole by a rename. Every write takes an
// exclusive lock (flock on "<file>.lock"), re-reads the file under it so that no other process's
// change is lost, and replaces the file atomically (temporary file, fsync, rename). A file that
// cannot be parsed is renamed to "<file>.damaged-<time>" with a warning on stderr, and the root
// then starts empty, so every reader falls back to its defaults.
namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine };
inline constexpr RegistryRoot HKEY_CURRENT_USER = RegistryRoot::CurrentUser;
inline constexpr RegistryRoot HKEY_LOCAL_MACHINE = RegistryRoot::LocalMachine;

inline constexpr uint32_t KEY_READ = 1;
inline constexpr uint32_t KEY_WRITE = 2;
inline constexpr uint32_t KEY_ALL_ACCESS = KEY_READ | KEY_WRITE;

// Results: 0, or one of these (other errno values come from the file system).
inline constexpr int kRegistryNotFound = ENOENT;      // key or value missing
inline constexpr int kRegistryMoreData = EOVERFLOW;   // the value does not fit the caller's buffer
inline constexpr int kRegistryAccessDenied = EACCES;  // key not opened for this access, or file not writable
inline constexpr int kRegistryInvalidHandle = EBADF;  // the key is not open

void SetRegistryFolder(RegistryRoot root, const std::string& folder);
std::string RegistryFolder(RegistryRoot root);
std::string RegistryFilePath(RegistryRoot root);

// One value of a batch written by RegistryKey::SetValues: its new data, or no data to delete it.
struct RegistryChange {
  std::string name;
  std::optional<RegistryValue> value;
};

// An open key. Open never creates a key (a missing key fails with kRegistryNotFound, and then
// nothing can be written); Create makes the key and its parents, as an installation does.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { Close(); }

  int Open(RegistryRoot root, std::string_view path, uint32_t access);
  int Create(RegistryRoot root, std::string_view path);
  void Close();
  bool IsOpen() const { return open_; }

  // The value's type and data; fails with kRegistryMoreData when the data (a string's terminator
  // included) is longer than bufferSize bytes.
  int QueryValue(std::string_view name, uint32_t* type, std::string* data, uint32_t bufferSize) const;
  // The value's data as text, up to its first zero byte, whatever its type.
  int QueryString(std::string_view name, std::string* text, uint32_t bufferSize) const;
  int QueryDword(std::string_view name, uint32_t* value) const;

  int SetValue(std::string_view name, const RegistryValue& value);
  int SetString(std::string_view name, std::string_view text) { return SetValue(name, RegistryValue::String(text)); }
  int SetDword(std::string_view name, uint32_t value) { return SetValue(name, RegistryValue::Dword(value)); }
  int DeleteValue(std::string_view name);
  // Several values in one write of the file (none when nothing changes); a value missing at deletion is no error.
  int SetValues(const std::vector<RegistryChange>& changes);

 private:
  RegistryRoot root_ = RegistryRoot::CurrentUser;
  std::string path_;
  uint32_t access_ = 0;
  bool open_ = false;
};

}  // namespace platform
