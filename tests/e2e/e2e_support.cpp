#include <algorithm>

#include "platform/registry.h"
#include "run_program.h"

namespace valise::testing {

std::vector<std::string> SortedValues(const std::string& path) {
  std::vector<std::string> lines;
  const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, path);
  if (!key) return lines;
  for (const std::string& name : key->ValueNames()) {
    const auto value = key->Read(name);
    lines.push_back(
        name + "=" +
        (value->type == platform::RegType::DWord ? std::to_string(value->number) : value->text));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace valise::testing
