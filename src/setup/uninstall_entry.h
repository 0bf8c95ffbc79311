// The entry of an installed application in the system's list of installed programs: a key named
// after the application's record (its "AltRegKey" or its record key) below
// "Software\Microsoft\Windows\CurrentVersion\Uninstall" of the records' root. It stands beside
// the record, which it never changes: the install writes it right after the record's first
// values, so that an install that did not finish can be removed too, and the removal deletes it
// with the record.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace valise::setup {

class TSetupApplication;
struct TPlannedApplication;

inline constexpr std::string_view kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// What the entries a run writes share.
struct TUninstallOwner {
  // "Publisher" of the script's globals; empty: the entry names none.
  std::string Publisher;
  // The full path of the program that the entry's commands start.
  std::string Program;
};

// The entry's key below its root.
std::string UninstallEntryPath(std::string_view recordName);
// The commands that remove the application of that record: through the window, and silently.
std::string UninstallCommand(std::string_view program, std::string_view recordName);
std::string QuietUninstallCommand(std::string_view program, std::string_view recordName);

// Writes the entry of an application that is being installed as planned, below `root`: its
// title, version, publisher, folder, date, the size of its files, and the commands that remove
// it. Throws OSError when the entry cannot be written.
void WriteUninstallEntry(const TSetupApplication& app, const TPlannedApplication& planned,
                         platform::RegRoot root, const TUninstallOwner& owner);

// Whether this program's entry of that record stands below either root: the application is
// installed, with its record below some records key.
bool HasUninstallEntry(std::string_view recordName);

// Deletes the entry of that record below `root`, when it is one this program wrote (its silent
// command removes that record); an entry of another program of the same name stays. True when
// no entry of that record is left; a failure is logged. Never throws.
bool DeleteUninstallEntry(platform::RegRoot root, std::string_view recordName);

}  // namespace valise::setup
