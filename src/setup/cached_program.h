// The setup program kept for removal. When a run installs an application, a copy of the program
// (the program alone, never a baggage attached to it) and a small removal script that names the
// records key and the language and holds the window texts of the run (the copy has no baggage
// to take them from) stay in one folder per records key: below the user's local
// application data folder for records below HKEY_CURRENT_USER, below the common application data
// folder for records below another root. The uninstall entries' commands start that copy, so
// they work when the distribution folder is gone; the copy reads the removal script beside it as
// its default script. The run that removes the last application recorded below the records key
// deletes the folder too.
#pragma once

#include <string>
#include <string_view>

#include "course/languages.h"
#include "platform/registry.h"
#include "setup/window_texts.h"

namespace valise::setup {

inline constexpr std::string_view kCachedProgramName = "setup.exe";
inline constexpr std::string_view kCachedScriptName = "setup.inf";

// The folder kept for the records below `baseKey` of `root`: "<records key without its leading
// "Software\", its backslashes as spaces> Setup" below the application data folder of the root
// ("Software\Vantorel" of HKEY_CURRENT_USER: "<LocalAppData>\Vantorel Setup"). Empty when the
// system names no such folder.
std::string CachedProgramFolder(platform::RegRoot root, std::string_view baseKey);

// Copies the running program `program` into the folder (unless it runs from there) and writes
// the removal script with the window language and those of `texts` that are not missing, in
// UTF-16 so that texts of any language keep their characters; returns the copy's full path.
// Throws what fails.
std::string KeepCachedProgram(std::string_view program, platform::RegRoot root,
                              std::string_view baseKey, course::TLanguage language,
                              const TWindowTexts& texts);

// Deletes the folder with the program and the removal script in it. When the copy is the
// program that runs (`runningProgram`) and the system refuses to delete it, it is moved to the
// temporary folder and deleted there at the next restart where the account may ask for that.
// What stays is logged. Never throws.
void RemoveCachedProgram(platform::RegRoot root, std::string_view baseKey,
                         std::string_view runningProgram);

}  // namespace valise::setup
