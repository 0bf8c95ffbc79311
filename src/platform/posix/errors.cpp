// Error codes on Linux: errno values are translated once, here, into the Windows codes that the
// rest of the system speaks, and the messages are the English texts Windows gives for them.
#include "platform/errors.h"

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
  switch (code) {
    case 0:
      return "The operation completed successfully.";
    case 1:
      return "Incorrect function.";
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 4:
      return "The system cannot open the file.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 13:
      return "The data is invalid.";
    case 15:
      return "The system cannot find the drive specified.";
    case 17:
      return "The system cannot move the file to a different disk drive.";
    case 18:
      return "There are no more files.";
    case 19:
      return "The media is write protected.";
    case 21:
      return "The device is not ready.";
    case 31:
      return "A device attached to the system is not functioning.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 33:
      return "The process cannot access the file because another process has locked a portion "
             "of the file.";
    case 38:
      return "Reached the end of the file.";
    case 50:
      return "The request is not supported.";
    case 80:
      return "The file exists.";
    case 87:
      return "The parameter is incorrect.";
    case 112:
      return "There is not enough space on the disk.";
    case 123:
      return "The filename, directory name, or volume label syntax is incorrect.";
    case 145:
      return "The directory is not empty.";
    case 161:
      return "The specified path is invalid.";
    case 170:
      return "The requested resource is in use.";
    case 183:
      return "Cannot create a file when that file already exists.";
    case 206:
      return "The filename or extension is too long.";
    case 234:
      return "More data is available.";
    case 267:
      return "The directory name is invalid.";
    case 1117:
      return "The request could not be performed because of an I/O device error.";
    default:
      break;
  }
  char text[48];
  std::snprintf(text, sizeof text, "Unknown error %u.", static_cast<unsigned>(code));
  return text;
}

OSError LastOSError() {
  const std::uint32_t code = LastError();
  return OSError(code, SystemErrorMessage(code));
}

void ThrowLastOSError() {
  throw LastOSError();
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
