#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_DWORD = 4;

// A value as the registry holds it: a string's data carries its terminating zero (so its length is the
// text length + 1); a DWORD's data is four bytes, least significant first.
struct RegistryValue {
  uint32_t type = REG_SZ;
  std::string data;

  static RegistryValue String(std::string_view text);  // cut at an embedded zero, terminator added
  static RegistryValue Dword(uint32_t value);
  uint32_t AsDword() const;
};

// The content of one root's registry file: keys in file order, each with its values in file order.
// Key paths and value names compare without regard to ASCII case, as the system registry does; the
// spelling first used is kept. The empty value name is the key's default value.
//
// File format (one human-readable text file per root):
//   ; comment                         (also "#"; blank lines are allowed)
//   [Software\Brevalto\Tonvex]        a key: path components separated by "\"
//   "selection"="02_Rock"             a string value
//   "device"=dword:00000003           a 32-bit value, eight hex digits
//   @="/usr/local/bin/tonvex"         the default value
// Inside quotes, \\ \" \n \r \t and \xHH stand for the characters they name; key paths stand as
// they are.
class RegistryDocument {
 public:
  struct Value {
    std::string name;
    RegistryValue value;
  };
  struct Key {
    std::string path;
    std::vector<Value> values;
  };

  // Reads every line it can; false when some lines could not be read (they are skipped, and so are the
  // values under a key name that could not be read). `error` then counts them and names the first few.
  static bool Parse(std::string_view text, RegistryDocument* document, std::string* error);
  std::string Serialize(std::string_view heading) const;

  // True when the key, or a key below it (whose creation made it exist), is present.
  bool KeyExists(std::string_view path) const;
  void CreateKey(std::string_view path);
  const RegistryValue* Find(std::string_view path, std::string_view name) const;
  void Set(std::string_view path, std::string_view name, RegistryValue value);  // creates the key if missing
  bool Delete(std::string_view path, std::string_view name);
  const std::vector<Key>& Keys() const { return keys_; }

  // "\\A\\\\b\\" → "A\\b": separators collapsed, leading and trailing ones removed.
  static std::string NormalisePath(std::string_view path);
  static bool SameName(std::string_view a, std::string_view b);
  // Key paths are written as they are, so they may hold neither control characters nor "]".
  static bool ValidPath(std::string_view path);

 private:
  Key* FindKey(std::string_view normalisedPath);
  const Key* FindKey(std::string_view normalisedPath) const;

  std::vector<Key> keys_;
};

bool operator==(const RegistryValue& a, const RegistryValue& b);
bool operator==(const RegistryDocument::Value& a, const RegistryDocument::Value& b);
bool operator==(const RegistryDocument::Key& a, const RegistryDocument::Key& b);

}  // namespace platform
