#pragma once

namespace widgets {

// Qt's own texts (the standard buttons of message boxes, the file dialogs) in the interface language
// (platform::kLanguagePortuguese or English), from Qt's translation catalogues (Debian's
// qt6-translations-l10n). English removes them again. Returns whether Qt now speaks that language.
bool InstallQtTranslations(int language);

}  // namespace widgets
