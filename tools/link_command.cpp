// `valise link`: prints what a shortcut file points to.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/shell.h"
#include "show.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise link show <shortcut>\n"
    "\n"
    "show  prints a shell link's (.lnk) target, arguments, working directory, description,\n"
    "      icon (file,index), hot key and show command; of an internet shortcut (.url) its\n"
    "      lines as stored.\n";

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = text[text.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

int RunLink(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0] != "show") throw UsageError("link show needs one shortcut");
  const std::string path = platform::ToWindowsPath(args[1]);
  if (EndsWithNoCase(path, ".url")) {
    std::string text = platform::ReadWholeFile(path);
    std::string out;
    for (char c : text) {
      if (c != '\r') out += c;
    }
    std::fputs(out.c_str(), stdout);
    return 0;
  }
  std::fputs(ShowShellLink(platform::ReadShellLink(path)).c_str(), stdout);
  return 0;
}

const Command kLink("link", "print what a shortcut file points to", kUsage, RunLink);

}  // namespace
}  // namespace valise::tools
