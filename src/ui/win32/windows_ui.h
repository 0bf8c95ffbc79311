// The Windows headers as the setup window and its dialog use them, and what every file of this
// folder needs at the Win32 boundary: UTF-16 text, the fonts of the designs and GDI objects that
// free themselves.
//
// <windows.h> defines LANG_* macros with the names of the product languages' enumerators. The
// language header is read here first and the colliding macros are removed after <windows.h>,
// so that files of this folder may include any header of the system in any order after this
// one.
#pragma once

// clang-format off
#include "course/languages.h"
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#undef LANG_CZECH
#undef LANG_DANISH
#undef LANG_DUTCH
#undef LANG_FRENCH
#undef LANG_GERMAN
#undef LANG_GREEK
#undef LANG_ITALIAN
#undef LANG_JAPANESE
#undef LANG_POLISH
#undef LANG_PORTUGUESE
#undef LANG_RUSSIAN
#undef LANG_SPANISH
#undef LANG_SWEDISH
#undef LANG_TURKISH

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace valise::ui::win32 {

inline std::wstring Wide(std::string_view text) {
  const std::u16string wide = platform::Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Utf8(std::wstring_view text) {
  return platform::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

inline std::string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

inline void SetText(HWND window, std::string_view text) {
  SetWindowTextW(window, Wide(text).c_str());
}

// The designs give their fonts in points at 96 pixels per inch and are not scaled for other
// resolutions: 8 points are 11 pixels there.
inline HFONT CreateDesignFont(const wchar_t* face, int points, bool bold = false) {
  return CreateFontW(-MulDiv(points, 96, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// A GDI object (font, bitmap, brush) deleted when the holder goes.
template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  ~GdiObject() { Reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  void Reset(Handle handle = nullptr) {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = handle;
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_ = nullptr;
};

// A memory device context deleted when the holder goes; objects selected into it go back.
class MemoryDC {
 public:
  explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
  ~MemoryDC() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  void Select(HGDIOBJ object) {
    HGDIOBJ old = SelectObject(dc_, object);
    if (previous_ == nullptr) previous_ = old;
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

// Sets a control's font without redrawing it.
inline void SetFont(HWND control, HFONT font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// The outer size of a window whose client area has the given size.
inline SIZE OuterSize(DWORD style, DWORD exStyle, int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The top left corner that centres a window of that outer size on the screen.
inline POINT ScreenCentre(SIZE size) {
  return POINT{(GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2};
}

}  // namespace valise::ui::win32
