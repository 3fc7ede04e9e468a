#include "platform/string_table.h"

#include <atomic>
#include <unordered_map>

namespace platform {
namespace {

struct Texts {
  const char* english;
  const char* portuguese;
};

const std::unordered_map<int, Texts>& Table() {
  static const std::unordered_map<int, Texts> table = {
#define TONVEX_STRING(id, english, portuguese) {id, {english, portuguese}},
#include "resources/string_table.inc"
#undef TONVEX_STRING
  };
  return table;
}

std::atomic<int> language{kLanguageEnglish};

}  // namespace

void SetUiLanguage(int newLanguage) {
  language = newLanguage == kLanguagePortuguese ? kLanguagePortuguese : kLanguageEnglish;
}

int UiLanguage() { return language; }

std::string LoadString(int id) { return LoadString(id, language); }

std::string LoadString(int id, int lang) {
  auto found = Table().find(id);
  if (found == Table().end()) return {};
  return lang == kLanguagePortuguese ? found->second.portuguese : found->second.english;
}

}  // namespace platform
