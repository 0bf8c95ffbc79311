// The application-string table: the user-interface strings the programs of a product take from
// its text pool, each a numeric text ID with a readable identifier.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace valise::course {

struct TAppString {
  std::uint32_t id;
  const char* identifier;
};

// Every row, in ascending order of text ID.
std::span<const TAppString> AppStrings();

// The row of a text ID, or nullptr when the ID is not in the table.
const TAppString* FindAppString(std::uint32_t id);

// The text IDs the setup asks for.
namespace textid {
inline constexpr std::uint32_t MsgMultipleInstance = 277037;
inline constexpr std::uint32_t MsgInstall = 277040;
inline constexpr std::uint32_t ButtonCancel = 295279;
inline constexpr std::uint32_t ButtonContinue = 295280;
inline constexpr std::uint32_t SYesButtonCaption = 388520;
inline constexpr std::uint32_t SNoButtonCaption = 388521;
inline constexpr std::uint32_t LabelDirectory = 388811;
inline constexpr std::uint32_t MsgCaptionInformation = 388815;
inline constexpr std::uint32_t MsgCaptionError = 388816;
inline constexpr std::uint32_t MsgCaptionConfirmation = 388817;
inline constexpr std::uint32_t MsgCaptionWarning = 388818;
inline constexpr std::uint32_t SConfirmCancel = 389536;
inline constexpr std::uint32_t SOutOfDiskSpace = 389537;
inline constexpr std::uint32_t SSetupCompleted = 389553;
inline constexpr std::uint32_t SLanguage = 389555;
inline constexpr std::uint32_t MenuEmpty = 389557;
}  // namespace textid

// The eleven texts an application of the setup takes from its product's text pool, in the
// order the setup keeps them.
inline constexpr std::array<std::uint32_t, 11> kWindowTextIds = {
    textid::ButtonCancel,      textid::ButtonContinue,    textid::MsgCaptionInformation,
    textid::MsgCaptionWarning, textid::SConfirmCancel,    textid::MsgInstall,
    textid::LabelDirectory,    textid::SNoButtonCaption,  textid::SOutOfDiskSpace,
    textid::SSetupCompleted,   textid::SYesButtonCaption,
};

}  // namespace valise::course
