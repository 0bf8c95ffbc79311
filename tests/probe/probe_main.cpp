#include <windows.h>

#include <cstdio>
#include <map>

#include "probe.h"

namespace {
std::map<std::wstring, ProbeFunction>& Commands() {
  static std::map<std::wstring, ProbeFunction> commands;
  return commands;
}
}  // namespace

ProbeCommand::ProbeCommand(const wchar_t* name, ProbeFunction run) {
  Commands()[name] = run;
}

std::string ProbeUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring ProbeWide(const std::string& text) {
  if (text.empty()) return {};
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

void ProbePrint(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: valise-probe COMMAND ARGS...\n", stderr);
    return 2;
  }
  auto found = Commands().find(argv[1]);
  if (found == Commands().end()) {
    std::fprintf(stderr, "valise-probe: unknown command\n");
    return 2;
  }
  std::vector<std::wstring> args(argv + 2, argv + argc);
  return found->second(args);
}
