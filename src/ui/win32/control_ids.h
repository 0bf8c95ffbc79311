// The identifiers of the setup window's and the confirmation dialog's controls and their window
// classes. Tools that drive the window from outside (the automation test, accessibility tools)
// find the controls by these numbers.
#pragma once

namespace valise::ui::win32 {

// The setup window. Continue and Cancel carry the identifiers the dialog keys Enter and Escape
// stand for.
inline constexpr int kContinueButtonId = 1;
inline constexpr int kCancelButtonId = 2;
inline constexpr int kDescriptionLabelId = 100;
inline constexpr int kImage1Id = 101;
inline constexpr int kCheckListBox1Id = 102;
inline constexpr int kDirectoryPanelId = 103;
inline constexpr int kDirectoryLabelId = 104;
inline constexpr int kDirectoryEditId = 105;
inline constexpr int kDirectoryButtonId = 106;
inline constexpr int kProgressBarId = 107;

// The confirmation dialog: the buttons carry the answers they give.
inline constexpr int kButtonYesId = 6;
inline constexpr int kButtonNoId = 7;
inline constexpr int kLabelMessageId = 110;
inline constexpr int kImageId = 111;

inline constexpr const wchar_t* kMainFormClass = L"ValiseSetupWindow";
inline constexpr const wchar_t* kPanelClass = L"ValisePanel";
inline constexpr const wchar_t* kCancelDialogClass = L"ValiseConfirmDialog";

// A check list row's item data: bit 0 is its tick, bit 1 says its application comes from the
// script (drawn bold).
inline constexpr long long kRowChecked = 1;
inline constexpr long long kRowFromScript = 2;

// The resource of the setup program that holds the logo's small files collection.
inline constexpr const wchar_t* kLogoResource = L"VALISE_LOGO";

}  // namespace valise::ui::win32
