#pragma once
#include <functional>
#include <string>

#include "platform/registry_document.h"

namespace platform {

// Reads the registry file at `path`: a missing file is an empty document. Lines that cannot be read
// are skipped with a warning on stderr; under the lock the damaged file is kept as
// "<path>.damaged-<time>" and replaced by what could be read (with `heading` on top). 0 or an errno
// value (also warned about) when the file exists but cannot be read.
int ReadRegistryFile(const std::string& path, const std::string& heading, RegistryDocument* document);

// Changes the registry file at `path` under its lock: re-reads it, lets `change` edit the document and
// writes it back atomically when `change` returns 0. `change` returns kUnchanged to skip the write, or an
// errno value, which is passed on. 0 or an errno value; a failed write is warned about on stderr
// (a read-only file or folder is never replaced).
inline constexpr int kUnchanged = -1;
int ModifyRegistryFile(const std::string& path, const std::string& heading,
                       const std::function<int(RegistryDocument&)>& change);

}  // namespace platform
