#include "settings/config_lines.h"

#include <cctype>

namespace settings {

ConfigLineReader::ConfigLineReader(std::FILE* stream) : stream_(stream) {
  std::clearerr(stream_);
  std::rewind(stream_);
}

bool ConfigLineReader::Next(std::string* line) {
  constexpr size_t kMaxPiece = 1023;
  line->clear();
  int c = 0;
  while (line->size() < kMaxPiece && (c = std::getc(stream_)) != EOF) {
    line->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (line->empty()) return false;
  size_t zero = line->find('\0');
  if (zero != std::string::npos) line->erase(zero);
  return true;
}

std::string DisplayNameLines(std::FILE* stream) {
  ConfigLineReader reader(stream);
  std::string lines, line;
  while (reader.Next(&line)) {
    bool display = line.size() > 8 && line.compare(0, 5, "lang_") == 0 &&
                   std::isdigit(static_cast<unsigned char>(line[5])) &&
                   std::isdigit(static_cast<unsigned char>(line[6])) && line[7] == '_';
    if (!display) continue;
    lines += line;
    if (lines.back() != '\n') lines += '\n';
  }
  return lines;
}

bool LineHasKey(std::string_view line, std::string_view key) { return line.substr(0, key.size()) == key; }

std::optional<std::string_view> LineValue(std::string_view line) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(equals + 1);
  rest = rest.substr(0, rest.find_first_of("\r\n"));
  if (rest.empty()) return std::nullopt;
  return rest;
}

std::optional<std::string_view> Tokenizer::Next(std::string_view delimiters) {
  while (position_ < text_.size() && delimiters.find(text_[position_]) != std::string_view::npos) ++position_;
  if (position_ >= text_.size()) return std::nullopt;
  size_t end = text_.find_first_of(delimiters, position_);
  if (end == std::string_view::npos) end = text_.size();
  std::string_view token = text_.substr(position_, end - position_);
  position_ = end < text_.size() ? end + 1 : end;
  return token;
}

bool Tokenizer::SkipEmptyField(char delimiter) {
  if (position_ >= text_.size() || text_[position_] != delimiter) return false;
  ++position_;
  return true;
}

}  // namespace settings
