// `valise reg`: prints registry keys, to see what a setup run recorded.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/errors.h"
#include "show.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise reg show <key>\n"
    "\n"
    "show  prints the key and every key below it: a line [key] for each, then its values\n"
    "      (name, type, data), values and subkeys in the registry's own order. The key starts\n"
    "      with HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (or HKCR, HKCU,\n"
    "      HKLM). Exits with 1 when the key does not exist. On Linux the registry is that of\n"
    "      the prefix named by WINEPREFIX.\n";

const char* RootName(platform::RegRoot root) {
  switch (root) {
    case platform::RegRoot::ClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case platform::RegRoot::CurrentUser:
      return "HKEY_CURRENT_USER";
    case platform::RegRoot::LocalMachine:
      return "HKEY_LOCAL_MACHINE";
  }
  return "";
}

int RunReg(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0] != "show") throw UsageError("reg show needs one key");
  const auto parsed = ParseRegKeyName(args[1]);
  if (!parsed) throw UsageError("'" + args[1] + "' does not start with a registry root");
  const auto& [root, path] = *parsed;
  std::string name = RootName(root);
  if (!path.empty()) name += "\\" + path;
  const std::optional<std::string> listing = ShowRegKey(root, path, name);
  if (!listing) throw Error("The key " + name + " does not exist");
  std::fputs(listing->c_str(), stdout);
  return 0;
}

const Command kReg("reg", "print registry keys and values", kUsage, RunReg);

}  // namespace
}  // namespace valise::tools
