// Until this build's front end exists, an interactive run says that only silent runs are
// available and fails.
#include <cstdio>

#include "ui/front_end.h"
#include "util/file_utils.h"

namespace valise::ui {

namespace {

class TUnavailableFrontEnd : public TFrontEnd {
 public:
  void Run(setup::TSetupDataModule& setupData) override {
    const char* text =
        "This setup program runs only with \"/silent\": its window is not available yet.";
    std::fprintf(stderr, "setup: %s\n", text);
    DebugLog(std::string("Error: ") + text);
    ShowError(text);
    setupData.ExitCode = setup::kExitFailed;
  }
};

}  // namespace

std::unique_ptr<TFrontEnd> CreateFrontEnd() {
  return std::make_unique<TUnavailableFrontEnd>();
}

}  // namespace valise::ui
