// The subcommands of the publisher's `valise` tool. Each subcommand lives in its own file and
// registers itself with a static Command object.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace valise::tools {

// Runs a subcommand with the arguments after its name; returns the exit code. Failures throw
// valise::Error with a message; usage mistakes throw UsageError.
using CommandFunction = std::function<int(const std::vector<std::string>& args)>;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Command {
 public:
  // `usage` is the help text shown by `valise help NAME` and after a usage error.
  Command(std::string name, std::string summary, std::string usage, CommandFunction run);
};

}  // namespace valise::tools
