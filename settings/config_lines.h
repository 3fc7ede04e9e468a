#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// Reads a configuration stream as the file format defines its lines: from the start, in pieces of at
// most 1023 characters (the rest of a longer line arrives as a piece of its own); a piece ends after its
// line feed and is cut at a zero byte.
class ConfigLineReader {
 public:
  explicit ConfigLineReader(std::FILE* stream);  // rewinds the stream
  bool Next(std::string* line);

 private:
  std::FILE* stream_;
};

// The preset display-name lines ("lang_09_=Rock", any language number), in file order, each ending in
// a line feed: a configuration stored from the stream's settings loses them otherwise.
std::string DisplayNameLines(std::FILE* stream);

// True when the line begins with the key over the key's full length (so "compress_left_center2 = 1"
// is taken for "compress_left_center").
bool LineHasKey(std::string_view line, std::string_view key);

// The text after the line's first "=", up to its first carriage return or line feed; nothing when the
// line has no "=" or nothing follows it.
std::optional<std::string_view> LineValue(std::string_view line);

// Splits text like strtok: Next skips leading delimiters and returns the text up to the next delimiter
// (which it consumes), or nothing when only delimiters remain.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}
  std::optional<std::string_view> Next(std::string_view delimiters);
  // True, consuming it, when the next character is `delimiter`: the field before it is empty.
  bool SkipEmptyField(char delimiter);

 private:
  std::string_view text_;
  size_t position_ = 0;
};

}  // namespace settings
