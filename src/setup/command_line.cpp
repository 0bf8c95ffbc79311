#include "setup/command_line.h"

#include <string_view>

#include "platform/text.h"
#include "util/paths.h"

namespace valise::setup {

namespace {

bool IsSwitch(std::string_view param) {
  return !param.empty() && (param[0] == '-' || param[0] == '/');
}

// Whether the switch's name (after its "-" or "/") is `name`, or begins with `name` when that
// ends in "=".
bool Names(std::string_view param, std::string_view name) {
  const std::string_view body = param.substr(1);
  if (name.back() == '=') {
    return body.size() >= name.size() &&
           platform::CompareTextIgnoreCase(body.substr(0, name.size()), name) == 0;
  }
  return platform::CompareTextIgnoreCase(body, name) == 0;
}

}  // namespace

TCommandLine ParseCommandLine(std::string programPath, std::vector<std::string> params) {
  TCommandLine line;
  line.ProgramPath = std::move(programPath);
  line.Params = std::move(params);
  bool haveReg = false;
  bool haveInf = false;
  bool haveLog = false;
  bool havePlanFile = false;
  const auto value = [](std::string_view param, std::string_view name) {
    return std::string(param.substr(1 + name.size()));
  };
  for (const std::string& param : line.Params) {
    if (!IsSwitch(param)) continue;
    if (Names(param, "silent")) {
      line.Silent = true;
    } else if (Names(param, "launch")) {
      line.LaunchAfterRun = true;
    } else if (Names(param, "nomsg")) {
      line.NoMessages = true;
    } else if (Names(param, "reg=")) {
      if (!haveReg) line.RegArgument = value(param, "reg=");
      haveReg = true;
    } else if (Names(param, "inf=")) {
      if (!haveInf) line.ScriptFile = value(param, "inf=");
      haveInf = true;
    } else if (Names(param, "log=")) {
      if (!haveLog) line.LogFile = value(param, "log=");
      haveLog = true;
    } else if (Names(param, "plan")) {
      line.Plan = true;
    } else if (Names(param, "plan=")) {
      line.Plan = true;
      if (!havePlanFile) line.PlanFile = value(param, "plan=");
      havePlanFile = true;
    } else if (Names(param, "?") || Names(param, "help")) {
      line.Help = true;
    } else if (Names(param, "remove=")) {
      line.RemoveArguments.push_back(value(param, "remove="));
    } else if (Names(param, "bag=") || Names(param, "baggage=") ||
               platform::UpperCase(param).find(".KQD") != std::string::npos) {
      // The baggage start-up reads these; a document's path (a host path may begin with "/")
      // is the baggage too.
    } else {
      line.UnknownSwitches.push_back(param);
    }
  }
  if (line.Plan) line.Silent = true;
  if (line.ScriptFile.empty()) {
    const std::string_view name = ExtractFileName(line.ProgramPath);
    const std::size_t dot = name.rfind('.');
    const std::size_t end = dot == std::string_view::npos
                                ? line.ProgramPath.size()
                                : line.ProgramPath.size() - name.size() + dot;
    line.ScriptFile = line.ProgramPath.substr(0, end) + ".inf";
  }
  return line;
}

std::string_view HelpText() {
  return "Usage: setup [/silent] [/nomsg] [/launch] [/inf=FILE] [/log=FILE] [/reg=KEY]\n"
         "             [/remove=KEY ...] [/BAG=BAGGAGE] [/plan[=FILE]] [/?]\n"
         "\n"
         "  /silent          No window: install every application of the script that is not\n"
         "                   installed; remove only what /remove= names.\n"
         "  /nomsg           No message box; what it would say goes to the log.\n"
         "  /launch          Start the script's Launch program after the run.\n"
         "  /inf=FILE        The setup script (default: the program's path with .inf).\n"
         "  /log=FILE        Append the run's log to FILE.\n"
         "  /reg=KEY         Exit code 2 when the application with record key KEY ends the\n"
         "                   run not selected.\n"
         "  /remove=KEY      Remove the installed application with record key KEY\n"
         "                   (repeatable); without /silent the window opens with it unticked.\n"
         "  /BAG=BAGGAGE     Start with that baggage (also /BAGGAGE=).\n"
         "  /plan            Print what the silent run would do and change nothing.\n"
         "  /plan=FILE       Write that plan to FILE, as JSON when FILE ends in .json.\n"
         "  /?, /help        Print this text.\n"
         "Unknown switches are ignored and named in the log.\n"
         "\n"
         "Exit codes:\n"
         "  0  The run ended normally (also after /plan and /?).\n"
         "  1  The user cancelled (window only).\n"
         "  2  The application named by /reg= ended the run not selected.\n"
         "  3  The run failed; the log and the message box say why.\n"
         "  4  A /remove= key named no installed application; nothing else failed.\n"
         "  3010  Removed, but a file in use goes at the next restart of the system.\n";
}

std::vector<std::string> TCommandLine::BaggageArguments() const {
  std::vector<std::string> arguments{ProgramPath};
  arguments.insert(arguments.end(), Params.begin(), Params.end());
  return arguments;
}

std::string TCommandLine::ProgramDir() const {
  return ExcludeTrailingBackslash(ExtractFilePath(ProgramPath));
}

}  // namespace valise::setup
