// Feeds arbitrary bytes to the readers of a project's OPTIONS text and COURSE memo. The first
// byte chooses the reader; bad input must end in valise::Error, never in a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "course/course_structure.h"
#include "course/options.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 65536) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    if (data[0] & 1) {
      valise::course::TOptionList options;
      options.Parse(text);
    } else {
      valise::course::TCourseStructure course;
      course.LoadFromText(text);
      (void)course.UnitCount();
    }
  } catch (const valise::Error&) {
  }
  return 0;
}
