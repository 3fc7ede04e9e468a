#include <cmath>

#include "settings/config_lines.h"
#include "settings/curve.h"
#include "settings/number_text.h"

namespace settings {

void CCurve::ReadCurve(std::FILE* stream, const std::string& key) {
  name = key;
  points.clear();
  ConfigLineReader reader(stream);
  std::string line;
  while (reader.Next(&line)) {
    if (!LineHasKey(line, key)) continue;
    std::optional<std::string_view> value = LineValue(line);
    if (!value) continue;
    // "25=0.00;63=1.50;...;16000=0.00;1;": frequency=gain pairs, then the gather flag.
    Tokenizer tokens(*value);
    std::optional<std::string_view> frequency = tokens.Next("=");
    while (frequency) {
      // "400=;" lacks its gain: skipped, or the next pair's text would be read as the gain.
      if (tokens.SkipEmptyField(';')) {
        frequency = tokens.Next("=");
        continue;
      }
      std::optional<std::string_view> gain = tokens.Next(";");
      if (!gain) {
        gather = ParseInteger(*frequency) != 0;
        break;
      }
      points.push_back({ParseDecimal(*frequency), ParseDecimal(*gain)});
      frequency = tokens.Next("=");
    }
    if (!frequency) gather = false;
  }
  if (points.size() < 2) ResetToDefaults();
  SortByFrequency();
  fitted = false;
}

void CCurve::WriteCurve(std::FILE* stream, const char* key) {
  if (key) name = key;
  if (points.size() < 2) ResetToDefaults();
  std::string line = name + " = ";
  for (const CurvePoint& point : points) {
    if (!(point.frequency > 0.1 && point.frequency < 100000.0)) continue;
    line += FormatInteger(static_cast<int>(point.frequency));
    line += '=';
    line += FormatFixed(point.gain, 2);
    line += ';';
  }
  line += gather ? "1;\n" : "0;\n";
  std::fseek(stream, 0, SEEK_END);
  std::fputs(line.c_str(), stream);
}

}  // namespace settings
