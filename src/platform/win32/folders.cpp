// The system's folders: the Windows and system directories and the shell's special folders.
#include "platform/shell.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

std::string GetWindowsDirectory() {
  return win32::Utf8(win32::GrowingBuffer(
      [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); }));
}

std::string GetSystemDirectory() {
  return win32::Utf8(win32::GrowingBuffer(
      [](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); }));
}

// No COM here: the folder functions need none, and entering an apartment registers a window
// class, which loads the display driver (under Wine, by starting a desktop process).
std::string GetSpecialFolderPath(int folder) {
  win32::ItemIdList pidl;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, pidl.out()))) return {};
  return win32::Utf8(win32::PathFromIdList(pidl.get()));
}

}  // namespace valise::platform
