// Debug output: lines sent to the "DBWin32-Handle" debug-output window on Windows, and to a log
// file when one is configured.
#pragma once

#include <string_view>

namespace valise::platform {

// Sends one line (ending in CR LF) to the debug-output window when one is present, and appends
// it to the log file when one is set, there after its local time in ISO 8601 with milliseconds
// and a space ("2026-12-09T14:40:21.123 "). Never fails.
void DebugOutput(std::string_view line);

// Sets the log file that receives every debug line from now on, opening it for appending (and
// creating it). Returns false (LastError set) when it cannot be opened, as when its folder is
// missing or the path names a folder: no log file is set then. Empty switches it off.
bool SetDebugLogFile(std::string_view path);

}  // namespace valise::platform
