// Feeds arbitrary bytes to the registry file parser. What it reads (all lines that it could) must
// serialise to a text that parses back, without a skipped line, to the same document.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  platform::RegistryDocument document;
  std::string error;
  platform::RegistryDocument::Parse(text, &document, &error);
  std::string written = document.Serialize("fuzz");
  platform::RegistryDocument again;
  if (!platform::RegistryDocument::Parse(written, &again, &error)) std::abort();
  if (!(again.Keys() == document.Keys())) std::abort();
  if (again.Serialize("fuzz") != written) std::abort();
  // Lookups on what was read must agree with what it holds.
  for (const auto& key : document.Keys()) {
    if (!document.KeyExists(key.path)) std::abort();
    for (const auto& value : key.values)
      if (!(*document.Find(key.path, value.name) == value.value)) std::abort();
  }
  return 0;
}
