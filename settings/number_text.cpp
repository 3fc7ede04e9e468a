#include "settings/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace settings {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view text) {
  size_t position = 0;
  while (position < text.size() && IsBlank(text[position])) ++position;
  return position;
}

}  // namespace

int ParseInteger(std::string_view text) {
  size_t position = SkipBlanks(text);
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) negative = text[position++] == '-';
  long long value = 0;
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  while (position < text.size() && IsDigit(text[position])) {
    value = value * 10 + (text[position++] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

double ParseDecimal(std::string_view text) {
  size_t position = SkipBlanks(text);
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) negative = text[position++] == '-';
  // Only plain decimal text: from_chars would also take "inf", "nan" and hexadecimal forms.
  size_t start = position;
  while (position < text.size() && IsDigit(text[position])) ++position;
  bool digits = position > start;
  if (position < text.size() && text[position] == '.') {
    ++position;
    while (position < text.size() && IsDigit(text[position])) {
      ++position;
      digits = true;
    }
  }
  if (!digits) return 0.0;
  if (position < text.size() && (text[position] == 'e' || text[position] == 'E')) {
    size_t exponent = position + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && IsDigit(text[exponent])) {
      position = exponent;
      while (position < text.size() && IsDigit(text[position])) ++position;
    }
  }
  double value = 0.0;
  auto result = std::from_chars(text.data() + start, text.data() + position, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

float ParseFloat(std::string_view text) {
  double value = ParseDecimal(text);
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) value = kMax;
  if (value < -kMax) value = -kMax;
  return static_cast<float>(value);
}

std::string FormatInteger(int value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FormatFixed(double value, int decimals) {
  // Fixed notation of the largest double needs 309 digits before the point.
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

}  // namespace settings
