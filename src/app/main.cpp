// The entry of the setup program. It selects the baggage, builds the setup object (which reads
// the command line, the script and the installation records) and runs the installation, or
// prints its plan ("/plan") or the switches ("/?"). Errors end here: they are shown in the
// "Setup" box, written to the log, and give exit code 3, so that a failed run is never
// reported as success.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "baggage/baggage.h"
#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "setup/data_module.h"
#include "setup/error_place.h"
#include "setup/plan_print.h"
#include "setup/setup_ui.h"
#include "ui/front_end.h"
#include "util/file_utils.h"

#ifndef VALISE_VERSION
#define VALISE_VERSION "0"
#endif

namespace {

using namespace valise;

std::string CommandLineText(const std::vector<std::string>& params) {
  std::string text = platform::ProgramPath();
  for (const std::string& param : params) {
    text += ' ';
    text += param.find(' ') == std::string::npos ? param : '"' + param + '"';
  }
  return text;
}

// "/nomsg": no box is ever shown; what it would say goes to the log, and questions are
// answered as a user who wants the run to go on would.
void SuppressMessageBoxes() {
  platform::SetMessageBoxHandler([](std::string_view text, std::string_view caption,
                                    platform::MessageIcon, platform::MessageButtons buttons) {
    DebugLog("Message '" + std::string(caption) + "': " + std::string(text));
    return buttons == platform::MessageButtons::Ok ? platform::MessageResult::Ok
                                                   : platform::MessageResult::Yes;
  });
}

// The engine's part of the run: the setup object built, the run carried out silently or through
// the window; the exit code it settles.
int RunEngine(setup::TCommandLine commandLine) {
  std::unique_ptr<ui::TFrontEnd> frontEnd = ui::CreateFrontEnd();
  setup::TSetupDataModule setupData(*frontEnd, std::move(commandLine));
  try {
    setupData.Create();
    if (setupData.CommandLine.Plan) {
      // The plan is built as the run builds it, from the program's folder; a relative FILE is
      // taken from the folder the program was started in.
      const std::string file = setupData.CommandLine.PlanFile.empty()
                                   ? std::string()
                                   : platform::GetFullPathName(setupData.CommandLine.PlanFile);
      platform::SetCurrentDirectory(setupData.ProgramDir());
      setup::WritePlan(setupData, setupData.BuildPlan(), file);
    } else if (setupData.CommandLine.Silent) {
      setupData.Execute();
    } else {
      frontEnd->Run(setupData);
    }
  } catch (const std::exception& error) {
    setup::ReportFailure(error, [&](std::string_view text) { frontEnd->ShowError(text); });
    setupData.ExitCode = setup::kExitFailed;
  }
  return setupData.ExitCode;
}

// The run up to its exit code; Run logs that code.
int RunSetup() {
  setup::TCommandLine commandLine =
      setup::ParseCommandLine(platform::ProgramPath(), platform::CommandLineParameters());
  if (!commandLine.LogFile.empty()) {
    if (!platform::SetDebugLogFile(commandLine.LogFile)) {
      // Asked for a log and not getting one is a failed run: nothing of it would be on record.
      const std::string message =
          platform::OSErrorFor(platform::LastError(), "open the log file", commandLine.LogFile)
              .what();
      std::fprintf(stderr, "%s\n", message.c_str());
      platform::DebugOutput(message);
      return setup::kExitFailed;
    }
    DebugLog("Setup " VALISE_VERSION ": " + CommandLineText(commandLine.Params));
  }
  if (commandLine.NoMessages) SuppressMessageBoxes();
  for (const std::string& param : commandLine.UnknownSwitches) {
    DebugLog("Ignored unknown switch " + param);
  }
  if (commandLine.Help) {
    const std::string_view help = setup::HelpText();
    std::fwrite(help.data(), 1, help.size(), stdout);
    std::fflush(stdout);
#ifdef _WIN32
    // A windowed program mostly has no console to print to.
    platform::ShowMessageBox(help, "Setup", platform::MessageIcon::Information,
                             platform::MessageButtons::Ok);
#endif
    return setup::kExitSuccess;
  }

  if (const std::optional<std::string> error = BagStartupError(commandLine.BaggageArguments())) {
    // A remove-only run works from the records alone: a baggage that is gone is no failure.
    if (!commandLine.RemovesOnly()) {
      DebugLog("Error: " + *error);
      platform::ShowMessageBox(*error, kBagStartupCaption, platform::MessageIcon::Error,
                               platform::MessageButtons::Ok);
      DebugLog("Where: the baggage " + setup::BaggageNamedBy(commandLine.BaggageArguments()) +
               " that the program started with");
      return setup::kExitFailed;
    }
    DebugLog("No baggage (the removal needs none): " + *error);
  }

  return RunEngine(std::move(commandLine));
}

// The log's last line is the exit code, however the run ended.
int Run() {
  const int exitCode = RunSetup();
  DebugLog("Exit code " + std::to_string(exitCode));
  return exitCode;
}

}  // namespace

int main() {
  valise::platform::SetMainThread();
  const int exitCode = Run();
  valise::BagDone();
  return exitCode;
}
