#include "platform/registry_document.h"

#include <cctype>
#include <cstdio>

namespace platform {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", byte);
          out += hex;
        } else {
          out += c;
        }
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads escaped text from `line` at `position` up to the unescaped `terminator`, which is consumed.
bool ReadEscaped(std::string_view line, size_t& position, char terminator, std::string* out) {
  while (position < line.size()) {
    char c = line[position++];
    if (c == terminator) return true;
    if (c != '\\') {
      if (c == '\0') return false;
      *out += c;
      continue;
    }
    if (position >= line.size()) return false;
    char code = line[position++];
    switch (code) {
      case '\\': *out += '\\'; break;
      case '"': *out += '"'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case 't': *out += '\t'; break;
      case 'x': {
        if (position + 2 > line.size()) return false;
        int high = HexDigit(line[position]), low = HexDigit(line[position + 1]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
        *out += static_cast<char>(high * 16 + low);
        position += 2;
        break;
      }
      default: return false;
    }
  }
  return false;
}

bool OnlyBlanks(std::string_view rest) {
  for (char c : rest)
    if (c != ' ' && c != '\t') return false;
  return true;
}

bool ParseValue(std::string_view line, size_t position, std::string* name, RegistryValue* value) {
  if (line[position] == '@') {
    ++position;
  } else {
    ++position;  // opening quote
    if (!ReadEscaped(line, position, '"', name)) return false;
  }
  if (position >= line.size() || line[position] != '=') return false;
  ++position;
  if (position < line.size() && line[position] == '"') {
    ++position;
    std::string text;
    if (!ReadEscaped(line, position, '"', &text)) return false;
    *value = RegistryValue::String(text);
    return OnlyBlanks(line.substr(position));
  }
  constexpr std::string_view kDword = "dword:";
  if (line.substr(position, kDword.size()) != kDword) return false;
  position += kDword.size();
  uint32_t number = 0;
  int digits = 0;
  while (position < line.size() && HexDigit(line[position]) >= 0) {
    if (++digits > 8) return false;
    number = number * 16 + static_cast<uint32_t>(HexDigit(line[position++]));
  }
  if (digits == 0) return false;
  *value = RegistryValue::Dword(number);
  return OnlyBlanks(line.substr(position));
}

}  // namespace

RegistryValue RegistryValue::String(std::string_view text) {
  RegistryValue value;
  value.type = REG_SZ;
  value.data = std::string(text.substr(0, text.find('\0')));
  value.data += '\0';
  return value;
}

RegistryValue RegistryValue::Dword(uint32_t number) {
  RegistryValue value;
  value.type = REG_DWORD;
  for (int byte = 0; byte < 4; ++byte) value.data += static_cast<char>((number >> (8 * byte)) & 0xFF);
  return value;
}

uint32_t RegistryValue::AsDword() const {
  uint32_t number = 0;
  for (size_t byte = 0; byte < 4 && byte < data.size(); ++byte)
    number |= static_cast<uint32_t>(static_cast<unsigned char>(data[byte])) << (8 * byte);
  return number;
}

std::string RegistryDocument::NormalisePath(std::string_view path) {
  std::string normalised;
  size_t position = 0;
  while (position <= path.size()) {
    size_t next = path.find('\\', position);
    if (next == std::string_view::npos) next = path.size();
    if (next > position) {
      if (!normalised.empty()) normalised += '\\';
      normalised += path.substr(position, next - position);
    }
    position = next + 1;
  }
  return normalised;
}

bool RegistryDocument::ValidPath(std::string_view path) {
  for (char c : path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == ']') return false;
  }
  return true;
}

bool RegistryDocument::SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

RegistryDocument::Key* RegistryDocument::FindKey(std::string_view normalisedPath) {
  for (Key& key : keys_)
    if (SameName(key.path, normalisedPath)) return &key;
  return nullptr;
}

const RegistryDocument::Key* RegistryDocument::FindKey(std::string_view normalisedPath) const {
  for (const Key& key : keys_)
    if (SameName(key.path, normalisedPath)) return &key;
  return nullptr;
}

bool RegistryDocument::KeyExists(std::string_view path) const {
  std::string wanted = NormalisePath(path);
  if (wanted.empty()) return true;  // the root itself
  for (const Key& key : keys_) {
    if (SameName(key.path, wanted)) return true;
    if (key.path.size() > wanted.size() && key.path[wanted.size()] == '\\' &&
        SameName(std::string_view(key.path).substr(0, wanted.size()), wanted))
      return true;
  }
  return false;
}

void RegistryDocument::CreateKey(std::string_view path) {
  std::string normalised = NormalisePath(path);
  if (normalised.empty() || FindKey(normalised)) return;
  keys_.push_back(Key{normalised, {}});
}

const RegistryValue* RegistryDocument::Find(std::string_view path, std::string_view name) const {
  const Key* key = FindKey(NormalisePath(path));
  if (!key) return nullptr;
  for (const Value& value : key->values)
    if (SameName(value.name, name)) return &value.value;
  return nullptr;
}

void RegistryDocument::Set(std::string_view path, std::string_view name, RegistryValue value) {
  std::string normalised = NormalisePath(path);
  CreateKey(normalised);
  Key* key = FindKey(normalised);
  if (!key) return;
  for (Value& existing : key->values) {
    if (SameName(existing.name, name)) {
      existing.value = std::move(value);
      return;
    }
  }
  key->values.push_back(Value{std::string(name), std::move(value)});
}

bool RegistryDocument::Delete(std::string_view path, std::string_view name) {
  Key* key = FindKey(NormalisePath(path));
  if (!key) return false;
  for (auto it = key->values.begin(); it != key->values.end(); ++it) {
    if (SameName(it->name, name)) {
      key->values.erase(it);
      return true;
    }
  }
  return false;
}

bool RegistryDocument::Parse(std::string_view text, RegistryDocument* document, std::string* error) {
  RegistryDocument parsed;
  std::string currentPath;
  // Editors on some systems put a byte-order mark in front of UTF-8 text.
  size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  int lineNumber = 0;
  int skipped = 0;
  std::string reasons;
  // A faulty line is skipped and the rest still read; the reasons of the first few are reported.
  auto skip = [&](const char* reason) {
    constexpr int kReasonsShown = 3;
    if (++skipped <= kReasonsShown) {
      if (!reasons.empty()) reasons += "; ";
      reasons += "line " + std::to_string(lineNumber) + ": " + reason;
    }
  };
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t position = 0;
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
    if (position == line.size() || line[position] == ';' || line[position] == '#') continue;
    if (line[position] == '[') {
      // Until the next readable key name, values have no key to go to and are skipped with it.
      currentPath.clear();
      size_t close = line.find(']', position);
      if (close == std::string_view::npos) {
        skip("unterminated key name");
        continue;
      }
      std::string_view path = line.substr(position + 1, close - position - 1);
      if (!OnlyBlanks(line.substr(close + 1)))
        skip("text after the key name");
      else if (!ValidPath(path))
        skip("control character in the key name");
      else if (NormalisePath(path).empty())
        skip("empty key name");
      else
        currentPath = NormalisePath(path);
      if (!currentPath.empty()) parsed.CreateKey(currentPath);
      continue;
    }
    std::string name;
    RegistryValue value;
    if (line[position] != '"' && line[position] != '@')
      skip("neither a key nor a value");
    else if (currentPath.empty())
      skip("value outside a readable key");
    else if (!ParseValue(line, position, &name, &value))
      skip("malformed value");
    else
      parsed.Set(currentPath, name, std::move(value));
  }
  *document = std::move(parsed);
  if (skipped == 0) return true;
  if (error) {
    *error = std::to_string(skipped) + (skipped == 1 ? " unreadable line (" : " unreadable lines (") + reasons;
    *error += skipped > 3 ? "; ...)" : ")";
  }
  return false;
}

std::string RegistryDocument::Serialize(std::string_view heading) const {
  std::string out;
  size_t start = 0;
  while (start < heading.size()) {
    size_t end = heading.find('\n', start);
    if (end == std::string_view::npos) end = heading.size();
    out += "; ";
    out += heading.substr(start, end - start);
    out += '\n';
    start = end + 1;
  }
  for (const Key& key : keys_) {
    out += "\n[";
    out += key.path;
    out += "]\n";
    for (const Value& value : key.values) {
      if (value.name.empty()) {
        out += '@';
      } else {
        out += '"';
        AppendEscaped(out, value.name);
        out += '"';
      }
      out += '=';
      if (value.value.type == REG_DWORD) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", value.value.AsDword());
        out += hex;
      } else {
        std::string_view textData = value.value.data;
        textData = textData.substr(0, textData.find('\0'));
        out += '"';
        AppendEscaped(out, textData);
        out += '"';
      }
      out += '\n';
    }
  }
  return out;
}

bool operator==(const RegistryValue& a, const RegistryValue& b) { return a.type == b.type && a.data == b.data; }
bool operator==(const RegistryDocument::Value& a, const RegistryDocument::Value& b) {
  return a.name == b.name && a.value == b.value;
}
bool operator==(const RegistryDocument::Key& a, const RegistryDocument::Key& b) {
  return a.path == b.path && a.values == b.values;
}

}  // namespace platform
