// The publisher's `valise` command: `valise <command> <arguments>`.
#include <cstdio>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "command.h"
#include "platform/host_paths.h"

namespace valise::tools {
namespace {

struct Entry {
  std::string summary;
  std::string usage;
  CommandFunction run;
};

std::map<std::string, Entry>& Registry() {
  static std::map<std::string, Entry> commands;
  return commands;
}

void PrintHelp() {
  std::fputs("usage: valise <command> [arguments]\n\ncommands:\n", stdout);
  for (const auto& [name, entry] : Registry()) {
    std::printf("  %-8s %s\n", name.c_str(), entry.summary.c_str());
  }
  std::fputs("\n`valise help <command>` shows a command's arguments.\n", stdout);
}

}  // namespace

Command::Command(std::string name, std::string summary, std::string usage, CommandFunction run) {
  Registry()[std::move(name)] = Entry{std::move(summary), std::move(usage), std::move(run)};
}

}  // namespace valise::tools

int main(int argc, char** argv) {
  using namespace valise::tools;
  // Every command only reads and writes files (or reads the registry that is there): none
  // makes a virtual Windows as a side effect.
  valise::platform::LeaveMissingPrefixAlone();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    if (args.size() > 1 && Registry().count(args[1]) != 0) {
      std::fputs(Registry()[args[1]].usage.c_str(), stdout);
      return 0;
    }
    PrintHelp();
    return args.empty() ? 2 : 0;
  }
  auto found = Registry().find(args[0]);
  if (found == Registry().end()) {
    std::fprintf(stderr, "valise: unknown command '%s'\n", args[0].c_str());
    PrintHelp();
    return 2;
  }
  args.erase(args.begin());
  try {
    return found->second.run(args);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "valise %s: %s\n\n%s", found->first.c_str(), error.what(),
                 found->second.usage.c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "valise %s: %s\n", found->first.c_str(), error.what());
    return 1;
  }
}
