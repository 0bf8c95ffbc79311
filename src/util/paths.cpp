#include "util/paths.h"

namespace valise {

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

namespace {

bool EndsFileName(char c) {
  return IsPathSeparator(c) || c == ':';
}

std::size_t FileNameStart(std::string_view path) {
  std::size_t at = path.size();
  while (at > 0 && !EndsFileName(path[at - 1])) --at;
  return at;
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string_view ExtractFileName(std::string_view path) {
  return path.substr(FileNameStart(path));
}

std::string_view ExtractFilePath(std::string_view path) {
  return path.substr(0, FileNameStart(path));
}

std::string ExtractFileDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // "\\server\share": up to the separator after the share name.
    std::size_t server = 2;
    while (server < path.size() && !IsPathSeparator(path[server])) ++server;
    if (server == path.size()) return std::string(path);
    std::size_t share = server + 1;
    while (share < path.size() && !IsPathSeparator(path[share])) ++share;
    return std::string(path.substr(0, share));
  }
  return {};
}

std::string ExtractFileExt(std::string_view path) {
  const std::string_view name = ExtractFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
  const std::string old = ExtractFileExt(path);
  return std::string(path.substr(0, path.size() - old.size())) + std::string(extension);
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || !IsPathSeparator(result.back())) result += '\\';
  return result;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  while (!path.empty() && IsPathSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
}

bool IsBareName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (EndsFileName(c)) return false;
  }
  return true;
}

bool IsAbsoluteDrivePath(std::string_view path) {
  if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != ':' || !IsPathSeparator(path[2])) {
    return false;
  }
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    const std::string_view part = path.substr(start, end - start);
    if (part == "." || part == ".." || part.find(':') != std::string_view::npos) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace valise
