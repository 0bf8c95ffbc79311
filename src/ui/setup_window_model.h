// What the setup window shows and allows, apart from pixels: the checked list of applications
// (sorted by title, ticked when installed or selected; with "/remove=" only when selected), the
// selected row's installation directory and which directory controls are visible and enabled,
// whether Continue is enabled, and what Continue runs. The window on Windows and the terminal front
// end both work through it, so that their rules are the same and are tested without a window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/data_module.h"

namespace valise::ui {

struct TListRow {
  setup::TSetupApplication* App = nullptr;
  bool Checked = false;
  // Bold in the list: the application comes from the script, not only from a record.
  bool FromScript() const { return App->ScriptIndex != -1; }
};

class TSetupWindowModel {
 public:
  explicit TSetupWindowModel(setup::TSetupDataModule& setupData) : setupData_(setupData) {}

  // The rows, ticks and initial selection; then the state of the controls as a click on the
  // selected row gives it. Throws what that click throws (an invalid directory reference): the
  // rows stay, and the caller shows the error and opens the window all the same.
  void SetUp();

  const std::vector<TListRow>& Rows() const { return rows_; }
  // The selected row, or -1.
  int Selected() const { return selected_; }

  // A click on a row, and a change of a row's tick; each ends as Click does. Ignored while a
  // run is going, so that no second run can start inside the first.
  void Select(int row);
  void SetChecked(int row, bool checked);
  // Brings the directory controls and Continue into their state for the selected row. Throws
  // ESetup for an invalid directory reference, leaving the directory controls as they were.
  void Click();

  // The directory field was edited: the selected application's directory becomes its text.
  void DirectoryEditChange(std::string_view text);

  // The folder browser: where it starts (the parent folder of the selected application's
  // directory, created when missing) and what a choice makes of the directory.
  struct TBrowse {
    std::string Parent;  // with its trailing backslash
    std::string Name;    // the application's own folder name, always kept
    bool CreatedParent = false;
  };
  TBrowse BeginBrowse();
  // `chosen` is the folder the user confirmed, or nothing after Cancel. Removes a parent that
  // BeginBrowse created when it is still empty.
  void EndBrowse(const TBrowse& browse, const std::optional<std::string>& chosen);

  // Continue: copies the ticks into Selected and runs Execute. `running` is called once the
  // controls are disabled and before the run starts, so that a window can show that state
  // while the run lets it repaint. Whatever happens, the controls are enabled again
  // afterwards; an error passes on after that (the window stays open).
  void Continue(const std::function<void()>& running = {});

  // The state of the controls.
  std::string DirectoryText;
  bool DirectoryVisible = true;
  bool DirectoryButtonEnabled = false;
  bool DirectoryEditReadOnly = true;
  bool ContinueEnabled = false;
  bool CancelEnabled = true;
  bool Running = false;

 private:
  void RestoreAfterRun();

  setup::TSetupDataModule& setupData_;
  std::vector<TListRow> rows_;
  int selected_ = -1;
};

// The horizontal extent a list needs for its widest row: that width plus 20, when the list's
// client width is smaller; otherwise 0 (no horizontal scrolling).
int FitListExtent(const std::vector<int>& rowTextWidths, int clientWidth);

}  // namespace valise::ui
