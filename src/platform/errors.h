// The one exception family of the system. Every failure carries its message text; the texts of
// the system's own messages are spelled out where they are thrown.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace valise {

// The general error class: a failure with a message and nothing else.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure reported by the operating system. The code is a Windows system error code (both
// backends speak that one portable set); the message is the system's text for it.
class OSError : public Error {
 public:
  OSError(std::uint32_t code, const std::string& message) : Error(message), code_(code) {}
  std::uint32_t code() const noexcept { return code_; }

 private:
  std::uint32_t code_;
};

namespace platform {

// Windows system error codes used by both backends.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorWriteProtect = 19;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrorBadPathname = 161;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
// A link (on Windows a reparse point) stands where a real file or folder was expected.
inline constexpr std::uint32_t kErrorReparsePointEncountered = 4395;

// The calling thread's last error, as GetLastError/SetLastError keep it. Every platform call
// that reports failure by its result sets it.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The system's message text for an error code (without a trailing line break).
std::string SystemErrorMessage(std::uint32_t code);

// An OSError for the calling thread's last error, with the system's text alone.
OSError LastOSError();
[[noreturn]] void ThrowLastOSError();

// An OSError that says what was being done and to which file, folder or key:
// "Cannot <operation> <subject>: <system text>", as in
// "Cannot open C:\DATA\X.ADB: The system cannot find the file specified.".
OSError OSErrorFor(std::uint32_t code, std::string_view operation, std::string_view subject);
[[noreturn]] void ThrowOSError(std::uint32_t code, std::string_view operation,
                               std::string_view subject);
// The same for the calling thread's last error.
[[noreturn]] void ThrowLastOSError(std::string_view operation, std::string_view subject);

}  // namespace platform
}  // namespace valise
