// Shell links through the shell's link object (IShellLinkW with IPersistFile).
#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/shell.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

// The longest text the link object hands out for one field.
constexpr int kFieldMax = 32768;

// An error for a failed COM call that names the link file: an OSError with the system's
// message for Win32 codes wrapped in an HRESULT, an Error with the message table's text for the
// HRESULT (and the HRESULT itself) otherwise.
[[noreturn]] void ThrowHresult(HRESULT result, std::string_view operation, std::string_view path) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
    ThrowOSError(static_cast<std::uint32_t>(HRESULT_CODE(result)), operation, path);
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  std::string text = SystemErrorMessage(static_cast<std::uint32_t>(result));
  if (text.starts_with("System error ")) text = "The shell's link object failed.";
  throw Error("Cannot " + std::string(operation) + " " + std::string(path) + ": " + text + " (" +
              code + ")");
}

constexpr std::string_view kWrite = "write the shell link";
constexpr std::string_view kRead = "read the shell link";

// Reads one text field of the link object through `get(buffer, capacity)`.
template <typename Get>
std::string Field(Get get) {
  std::wstring buffer(kFieldMax, L'\0');
  if (FAILED(get(buffer.data(), kFieldMax))) return {};
  return win32::Utf8(buffer.c_str());
}

// The show command as the file's header holds it. Some implementations of the link object
// hand out the default instead of what they loaded, so the header is read directly.
std::optional<int> StoredShowCommand(const std::wstring& path) {
  constexpr DWORD kHeaderSize = 0x4C;
  constexpr DWORD kShowCommandOffset = 0x3C;
  win32::Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  unsigned char header[kHeaderSize];
  DWORD read = 0;
  if (!ReadFile(file.get(), header, kHeaderSize, &read, nullptr) || read != kHeaderSize) {
    return std::nullopt;
  }
  if (LoadU32(header) != kHeaderSize) return std::nullopt;
  return static_cast<int>(LoadU32(header + kShowCommandOffset));
}

// The bytes of a text in the ANSI code page, with the look-alikes of best-fit mapping.
std::string AnsiForm(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// Some link objects hand out the target path as the file's ANSI copy of it holds it, with the
// characters beyond the ANSI code page lost, while the item identifier list keeps every
// character. The list's path is taken when it is the same path in full.
std::string FullTarget(IShellLinkW* link, const std::string& target) {
  win32::ItemIdList pidl;
  if (FAILED(link->GetIDList(pidl.out())) || pidl.get() == nullptr) return target;
  const std::wstring full = win32::PathFromIdList(pidl.get());
  const std::wstring given = win32::Wide(target);
  if (full.empty() || full == given || AnsiForm(full) != AnsiForm(given)) return target;
  return win32::Utf8(full);
}

}  // namespace

void WriteShellLink(const ShellLinkData& link, std::string_view linkPath) {
  win32::EnsureCom();
  win32::ComPtr<IShellLinkW> shellLink;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    shellLink.outVoid());
  if (FAILED(result)) ThrowHresult(result, kWrite, linkPath);
  // The settings go in a fixed order, the target after the working directory so that a
  // relative target is resolved against it; their single results do not matter.
  shellLink->SetArguments(win32::Wide(link.arguments).c_str());
  shellLink->SetShowCmd(link.showCommand);
  shellLink->SetWorkingDirectory(win32::Wide(link.workingDirectory).c_str());
  shellLink->SetPath(win32::Wide(link.target).c_str());
  shellLink->SetDescription(win32::Wide(link.description).c_str());
  shellLink->SetHotkey(link.hotKey);
  shellLink->SetIconLocation(win32::Wide(link.iconLocation).c_str(), link.iconIndex);
  win32::ComPtr<IPersistFile> file;
  result = shellLink->QueryInterface(IID_IPersistFile, file.outVoid());
  if (FAILED(result)) ThrowHresult(result, kWrite, linkPath);
  result = file->Save(win32::FilePath(linkPath).c_str(), TRUE);
  if (FAILED(result)) ThrowHresult(result, kWrite, linkPath);
}

ShellLinkData ReadShellLink(std::string_view linkPath) {
  const std::wstring path = win32::FilePath(linkPath);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) ThrowLastOSError();
  win32::EnsureCom();
  win32::ComPtr<IShellLinkW> shellLink;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    shellLink.outVoid());
  if (FAILED(result)) ThrowHresult(result, kRead, linkPath);
  win32::ComPtr<IPersistFile> file;
  result = shellLink->QueryInterface(IID_IPersistFile, file.outVoid());
  if (FAILED(result)) ThrowHresult(result, kRead, linkPath);
  result = file->Load(path.c_str(), STGM_READ);
  if (FAILED(result)) ThrowHresult(result, kRead, linkPath);

  IShellLinkW* object = shellLink.get();
  ShellLinkData link;
  link.target = Field([&](wchar_t* buffer, int size) {
    return object->GetPath(buffer, size, nullptr, SLGP_RAWPATH);
  });
  link.target = FullTarget(object, link.target);
  link.arguments =
      Field([&](wchar_t* buffer, int size) { return object->GetArguments(buffer, size); });
  link.workingDirectory =
      Field([&](wchar_t* buffer, int size) { return object->GetWorkingDirectory(buffer, size); });
  link.description =
      Field([&](wchar_t* buffer, int size) { return object->GetDescription(buffer, size); });
  int iconIndex = 0;
  link.iconLocation = Field(
      [&](wchar_t* buffer, int size) { return object->GetIconLocation(buffer, size, &iconIndex); });
  link.iconIndex = iconIndex;
  WORD hotKey = 0;
  if (SUCCEEDED(shellLink->GetHotkey(&hotKey))) link.hotKey = hotKey;
  int showCommand = 1;
  if (SUCCEEDED(shellLink->GetShowCmd(&showCommand))) link.showCommand = showCommand;
  if (const auto stored = StoredShowCommand(path)) link.showCommand = *stored;
  return link;
}

}  // namespace valise::platform
