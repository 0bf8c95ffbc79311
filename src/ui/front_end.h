// The front end of an interactive run: the setup window on Windows, the terminal on Linux. It
// is the engine's user interface from the start (boxes before the window exists are plain
// message boxes) and, for an interactive run, shows the choice and drives the run.
#pragma once

#include <memory>

#include "setup/data_module.h"
#include "setup/setup_ui.h"

namespace valise::ui {

class TFrontEnd : public setup::TSetupUI {
 public:
  // Runs the interactive part: shows the applications of the run, lets the user choose and
  // runs Execute on Continue; returns when the window is closed. The exit code is left in
  // the setup object (1 after a confirmed Cancel). Errors of the run are shown by the front
  // end, which stays open for another try.
  virtual void Run(setup::TSetupDataModule& setupData) = 0;
};

// The front end of this build.
std::unique_ptr<TFrontEnd> CreateFrontEnd();

}  // namespace valise::ui
