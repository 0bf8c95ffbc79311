// Commands of the Windows probe. Each probe_*.cpp file registers its commands with a static
// ProbeCommand; a command prints what the Windows API reports as UTF-8 on standard output and
// returns the exit code.
#pragma once

#include <string>
#include <vector>

using ProbeFunction = int (*)(const std::vector<std::wstring>& args);

struct ProbeCommand {
  ProbeCommand(const wchar_t* name, ProbeFunction run);
};

// UTF-8 <-> UTF-16 at the probe's boundary.
std::string ProbeUtf8(const std::wstring& text);
std::wstring ProbeWide(const std::string& text);
// Writes UTF-8 text to standard output unchanged.
void ProbePrint(const std::string& text);
