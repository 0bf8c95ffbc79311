// The parts of the error interface that both backends build on their own LastError and
// SystemErrorMessage.
#include <string>

#include "platform/errors.h"

namespace valise::platform {

OSError LastOSError() {
  const std::uint32_t code = LastError();
  return OSError(code, SystemErrorMessage(code));
}

void ThrowLastOSError() {
  throw LastOSError();
}

OSError OSErrorFor(std::uint32_t code, std::string_view operation, std::string_view subject) {
  std::string message = "Cannot ";
  message += operation;
  message += ' ';
  message += subject;
  message += ": ";
  message += SystemErrorMessage(code);
  return OSError(code, message);
}

void ThrowOSError(std::uint32_t code, std::string_view operation, std::string_view subject) {
  throw OSErrorFor(code, operation, subject);
}

void ThrowLastOSError(std::string_view operation, std::string_view subject) {
  ThrowOSError(LastError(), operation, subject);
}

}  // namespace valise::platform
