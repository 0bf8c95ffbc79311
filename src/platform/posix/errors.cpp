// Error codes on Linux: errno values are translated once, here, into the Windows codes that the
// rest of the system speaks, and the messages are the English texts Windows gives for them.
#include "platform/errors.h"

#include "platform/error_texts.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>

#include "platform/posix/fs_internal.h"

namespace valise::platform {

namespace {
thread_local std::uint32_t lastError = kErrorSuccess;
}  // namespace

std::uint32_t LastError() {
  return lastError;
}

void SetLastError(std::uint32_t code) {
  lastError = code;
}

std::string SystemErrorMessage(std::uint32_t code) {
  if (const char* text = detail::WindowsErrorText(code)) return text;
  char text[48];
  std::snprintf(text, sizeof text, "Unknown error %u.", static_cast<unsigned>(code));
  return text;
}

namespace posix {

std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EROFS:
      return kErrorWriteProtect;
    case EEXIST:
      return kErrorFileExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EFBIG:
      return kErrorFileTooLarge;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ELOOP:
      return kErrorInvalidName;
    case EBUSY:
      return kErrorBusy;
    case ETXTBSY:
      return kErrorSharingViolation;
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case EBADF:
      return 6;  // ERROR_INVALID_HANDLE
    case EMFILE:
    case ENFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    case EOPNOTSUPP:
      return kErrorNotSupported;
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

std::uint32_t MissingPathError(const std::string& hostPath) {
  const std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return kErrorFileNotFound;
  const std::string folder = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return kErrorFileNotFound;
  return kErrorPathNotFound;
}

bool FailFromErrno(int error, const std::string& hostPath) {
  if (error == ENOENT && !hostPath.empty()) {
    SetLastError(MissingPathError(hostPath));
  } else {
    SetLastError(ErrorFromErrno(error));
  }
  return false;
}

}  // namespace posix
}  // namespace valise::platform
