// Debug output reaches a viewer that registers its window on the desktop, and a run without
// one (no window on the desktop at all, as in a silent run under Wine) logs nothing and does
// not fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/debug.h"

namespace valise::platform {
namespace {

std::wstring received;

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT) {
    received += reinterpret_cast<const wchar_t*>(lparam);
    return TRUE;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST(DebugViewer, LinesReachTheRegisteredWindow) {
  DebugOutput("before any viewer");

  WNDCLASSW wc{};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ValiseTestDebugViewer";
  ASSERT_NE(RegisterClassW(&wc), 0);
  const HWND viewer =
      CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(viewer, nullptr);
  ASSERT_TRUE(SetPropW(GetDesktopWindow(), L"DBWin32-Handle", viewer));

  // The viewer is looked up again at most every half second.
  Sleep(600);
  DebugOutput("Installing \xC3\xA4 line");
  DebugOutput("second line\r\n");
  RemovePropW(GetDesktopWindow(), L"DBWin32-Handle");
  DestroyWindow(viewer);
  EXPECT_EQ(received, L"Installing \u00E4 line\r\nsecond line\r\n");
}

}  // namespace
}  // namespace valise::platform
