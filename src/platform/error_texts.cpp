#include "platform/error_texts.h"

namespace valise::platform::detail {

const char* WindowsErrorText(std::uint32_t code) {
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
    case 223:
      return "The file size exceeds the limit allowed and cannot be saved.";
    case 234:
      return "More data is available.";
    case 267:
      return "The directory name is invalid.";
    case 1117:
      return "The request could not be performed because of an I/O device error.";
    case 4395:
      return "The object manager encountered a reparse point while retrieving an object.";
    default:
      return nullptr;
  }
}

}  // namespace valise::platform::detail
