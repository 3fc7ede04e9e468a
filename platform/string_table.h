#pragma once
#include <string>

namespace platform {

inline constexpr int kLanguageEnglish = 9;
inline constexpr int kLanguagePortuguese = 22;

// The interface language for LoadString: kLanguageEnglish or kLanguagePortuguese.
void SetUiLanguage(int language);
int UiLanguage();

// The user-visible text with this id in the interface language; empty for an unknown id.
std::string LoadString(int id);
// The text in a given language, whatever the interface language is.
std::string LoadString(int id, int language);

}  // namespace platform
