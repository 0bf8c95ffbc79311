// The multimedia file I/O procedure. The media code opens "<file>.<EXT>+<element>" names through
// the procedure installed for EXT; the procedure asks the resolver which file to read from which
// position and then serves reads and seeks from that file, shared for reading and writing. The
// names pass through the ANSI code page on their way.
#include "platform/mmio.h"

#include <memory>
#include <mutex>

#include "platform/text.h"
#include "platform/win32/winapi.h"

#include <mmsystem.h>

namespace valise::platform {
namespace {

std::mutex resolverMutex;
std::shared_ptr<const MmioResolver>& Resolver() {
  static std::shared_ptr<const MmioResolver> resolver;
  return resolver;
}

FOURCC FourccOf(std::string_view text) {
  char code[4] = {' ', ' ', ' ', ' '};
  for (std::size_t i = 0; i < 4 && i < text.size(); ++i) {
    const char c = text[i];
    code[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return mmioFOURCC(code[0], code[1], code[2], code[3]);
}

// The inner file handle lives in the first free word of the information block. Kernel handles
// fit in 32 bits on every Windows, which is what makes that word wide enough.
HANDLE InnerHandle(const MMIOINFO* info) {
  return LongToHandle(static_cast<LONG>(info->adwInfo[0]));
}

LRESULT Open(MMIOINFO* info, const char* name) {
  if (info->dwFlags == MMIO_PARSE) return 0;
  std::shared_ptr<const MmioResolver> resolver;
  {
    std::lock_guard lock(resolverMutex);
    resolver = Resolver();
  }
  std::string path;
  std::uint64_t start = 0;
  try {
    if (!resolver || name == nullptr || !(*resolver)(AnsiToUtf8(name), path, start)) return -1;
  } catch (...) {
    // Nothing may pass from this callback into the system's code that called it: any failure
    // of the resolver, out of memory included, is a file that cannot be opened.
    return -1;
  }
  HANDLE file =
      CreateFileW(win32::FilePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(start);
  if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) {
    CloseHandle(file);
    return -1;
  }
  info->adwInfo[0] = static_cast<DWORD>(HandleToLong(file));
  info->lDiskOffset = static_cast<LONG>(start);
  return 0;
}

LRESULT CALLBACK Procedure(LPSTR block, UINT message, LPARAM parameter1, LPARAM parameter2) {
  auto* info = reinterpret_cast<MMIOINFO*>(block);
  switch (message) {
    case MMIOM_OPEN:
      return Open(info, reinterpret_cast<const char*>(parameter1));
    case MMIOM_READ: {
      DWORD read = 0;
      if (!ReadFile(InnerHandle(info), reinterpret_cast<void*>(parameter1),
                    static_cast<DWORD>(parameter2), &read, nullptr)) {
        return -1;
      }
      info->lDiskOffset += static_cast<LONG>(read);
      return static_cast<LRESULT>(read);
    }
    case MMIOM_SEEK: {
      LARGE_INTEGER distance;
      distance.QuadPart = static_cast<LONG>(parameter1);
      LARGE_INTEGER position{};
      // SEEK_SET, SEEK_CUR and SEEK_END have the values of FILE_BEGIN, FILE_CURRENT, FILE_END.
      if (!SetFilePointerEx(InnerHandle(info), distance, &position,
                            static_cast<DWORD>(parameter2))) {
        return -1;
      }
      info->lDiskOffset = static_cast<LONG>(position.QuadPart);
      return static_cast<LRESULT>(position.QuadPart);
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
    Resolver() = std::make_shared<const MmioResolver>(std::move(resolver));
  }
  // The procedure takes the names of MMIOM_OPEN in the ANSI code page: Wine hands it those
  // whatever variant installed it, and Windows does for the ANSI one.
  return mmioInstallIOProcA(FourccOf(fourcc), Procedure, MMIO_INSTALLPROC) != nullptr;
}

void RemoveMmioProc(std::string_view fourcc) {
  mmioInstallIOProcA(FourccOf(fourcc), nullptr, MMIO_REMOVEPROC);
}

bool MmioAvailable() {
  return true;
}

std::optional<std::string> MmioReadFile(std::string_view name, std::size_t count) {
  std::wstring wide = win32::Wide(name);
  HMMIO handle = mmioOpenW(wide.data(), nullptr, MMIO_READ | MMIO_DENYNONE);
  if (handle == nullptr) return std::nullopt;
  std::string bytes(count, '\0');
  const LONG read = mmioRead(handle, bytes.data(), static_cast<LONG>(count));
  mmioClose(handle, 0);
  if (read < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(read));
  return bytes;
}

}  // namespace valise::platform
