#include "platform/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/standard_folders.h"

namespace platform {
namespace {

constexpr std::string_view kEntryGroup = "[Desktop Entry]";

// Characters that the desktop entry format only allows inside a quoted Exec argument.
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t\r");
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first, last - first + 1));
}

// The escapes every string value of a desktop entry may hold.
std::string UnescapedString(std::string_view value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    switch (char next = value[++i]) {
      case 's': text += ' '; break;
      case 'n': text += '\n'; break;
      case 't': text += '\t'; break;
      case 'r': text += '\r'; break;
      case '\\': text += '\\'; break;
      default: text += '\\'; text += next;
    }
  }
  return text;
}

std::string EscapedString(std::string_view text) {
  std::string value;
  for (char c : text) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '\n': value += "\\n"; break;
      case '\t': value += "\\t"; break;
      case '\r': value += "\\r"; break;
      default: value += c;
    }
  }
  return value;
}

struct EntryValues {
  bool found = false;
  std::string exec;
  bool hidden = false;
  bool disabled = false;
};

EntryValues ReadEntry(const std::string& path) {
  EntryValues values;
  std::ifstream file(path);
  if (!file) return values;
  values.found = true;
  bool inEntry = false;
  std::string line;
  while (std::getline(file, line)) {
    const std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (trimmed[0] == '[') {
      inEntry = trimmed == kEntryGroup;
      continue;
    }
    size_t equals = trimmed.find('=');
    if (!inEntry || equals == std::string::npos) continue;
    const std::string key = Trimmed(std::string_view(trimmed).substr(0, equals));
    const std::string value = Trimmed(std::string_view(trimmed).substr(equals + 1));
    if (key == "Exec") values.exec = value;
    if (key == "Hidden") values.hidden = value == "true";
    if (key == "X-GNOME-Autostart-enabled") values.disabled = value == "false";
  }
  return values;
}

}  // namespace

std::string AutostartFolder() {
  std::string folder = UserConfigFolder();  // <config home>/tonvex
  folder.erase(folder.rfind('/'));
  return folder + "/autostart";
}

std::string AutostartFilePath() { return AutostartFolder() + "/tonvex.desktop"; }

std::string ExecValueFor(const std::string& program) {
  const bool quoted = program.find_first_of(kReservedInExec) != std::string::npos;
  std::string argument;
  for (char c : program) {
    if (c == '%') {
      argument += "%%";  // a lone % would start a field code
      continue;
    }
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
    argument += c;
  }
  return EscapedString(quoted ? '"' + argument + '"' : argument);
}

std::string ProgramOfExec(const std::string& exec) {
  const std::string command = UnescapedString(exec);
  size_t i = command.find_first_not_of(" \t");
  if (i == std::string::npos) return {};
  std::string word;
  if (command[i] == '"') {
    for (++i;; ++i) {
      if (i == command.size()) return {};  // no closing quote
      if (command[i] == '"') break;
      if (command[i] == '\\' && i + 1 < command.size()) ++i;
      word += command[i];
    }
  } else {
    size_t end = command.find_first_of(" \t", i);
    word = command.substr(i, end == std::string::npos ? std::string::npos : end - i);
  }
  std::string program;
  for (size_t k = 0; k < word.size(); ++k) {
    program += word[k];
    if (word[k] == '%' && k + 1 < word.size() && word[k + 1] == '%') ++k;
  }
  return program;
}

bool IsLaunchOnLogOnSet(const std::string& program) {
  const EntryValues entry = ReadEntry(AutostartFilePath());
  if (!entry.found || entry.hidden || entry.disabled) return false;
  const std::string runs = ProgramOfExec(entry.exec);
  if (runs.empty()) return false;
  if (runs.find('/') == std::string::npos) return runs == BaseName(program);
  return runs == program;
}

int SetLaunchOnLogOn(const std::string& program) {
  if (int error = CreateFolders(AutostartFolder())) return error;
  const std::string content = std::string(kEntryGroup) +
                              "\n"
                              "Type=Application\n"
                              "Name=Tonvex\n"
                              "Comment=Equalizer, compressor and limiter for everything the computer plays\n"
                              "Exec=" +
                              ExecValueFor(program) +
                              "\n"
                              "Icon=tonvex\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
  return ReplaceFileContent(AutostartFilePath(), content);
}

std::string RunningProgramPath() {
  char path[4096];
  ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? WithoutDeletedMark(std::string(path, static_cast<size_t>(length))) : std::string();
}

std::string WithoutDeletedMark(std::string path) {
  // The kernel's mark for an executable whose file was replaced or removed since it started.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && std::string_view(path).substr(path.size() - kDeleted.size()) == kDeleted)
    path.resize(path.size() - kDeleted.size());
  return path;
}

int RemoveLaunchOnLogOn() {
  if (::unlink(AutostartFilePath().c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

}  // namespace platform
