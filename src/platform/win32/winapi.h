// The Windows headers as the win32 backend uses them, and the conversions at its boundary: text
// is UTF-8 inside and UTF-16 at every call, and file calls get paths in a form that has no
// length limit.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

// The Windows headers define the names of several functions of the platform interface as
// macros for their A/W variants; the backend calls the W functions by their full names.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef ExpandEnvironmentStrings
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetFullPathName
#undef GetSystemDirectory
#undef GetWindowsDirectory
#undef MoveFile
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes
#undef ShellExecute

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace valise::platform::win32 {

// Text at the wide Windows API, converted by the system's one UTF-8/UTF-16 converter (utf.h):
// a wchar_t is a UTF-16 code unit here.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Replaces `out` with `text` in UTF-16, reusing its storage.
inline void AssignWide(std::wstring& out, std::string_view text) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    AppendUtf16Units(out, DecodeUtf8(text, pos).value_or(U'\xFFFD'));
  }
}

inline std::wstring Wide(std::string_view text) {
  std::wstring out;
  AssignWide(out, text);
  return out;
}

inline std::string Utf8(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// A null-terminated wide string cut at its first null character.
inline std::string Utf8(const wchar_t* text) {
  return text == nullptr ? std::string() : Utf8(std::wstring_view(text));
}

// Calls `get(buffer, capacity)` of a Windows function that returns the length it wrote, or the
// size it needs (with or without the null) when the buffer is too small, or 0 on failure.
template <typename Get>
std::wstring GrowingBuffer(Get get, DWORD initial = MAX_PATH) {
  std::wstring buffer(initial, L'\0');
  for (;;) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(static_cast<std::size_t>(length) + 1);
  }
}

// The full path of a possibly relative wide path; empty when it has none.
inline std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return {};
  return GrowingBuffer([&](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
}

// Paths from this length on need the "\\?\" form: CreateDirectory already refuses them (it
// keeps room for an 8.3 file name below the folder).
inline constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;

// A full path in the "\\?\" form ("\\?\UNC\server\share\..." for UNC paths), which the file
// functions take without the length limit and without further processing.
inline std::wstring LongForm(const std::wstring& full) {
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The path as file calls take it at any length: unchanged while its full path is short enough,
// otherwise the full path in the long form.
inline std::wstring FilePath(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
  std::wstring full = FullPath(path);
  if (full.empty() || full.size() < kPlainPathLimit) return path;
  return LongForm(full);
}

inline std::wstring FilePath(std::string_view path) {
  return FilePath(Wide(path));
}

// The path without a "\\?\" prefix, as the user wrote it.
inline std::wstring PlainPath(std::wstring path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (path.starts_with(L"\\\\?\\")) return path.substr(4);
  return path;
}

// Initialises COM on the calling thread once (single-threaded apartment, as the shell's objects
// want it); the thread keeps it until it ends.
inline void EnsureCom() {
  thread_local bool initialised = false;
  if (!initialised) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    initialised = true;
  }
}

// Owns a handle that `Close` releases.
template <auto Close>
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (valid()) Close(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A file, process or other kernel object's handle; a search handle of FindFirstFile.
using Handle = OwnedHandle<&CloseHandle>;
using FindHandle = OwnedHandle<&FindClose>;

// Owns a COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (ptr_ != nullptr) ptr_->Release();
  }
  T* operator->() const { return ptr_; }
  T* get() const { return ptr_; }
  T** out() { return &ptr_; }
  void** outVoid() { return reinterpret_cast<void**>(&ptr_); }

 private:
  T* ptr_ = nullptr;
};

// Owns an item identifier list that the shell allocated.
class ItemIdList {
 public:
  ItemIdList() = default;
  ItemIdList(const ItemIdList&) = delete;
  ItemIdList& operator=(const ItemIdList&) = delete;
  ~ItemIdList() { CoTaskMemFree(pidl_); }
  LPITEMIDLIST get() const { return pidl_; }
  LPITEMIDLIST* out() { return &pidl_; }

 private:
  LPITEMIDLIST pidl_ = nullptr;
};

// The file-system path of an item identifier list; empty when it has none.
inline std::wstring PathFromIdList(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return {};
  wchar_t buffer[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(pidl, buffer)) return {};
  return buffer;
}

}  // namespace valise::platform::win32
