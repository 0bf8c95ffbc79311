// Starting files through the shell, the shell's folder-browse dialog and environment strings.
#include <vector>

#include "platform/shell.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

struct BrowseState {
  std::wstring initial;
};

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM parameter, LPARAM data) {
  const auto* state = reinterpret_cast<const BrowseState*>(data);
  if (message == BFFM_INITIALIZED && !state->initial.empty()) {
    const auto path = reinterpret_cast<LPARAM>(state->initial.c_str());
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, path);
    SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, path);
  } else if (message == BFFM_SELCHANGED) {
    const std::wstring path = win32::PathFromIdList(reinterpret_cast<LPCITEMIDLIST>(parameter));
    if (!path.empty()) {
      SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
  }
  return 0;
}

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM data) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  }
  return TRUE;
}

// Disables the thread's other windows while a dialog is shown and enables them again after.
class OtherWindowsDisabled {
 public:
  explicit OtherWindowsDisabled(HWND owner) {
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow,
                      reinterpret_cast<LPARAM>(&windows_));
    for (HWND window : windows_) {
      if (window != owner) EnableWindow(window, FALSE);
    }
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;
  ~OtherWindowsDisabled() {
    for (HWND window : windows_) EnableWindow(window, TRUE);
  }

 private:
  std::vector<HWND> windows_;
};

}  // namespace

bool ShellExecute(std::string_view file, std::string_view parameters, std::string_view verb,
                  int showCommand) {
  win32::EnsureCom();
  const std::wstring wideFile = win32::Wide(file);
  const std::wstring wideParameters = win32::Wide(parameters);
  const std::wstring wideVerb = win32::Wide(verb);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The call returns once the start has been handed over, so that the program may end at once.
  info.fMask = SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = wideVerb.empty() ? nullptr : wideVerb.c_str();
  info.lpFile = wideFile.c_str();
  info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
  info.nShow = showCommand;
  return ShellExecuteExW(&info) != FALSE;
}

bool BrowseForDirectoryAvailable() {
  return true;
}

std::optional<std::string> BrowseForDirectory(std::string_view caption, std::string_view root,
                                              std::string_view initialDirectory,
                                              bool showStatusText) {
  win32::EnsureCom();
  BrowseState state;
  state.initial = win32::Wide(initialDirectory);
  // "C:\" keeps its backslash: without it, it names the drive's current directory.
  if (state.initial.size() > 3 && state.initial.back() == L'\\') state.initial.pop_back();

  HWND owner = GetActiveWindow();
  win32::ItemIdList rootList;
  const std::wstring wideRoot = win32::Wide(root);
  if (!wideRoot.empty()) {
    win32::ComPtr<IShellFolder> desktop;
    if (SUCCEEDED(SHGetDesktopFolder(desktop.out()))) {
      std::wstring name = wideRoot;
      desktop->ParseDisplayName(owner, nullptr, name.data(), nullptr, rootList.out(), nullptr);
    }
  }

  const std::wstring title = win32::Wide(caption);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = rootList.get();
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | (showStatusText ? BIF_STATUSTEXT : 0);
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&state);

  win32::ItemIdList chosen;
  {
    const OtherWindowsDisabled disabled(owner);
    *chosen.out() = SHBrowseForFolderW(&info);
  }
  if (chosen.get() == nullptr) return std::nullopt;
  const std::wstring path = win32::PathFromIdList(chosen.get());
  if (path.empty()) return std::nullopt;
  return win32::Utf8(path);
}

std::string ExpandEnvironmentStrings(std::string_view text) {
  const std::wstring source = win32::Wide(text);
  std::wstring buffer(source.size() + 64, L'\0');
  for (;;) {
    // The result counts the terminating null.
    const DWORD size =
        ExpandEnvironmentStringsW(source.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (size == 0) return std::string(text);
    if (size <= buffer.size()) {
      buffer.resize(size - 1);
      return win32::Utf8(buffer);
    }
    buffer.assign(size, L'\0');
  }
}

}  // namespace valise::platform
