#pragma once
#include <functional>
#include <string>

#include "platform/registry_document.h"

namespace platform {

// Reads the registry file at `path`: a missing file is an empty document. A damaged file is set
// aside (renamed under the lock to "<path>.damaged-<time>") with a warning on stderr, and the
// result is an empty document. 0 or an errno value when the file exists but cannot be read.
int ReadRegistryFile(const std::string& path, RegistryDocument* document);

// Changes the registry file at `path` under its lock: re-reads it, lets `change` edit the document and
// writes it back atomically when `change` returns 0. `change` returns kUnchanged to skip the write, or an
// errno value, which is passed on. 0 or an errno value.
inline constexpr int kUnchanged = -1;
int ModifyRegistryFile(const std::string& path, const std::string& heading,
                       const std::function<int(RegistryDocument&)>& change);

}  // namespace platform
