#include "platform/mmio.h"

#include <windows.h>
// windows.h first: the multimedia header needs its types.
#include <mmsystem.h>

#include <mutex>

namespace valise::platform {
namespace {

std::mutex resolverMutex;
MmioResolver currentResolver;

std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                      nullptr, nullptr);
  return text;
}

FOURCC ToFourcc(std::string_view code) {
  char text[5] = {' ', ' ', ' ', ' ', '\0'};
  for (std::size_t i = 0; i < code.size() && i < 4; ++i) text[i] = code[i];
  return mmioStringToFOURCCA(text, MMIO_TOUPPER);
}

// Kernel handles carry 32 significant bits, so the inner file handle fits the first of the
// information block's free words.
HANDLE InnerHandle(const MMIOINFO* info) {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(static_cast<LONG>(info->adwInfo[0])));
}

LRESULT Open(MMIOINFO* info, const char* ansiName) {
  // A parse-only open asks for nothing to be opened.
  if (info->dwFlags == MMIO_PARSE) return 0;
  MmioResolver resolver;
  {
    std::lock_guard lock(resolverMutex);
    resolver = currentResolver;
  }
  if (!resolver || ansiName == nullptr) return -1;
  std::string path;
  std::uint64_t start = 0;
  try {
    if (!resolver(Narrow(Widen(ansiName, CP_ACP), CP_UTF8), path, start)) return -1;
  } catch (...) {
    return -1;  // nothing may leave the procedure
  }
  HANDLE file =
      CreateFileW(Widen(path, CP_UTF8).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(start);
  if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) {
    CloseHandle(file);
    return -1;
  }
  info->adwInfo[0] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(file));
  info->lDiskOffset = static_cast<LONG>(start);
  return 0;
}

LRESULT CALLBACK IOProc(LPSTR block, UINT message, LPARAM param1, LPARAM param2) {
  auto* info = reinterpret_cast<MMIOINFO*>(block);
  switch (message) {
    case MMIOM_OPEN:
      return Open(info, reinterpret_cast<const char*>(param1));
    case MMIOM_READ: {
      DWORD read = 0;
      if (!ReadFile(InnerHandle(info), reinterpret_cast<void*>(param1), static_cast<DWORD>(param2),
                    &read, nullptr)) {
        return -1;
      }
      info->lDiskOffset += static_cast<LONG>(read);
      return static_cast<LRESULT>(read);
    }
    case MMIOM_SEEK: {
      LARGE_INTEGER by;
      by.QuadPart = static_cast<LONG>(param1);
      LARGE_INTEGER now;
      const DWORD method = param2 == SEEK_CUR   ? FILE_CURRENT
                           : param2 == SEEK_END ? FILE_END
                                                : FILE_BEGIN;
      if (!SetFilePointerEx(InnerHandle(info), by, &now, method)) return -1;
      info->lDiskOffset = static_cast<LONG>(now.QuadPart);
      return static_cast<LRESULT>(now.QuadPart);
    }
    case MMIOM_CLOSE:
      return CloseHandle(InnerHandle(info)) ? 0 : MMIOERR_CANNOTCLOSE;
    default:
      return 0;
  }
}

}  // namespace

bool InstallMmioProc(std::string_view fourcc, MmioResolver resolver) {
  {
    std::lock_guard lock(resolverMutex);
    currentResolver = std::move(resolver);
  }
  return mmioInstallIOProcA(ToFourcc(fourcc), IOProc, MMIO_INSTALLPROC) != nullptr;
}

void RemoveMmioProc(std::string_view fourcc) {
  mmioInstallIOProcA(ToFourcc(fourcc), nullptr, MMIO_REMOVEPROC);
}

bool MmioAvailable() {
  return true;
}

std::optional<std::string> MmioReadFile(std::string_view name, std::size_t count) {
  std::string ansi = Narrow(Widen(name, CP_UTF8), CP_ACP);
  HMMIO handle = mmioOpenA(ansi.data(), nullptr, MMIO_READ);
  if (handle == nullptr) return std::nullopt;
  std::string data(count, '\0');
  const LONG got = mmioRead(handle, data.data(), static_cast<LONG>(count));
  mmioClose(handle, 0);
  if (got < 0) return std::nullopt;
  data.resize(static_cast<std::size_t>(got));
  return data;
}

}  // namespace valise::platform
