// The registry through the wide registry functions. They report failure by their result, not
// through the thread's last error; the backend sets the last error from that result.
#include "platform/registry.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

// Key paths are taken relative to the root also when written with a leading backslash.
std::wstring KeyPath(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  return win32::Wide(path);
}

[[noreturn]] void Throw(LSTATUS status) {
  SetLastError(static_cast<std::uint32_t>(status));
  ThrowLastOSError();
}

RegValue ToRegValue(DWORD type, const BYTE* data, std::size_t size) {
  RegValue value;
  value.type = static_cast<RegType>(type);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    // The stored data may or may not end in a null; the text ends at the first one.
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    value.text = win32::Utf8(text);
  } else if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data, sizeof number);
    value.number = number;
  } else {
    value.bytes.assign(data, data + size);
  }
  return value;
}

}  // namespace

class RegKeyImpl {
 public:
  RegKeyImpl(HKEY key, bool writable) : key_(key), writable_(writable) {}
  RegKeyImpl(const RegKeyImpl&) = delete;
  RegKeyImpl& operator=(const RegKeyImpl&) = delete;
  ~RegKeyImpl() { Close(); }

  HKEY key() const { return key_; }
  bool writable() const { return writable_; }

  LSTATUS Close() {
    LSTATUS status = ERROR_SUCCESS;
    if (key_ != nullptr) status = RegCloseKey(key_);
    key_ = nullptr;
    return status;
  }

  void Set(std::string_view name, DWORD type, const void* data, std::size_t size) {
    LSTATUS status = ERROR_ACCESS_DENIED;
    if (writable_) {
      status = RegSetValueExW(key_, win32::Wide(name).c_str(), 0, type,
                              static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    }
    if (status != ERROR_SUCCESS) Throw(status);
  }

  void SetText(std::string_view name, DWORD type, std::string_view value) {
    const std::wstring wide = win32::Wide(value);
    Set(name, type, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  }

 private:
  HKEY key_;
  bool writable_;
};

RegKey::RegKey(std::unique_ptr<RegKeyImpl> impl) : impl_(std::move(impl)) {}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;
RegKey::~RegKey() = default;

std::optional<RegKey> RegKey::Open(RegRoot root, std::string_view path) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(RootKey(root), KeyPath(path).c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<std::uint32_t>(status));
    return std::nullopt;
  }
  return RegKey(std::make_unique<RegKeyImpl>(key, false));
}

RegKey RegKey::Create(RegRoot root, std::string_view path) {
  HKEY key = nullptr;
  const LSTATUS status =
      RegCreateKeyExW(RootKey(root), KeyPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) Throw(status);
  return RegKey(std::make_unique<RegKeyImpl>(key, true));
}

bool RegKey::HasValue(std::string_view name) const {
  if (!impl_ || impl_->key() == nullptr) return false;
  return RegQueryValueExW(impl_->key(), win32::Wide(name).c_str(), nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

std::optional<RegValue> RegKey::Read(std::string_view name) const {
  if (!impl_ || impl_->key() == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return std::nullopt;
  }
  const std::wstring wideName = win32::Wide(name);
  std::vector<BYTE> data(256);
  DWORD type = REG_NONE;
  LSTATUS status;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    status = RegQueryValueExW(impl_->key(), wideName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(std::max<std::size_t>(size, data.size() * 2));
      continue;
    }
    data.resize(size);
    break;
  }
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<std::uint32_t>(status));
    return std::nullopt;
  }
  return ToRegValue(type, data.data(), data.size());
}

std::vector<std::string> RegKey::SubKeyNames() const {
  std::vector<std::string> names;
  if (!impl_ || impl_->key() == nullptr) return names;
  // Key names are at most 255 characters.
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LSTATUS status =
        RegEnumKeyExW(impl_->key(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    names.push_back(win32::Utf8(std::wstring_view(name, length)));
  }
  return names;
}

std::vector<std::string> RegKey::ValueNames() const {
  std::vector<std::string> names;
  if (!impl_ || impl_->key() == nullptr) return names;
  // Value names are at most 16383 characters.
  std::wstring name(16384, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status = RegEnumValueW(impl_->key(), index, name.data(), &length, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    names.push_back(win32::Utf8(std::wstring_view(name.data(), length)));
  }
  return names;
}

std::vector<std::pair<std::string, RegValue>> RegKey::Values() const {
  std::vector<std::pair<std::string, RegValue>> values;
  if (!impl_ || impl_->key() == nullptr) return values;
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD longestData = 0;
  if (RegQueryInfoKeyW(impl_->key(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  values.reserve(count);
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(std::max<DWORD>(longestData, 2));
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LSTATUS status = RegEnumValueW(impl_->key(), index, name.data(), &nameLength, nullptr,
                                         &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      // A value written since the key was measured: measure again.
      name.resize(std::max<std::size_t>(name.size() * 2, 16384));
      data.resize(std::max<std::size_t>(data.size() * 2, size));
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    values.emplace_back(win32::Utf8(std::wstring_view(name.data(), nameLength)),
                        ToRegValue(type, data.data(), size));
    ++index;
  }
  return values;
}

void RegKey::WriteString(std::string_view name, std::string_view value) {
  if (!impl_) Throw(ERROR_INVALID_HANDLE);
  impl_->SetText(name, REG_SZ, value);
}

void RegKey::WriteExpandString(std::string_view name, std::string_view value) {
  if (!impl_) Throw(ERROR_INVALID_HANDLE);
  impl_->SetText(name, REG_EXPAND_SZ, value);
}

void RegKey::WriteDWord(std::string_view name, std::uint32_t value) {
  if (!impl_) Throw(ERROR_INVALID_HANDLE);
  const DWORD number = value;
  impl_->Set(name, REG_DWORD, &number, sizeof number);
}

void RegKey::WriteBinary(std::string_view name, const std::vector<std::uint8_t>& value) {
  if (!impl_) Throw(ERROR_INVALID_HANDLE);
  impl_->Set(name, REG_BINARY, value.data(), value.size());
}

bool RegKey::DeleteValue(std::string_view name) {
  if (!impl_) Throw(ERROR_INVALID_HANDLE);
  if (!impl_->writable()) Throw(ERROR_ACCESS_DENIED);
  const LSTATUS status = RegDeleteValueW(impl_->key(), win32::Wide(name).c_str());
  if (status == ERROR_FILE_NOT_FOUND) {
    SetLastError(static_cast<std::uint32_t>(status));
    return false;
  }
  if (status != ERROR_SUCCESS) Throw(status);
  return true;
}

// Windows stores every change at once; there is nothing to flush.
void RegKey::Flush() {}

void RegKey::Close() {
  if (!impl_) return;
  const LSTATUS status = impl_->Close();
  impl_.reset();
  if (status != ERROR_SUCCESS) Throw(status);
}

bool DeleteRegKeyTree(RegRoot root, std::string_view path) {
  const std::wstring key = KeyPath(path);
  // An empty path would name the root itself and empty it whole.
  if (key.empty()) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const LSTATUS status = RegDeleteTreeW(RootKey(root), key.c_str());
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<std::uint32_t>(status));
    return false;
  }
  return true;
}

struct RegistryStoreBatch::Held {};

RegistryStoreBatch::RegistryStoreBatch() = default;
RegistryStoreBatch::~RegistryStoreBatch() = default;

void RegistryStoreBatch::Store() {}

}  // namespace valise::platform
