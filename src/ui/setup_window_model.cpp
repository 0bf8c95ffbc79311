#include "ui/setup_window_model.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/text.h"
#include "util/file_utils.h"

namespace valise::ui {

void TSetupWindowModel::SetUp() {
  rows_.clear();
  // With "/remove=" the window opens to remove the named applications: the engine selected
  // what shall stay, and the ticks show that. Otherwise installed applications are ticked.
  const bool removing = !setupData_.CommandLine.RemoveArguments.empty();
  for (const auto& app : setupData_.Applications) {
    TListRow row{app.get(), removing ? app->Selected : app->Installed || app->Selected};
    // The list keeps its rows sorted by text; a new row goes after its equals.
    const auto at =
        std::upper_bound(rows_.begin(), rows_.end(), row, [](const TListRow& a, const TListRow& b) {
          return platform::CompareTextIgnoreCase(a.App->Title, b.App->Title) < 0;
        });
    rows_.insert(at, row);
  }
  selected_ = rows_.empty() ? -1 : 0;
  for (const auto& app : setupData_.Applications) {
    if (app->Installed) continue;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].App == app.get()) selected_ = static_cast<int>(i);
    }
    break;
  }
  Click();
}

void TSetupWindowModel::Select(int row) {
  if (Running) return;
  if (row < -1 || row >= static_cast<int>(rows_.size())) return;
  selected_ = row;
  Click();
}

void TSetupWindowModel::SetChecked(int row, bool checked) {
  if (Running) return;
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[static_cast<std::size_t>(row)].Checked = checked;
  Click();
}

void TSetupWindowModel::Click() {
  // Continue's state does not depend on the directory, so it is settled even when the
  // directory of the selected row cannot be expanded.
  ContinueEnabled = std::any_of(rows_.begin(), rows_.end(), [](const TListRow& row) {
    return row.Checked != row.App->Installed;
  });
  if (selected_ < 0) return;
  const TListRow& row = rows_[static_cast<std::size_t>(selected_)];
  const std::string dir = row.App->GetInstallDir();
  DirectoryText = dir;
  if (dir.empty()) {
    DirectoryVisible = false;
  } else {
    DirectoryVisible = true;
    DirectoryButtonEnabled = row.Checked && !row.App->Installed && row.App->AllowCustomInstallDir;
  }
}

void TSetupWindowModel::DirectoryEditChange(std::string_view text) {
  if (selected_ < 0) return;
  setup::TSetupApplication& app = *rows_[static_cast<std::size_t>(selected_)].App;
  // The folder as the user gives it: never scanned for macros.
  app.InstallDir = std::string(text);
  app.InstallDirChosen = true;
  DirectoryText = std::string(text);
}

TSetupWindowModel::TBrowse TSetupWindowModel::BeginBrowse() {
  TBrowse browse;
  if (selected_ < 0) return browse;
  const std::string dir = rows_[static_cast<std::size_t>(selected_)].App->GetInstallDir();
  browse.Name = std::string(ExtractFileName(dir));
  browse.Parent = dir.substr(0, dir.size() - browse.Name.size());
  if (!browse.Parent.empty() && !DirExists(browse.Parent)) {
    ForceDirs(browse.Parent);
    browse.CreatedParent = true;
  }
  return browse;
}

void TSetupWindowModel::EndBrowse(const TBrowse& browse, const std::optional<std::string>& chosen) {
  if (selected_ >= 0 && chosen) {
    DirectoryEditChange(IncludeTrailingBackslash(*chosen) + browse.Name);
  }
  if (browse.CreatedParent) {
    std::string parent = browse.Parent;
    while (!parent.empty() && parent.back() == '\\') parent.pop_back();
    if (IsDirEmpty(parent)) platform::RemoveDirectory(parent);
  }
}

void TSetupWindowModel::Continue(const std::function<void()>& running) {
  if (Running) return;
  ContinueEnabled = false;
  CancelEnabled = false;
  DirectoryButtonEnabled = false;
  DirectoryEditReadOnly = true;
  Running = true;
  try {
    if (running) running();
    for (TListRow& row : rows_) row.App->Selected = row.Checked;
    setupData_.Execute();
  } catch (...) {
    RestoreAfterRun();
    throw;
  }
  RestoreAfterRun();
}

void TSetupWindowModel::RestoreAfterRun() {
  Running = false;
  ContinueEnabled = true;
  CancelEnabled = true;
  const bool custom = selected_ >= 0 && rows_[static_cast<std::size_t>(selected_)].Checked &&
                      rows_[static_cast<std::size_t>(selected_)].App->AllowCustomInstallDir;
  DirectoryButtonEnabled = custom;
  DirectoryEditReadOnly = !custom;
}

int FitListExtent(const std::vector<int>& rowTextWidths, int clientWidth) {
  int widest = 0;
  for (int width : rowTextWidths) widest = std::max(widest, width);
  const int extent = widest + 20;
  return clientWidth < extent ? extent : 0;
}

}  // namespace valise::ui
