// The setup program's command line, read once into a value that the program entry, the baggage
// start-up and the engine all read. Switches begin with "-" or "/" and are matched without
// regard to case; the first of a repeated valued switch counts ("remove=" collects them all).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace valise::setup {

struct TCommandLine {
  // The program's own full path, and its parameters as given (without the program name).
  std::string ProgramPath;
  std::vector<std::string> Params;

  bool Silent = false;          // "silent"
  bool LaunchAfterRun = false;  // "launch"
  bool NoMessages = false;      // "nomsg"
  // "plan" or "plan=FILE": the run's plan is printed (to FILE, else to standard output) and
  // nothing is changed. The plan is the silent run's, so "plan" sets Silent too.
  bool Plan = false;
  std::string PlanFile;
  bool Help = false;        // "?" or "help": the switches and exit codes are printed
  std::string RegArgument;  // "reg="
  // "inf=", or the program's path with the extension ".inf" when it is missing or empty.
  std::string ScriptFile;
  std::string LogFile;  // "log="
  // The keys named by "remove=" switches: installed applications that a silent run removes.
  std::vector<std::string> RemoveArguments;
  // The switches this program does not know, as given.
  std::vector<std::string> UnknownSwitches;

  // A silent run with "remove=" switches: it removes the named applications and does nothing
  // else, so it needs neither the baggage nor the source files nor the script's applications.
  bool RemovesOnly() const { return Silent && !RemoveArguments.empty(); }

  // The arguments the baggage start-up selects the baggage from: the program's path followed
  // by the parameters ("/BAG=", "/BAGGAGE=" or a document path among them).
  std::vector<std::string> BaggageArguments() const;
  // The program's own folder, without a trailing backslash.
  std::string ProgramDir() const;
};

TCommandLine ParseCommandLine(std::string programPath, std::vector<std::string> params);

// What "/?" and "/help" print: the switches and the exit codes.
std::string_view HelpText();

}  // namespace valise::setup
