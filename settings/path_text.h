#pragma once
#include <string>
#include <string_view>

namespace settings {

bool EqualIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// The part of a path after its last "/" (the whole path when there is none).
std::string FileNameOf(std::string_view path);
// A file's title: its name cut before the last "." ("/cfg/Live.Set.tva" → "Live.Set").
std::string FileTitleOf(std::string_view path);
// A preset's file name: its name up to the first "." ("my.rock.tvd" → "my").
std::string NameUpToFirstDot(std::string_view fileName);

}  // namespace settings
