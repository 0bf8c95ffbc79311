#include "util/file_names.h"

namespace valise {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

}  // namespace

std::string ExtractFileExt(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (c == '.') return std::string(path.substr(i - 1));
    if (IsSeparator(c)) break;
  }
  return {};
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
  const std::string old = ExtractFileExt(path);
  return std::string(path.substr(0, path.size() - old.size())) + std::string(extension);
}

}  // namespace valise
