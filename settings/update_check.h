#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace settings {

// Where the update check asks and where the user downloads. The base address (scheme, host, optional
// port) is the machine setting "update_server" under HKLM "Software\Brevalto\Tonvex".
inline constexpr const char* kDefaultUpdateServer = "https://www.brevalto.com";
inline constexpr const char* kUpdatePath = "/cgi-bin/update.cgi";
inline constexpr const char* kDownloadPath = "/Tonvex/download.html";

// The answer is a few letters; more than this is not an answer of the update endpoint.
inline constexpr std::size_t kMaxUpdateAnswerBytes = 64 * 1024;
// A check that has not finished by then has failed; the user sees why instead of waiting.
inline constexpr int kUpdateTimeoutMs = 15000;

// The update server's base address: the setting, "http://" put in front when it names no scheme, any
// trailing "/" removed; the default when the setting is missing or empty.
std::string UpdateServerBase();

// The installed version (HKLM product key "version", at most 1023 characters); false when the key or
// the value cannot be read.
bool ReadInstalledVersion(std::string* version);

// The endpoint answers "FALSE" when the installed version is not the newest: its first five characters,
// in any letter case. Anything else (its "TRUE" included) means the installed version is current.
bool AnswerMeansNewerVersion(std::string_view answer);

}  // namespace settings
