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
    } else if (Names(param, "remove=")) {
      line.RemoveArguments.push_back(value(param, "remove="));
    } else if (Names(param, "bag=") || Names(param, "baggage=")) {
      // The baggage start-up reads these.
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

std::vector<std::string> TCommandLine::BaggageArguments() const {
  std::vector<std::string> arguments{ProgramPath};
  arguments.insert(arguments.end(), Params.begin(), Params.end());
  return arguments;
}

std::string TCommandLine::ProgramDir() const {
  return ExcludeTrailingBackslash(ExtractFilePath(ProgramPath));
}

}  // namespace valise::setup
