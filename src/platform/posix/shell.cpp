// Starting files and expanding environment variables on Linux. A native program is spawned
// directly; everything else (documents, folders, URLs) goes to the desktop's opener,
// xdg-open, when the system has one. There is no folder-browse dialog.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/shell.h"

extern char** environ;

namespace valise::platform {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The value of an environment variable, its name matched without regard to case as Windows
// matches it; an exact match wins over one that differs in case.
const char* FindVariable(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return nullptr;
  const char* folded = nullptr;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view entryName = text.substr(0, equals);
    if (entryName == name) return *entry + equals + 1;
    if (folded == nullptr && EqualsIgnoreCase(entryName, name)) folded = *entry + equals + 1;
  }
  return folded;
}

// Splits a parameter string into arguments as the Windows runtime splits a command line:
// white space separates, double quotes group, 2n backslashes before a quote become n and the
// quote acts, 2n+1 become n and a literal quote, and "" inside quotes is a literal quote.
std::vector<std::string> SplitParameters(std::string_view text) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < text.size()) {
      const char c = text[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        std::size_t count = 0;
        while (i < text.size() && text[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < text.size() && text[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

// A URL such as "http://..." or "mailto:...": a scheme of two or more letters before ":"
// (one letter is a drive).
bool IsUrl(std::string_view file) {
  const std::size_t colon = file.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = file[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
    if (!letter && !other) return false;
  }
  return true;
}

// True for a regular file that the host can run: an ELF image, or a file with an execute bit
// (a script with its interpreter line).
bool IsNativeExecutable(const std::string& hostPath) {
  struct stat info {};
  if (stat(hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if ((info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0)
    return access(hostPath.c_str(), X_OK) == 0;
  const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char magic[4] = {};
  const bool elf = read(fd, magic, sizeof magic) == 4 && std::memcmp(magic,
                                                                     "\x7F"
                                                                     "ELF",
                                                                     4) == 0;
  close(fd);
  return elf;
}

// The host path of a program found in PATH, or empty.
std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view rest(path);
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    if (!folder.empty()) {
      std::string candidate = std::string(folder) + "/" + program;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

// Starts a program without waiting for it. Its output goes nowhere, and a thread of its own
// collects its exit status so that it leaves no zombie behind. Sets LastError on failure.
bool Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A process group of its own, so that signals meant for the installer pass it by.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int result =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    SetLastError(result == ENOENT ? kErrorFileNotFound : kErrorAccessDenied);
    return false;
  }
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread the child stays a zombie until the installer ends; it has started.
  }
  return true;
}

bool OpenWithDesktop(const std::string& target) {
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) {
    SetLastError(kErrorNotSupported);
    return false;
  }
  return Spawn(opener, {target});
}

}  // namespace

std::string ExpandEnvironmentStrings(std::string_view text) {
  // Scans as Windows does: "%NAME%" with a known name becomes its value; with an unknown name
  // (the empty one of "%%" included) both signs and the name stay and scanning goes on after
  // the closing sign; a sign without a closing one stays as it is.
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, open - i));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(open));
      break;
    }
    const std::string name(text.substr(open + 1, close - open - 1));
    if (const char* value = FindVariable(name)) {
      out += value;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    i = close + 1;
  }
  return out;
}

bool ShellExecute(std::string_view file, std::string_view parameters, std::string_view verb,
                  int /*showCommand*/) {
  try {
    // Only opening is known here: other verbs (print, edit, ...) have no handler to ask.
    if (!verb.empty() && !EqualsIgnoreCase(verb, "open") && !EqualsIgnoreCase(verb, "explore")) {
      SetLastError(kErrorNotSupported);
      return false;
    }
    const std::string expanded = ExpandEnvironmentStrings(file);
    if (expanded.empty()) {
      SetLastError(kErrorFileNotFound);
      return false;
    }
    if (IsUrl(expanded)) return OpenWithDesktop(expanded);
    const std::string hostPath = ToHostPath(expanded);
    struct stat info {};
    if (stat(hostPath.c_str(), &info) != 0) {
      SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorFileNotFound : kErrorAccessDenied);
      return false;
    }
    if (IsNativeExecutable(hostPath)) return Spawn(hostPath, SplitParameters(parameters));
    return OpenWithDesktop(hostPath);
  } catch (const OSError& error) {
    SetLastError(error.code());
    return false;
  } catch (const Error&) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
}

bool BrowseForDirectoryAvailable() {
  return false;
}

std::optional<std::string> BrowseForDirectory(std::string_view /*caption*/,
                                              std::string_view /*root*/,
                                              std::string_view /*initialDirectory*/,
                                              bool /*showStatusText*/) {
  return std::nullopt;
}

}  // namespace valise::platform
