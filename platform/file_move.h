#pragma once
#include <string>

namespace platform {

// Moves a file, replacing `to` if it exists; across file systems it copies (through a temporary file
// beside `to` and a rename) and then removes `from`. 0 or an errno value; on failure `to` keeps its
// old content.
int MoveFile(const std::string& from, const std::string& to);

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace platform
