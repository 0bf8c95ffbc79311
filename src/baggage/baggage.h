// The baggage: the payload archive that every installed file and the product's tables come
// from. There is one current baggage per process. It is attached to an executable (the DOS
// header points to it), kept in the executable's ".BAG" twin, or is a folder of loose files
// ("BAG\" beside the container by default) that a background reader lists.
//
// Paths are Windows paths in UTF-8. Every failure throws valise::Error with the message text.
// Everything here runs on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "baggage/bag_format.h"

namespace valise {

enum class TBagKind { Plain, Document, ScreenSaver };

// Closes the current baggage and selects and opens a new one from a parameter list (item 0 =
// the program's path; "/BAG=", "/BAGGAGE=" and a bare ".KQD" path select the baggage). The
// items are upper-cased in place and item 0 may be replaced.
void BagInit(std::vector<std::string>& params);
// Selects the baggage when the program starts: BagInit with `params`, the program's path and
// its command-line parameters. Nothing when it worked; otherwise the failure's message, which
// the program entry shows in a message box captioned kBagStartupCaption with an error icon
// before it ends at once.
std::optional<std::string> BagStartupError(std::vector<std::string> params);
inline constexpr const char* kBagStartupCaption = "Baggage";
// BagStartupError with the failure shown in that box here; false tells the caller to end the
// program at once. For program entries that leave the box to the baggage.
bool BagStartup(std::vector<std::string> params);
// Stops the reader, closes every open entry and empties the directory.
void BagDone();

// True in container mode (attached or external baggage), false for loose files.
bool BagHasContainer();
// The index of the entry of that name in BagEntries(), or -1. Names are compared by their
// first 12 characters without regard to case.
int BagFindEntry(std::string_view name);
// Whether the path's file-name part is an entry (in loose-file mode also: a file of that name
// in the loose-file folder, or at the path itself).
bool BagFileExists(std::string_view path);
// The entry's size, or 0 when there is none; the name is looked up as given.
std::uint32_t BagFileSize(std::string_view name);
// The loose-file folder, ending in "\".
std::string BagDirectory();
// The file that holds the entries' data (the container or its ".BAG" twin).
std::string BagExeName();
// The path under which BagFileOpen opens the name.
std::string BagFileName(std::string_view path);
// Whether the file carries a valid baggage; changes nothing of the current one.
bool BagIsContainerFile(std::string_view path);

// The module's state, for the rest of the system and for tests.
const std::vector<TBagEntry>& BagEntries();
std::string BagContainerPath();
TBagKind BagContainerKind();
bool BagIsExternal();
bool BagIsExplicit();
// Loose-file mode: the background listing has been handed over (or the reader was stopped).
bool BagIsDirComplete();

}  // namespace valise
