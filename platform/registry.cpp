#include "platform/registry.h"

#include <mutex>

#include "platform/registry_file.h"
#include "platform/standard_folders.h"

namespace platform {
namespace {

struct RootFolders {
  std::mutex mutex;
  std::string user;
  std::string machine;
};

RootFolders& Folders() {
  static RootFolders folders;
  return folders;
}

const char* FileName(RegistryRoot root) { return root == RegistryRoot::CurrentUser ? "user.reg" : "machine.reg"; }

std::string Heading(RegistryRoot root) {
  return std::string("Tonvex settings, ") +
         (root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
         ".\nWritten by Tonvex; edit only while the program is not running.";
}

}  // namespace

void SetRegistryFolder(RegistryRoot root, const std::string& folder) {
  RootFolders& folders = Folders();
  std::lock_guard<std::mutex> lock(folders.mutex);
  (root == RegistryRoot::CurrentUser ? folders.user : folders.machine) = folder;
}

std::string RegistryFolder(RegistryRoot root) {
  RootFolders& folders = Folders();
  std::lock_guard<std::mutex> lock(folders.mutex);
  std::string& folder = root == RegistryRoot::CurrentUser ? folders.user : folders.machine;
  if (folder.empty())
    folder = root == RegistryRoot::CurrentUser ? UserConfigFolder() : MachineSettingsFolder(InstallationPrefix());
  return folder;
}

std::string RegistryFilePath(RegistryRoot root) { return RegistryFolder(root) + "/" + FileName(root); }

int RegistryKey::Open(RegistryRoot root, std::string_view path, uint32_t access) {
  Close();
  if (!RegistryDocument::ValidPath(path)) return EINVAL;
  RegistryDocument document;
  if (int error = ReadRegistryFile(RegistryFilePath(root), Heading(root), &document)) return error;
  if (!document.KeyExists(path)) return kRegistryNotFound;
  root_ = root;
  path_ = RegistryDocument::NormalisePath(path);
  access_ = access;
  open_ = true;
  return 0;
}

int RegistryKey::Create(RegistryRoot root, std::string_view path) {
  Close();
  if (!RegistryDocument::ValidPath(path)) return EINVAL;
  std::string normalised = RegistryDocument::NormalisePath(path);
  int error = ModifyRegistryFile(RegistryFilePath(root), Heading(root), [&](RegistryDocument& document) {
    if (document.KeyExists(normalised)) return kUnchanged;
    document.CreateKey(normalised);
    return 0;
  });
  if (error) return error;
  root_ = root;
  path_ = normalised;
  access_ = KEY_ALL_ACCESS;
  open_ = true;
  return 0;
}

void RegistryKey::Close() {
  open_ = false;
  access_ = 0;
  path_.clear();
}

int RegistryKey::QueryValue(std::string_view name, uint32_t* type, std::string* data, uint32_t bufferSize) const {
  if (!open_) return kRegistryInvalidHandle;
  if (!(access_ & KEY_READ)) return kRegistryAccessDenied;
  RegistryDocument document;
  if (int error = ReadRegistryFile(RegistryFilePath(root_), Heading(root_), &document)) return error;
  const RegistryValue* value = document.Find(path_, name);
  if (!value) return kRegistryNotFound;
  if (value->data.size() > bufferSize) return kRegistryMoreData;
  if (type) *type = value->type;
  if (data) *data = value->data;
  return 0;
}

int RegistryKey::QueryString(std::string_view name, std::string* text, uint32_t bufferSize) const {
  std::string data;
  if (int error = QueryValue(name, nullptr, &data, bufferSize)) return error;
  *text = data.substr(0, data.find('\0'));
  return 0;
}

int RegistryKey::QueryDword(std::string_view name, uint32_t* value) const {
  uint32_t type = 0;
  std::string data;
  if (int error = QueryValue(name, &type, &data, 4)) return error;
  *value = RegistryValue{type, data}.AsDword();
  return 0;
}

int RegistryKey::SetValue(std::string_view name, const RegistryValue& value) {
  return SetValues({{std::string(name), value}});
}

int RegistryKey::DeleteValue(std::string_view name) {
  if (!open_) return kRegistryInvalidHandle;
  if (!(access_ & KEY_WRITE)) return kRegistryAccessDenied;
  return ModifyRegistryFile(RegistryFilePath(root_), Heading(root_), [&](RegistryDocument& document) {
    return document.Delete(path_, name) ? 0 : kRegistryNotFound;
  });
}

int RegistryKey::SetValues(const std::vector<RegistryChange>& changes) {
  if (!open_) return kRegistryInvalidHandle;
  if (!(access_ & KEY_WRITE)) return kRegistryAccessDenied;
  if (path_.empty()) return EINVAL;  // a root itself holds no values
  return ModifyRegistryFile(RegistryFilePath(root_), Heading(root_), [&](RegistryDocument& document) {
    bool changed = false;
    for (const RegistryChange& change : changes) {
      const RegistryValue* existing = document.Find(path_, change.name);
      if (!change.value) {
        changed = document.Delete(path_, change.name) || changed;
      } else if (!existing || !(*existing == *change.value)) {
        document.Set(path_, change.name, *change.value);
        changed = true;
      }
    }
    return changed ? 0 : kUnchanged;
  });
}

}  // namespace platform
