// The question before the setup window's Cancel ends the program: a small modal Yes/No dialog
// in the product's language that sizes itself to its texts, stays above every other window and
// can be closed only by one of its two buttons.
#pragma once

#include "setup/data_module.h"
#include "ui/win32/windows_ui.h"

namespace valise::ui::win32 {

// Shows the dialog with the setup object's texts while `disabled` (the setup window) is
// disabled; returns IDYES (6) or IDNO (7).
int ConfirmCancel(const setup::TSetupDataModule& setupData, HWND disabled);

}  // namespace valise::ui::win32
