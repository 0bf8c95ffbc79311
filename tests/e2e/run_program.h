// Starting a program and waiting for its exit code, and what the end-to-end tests share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "baggage/bag_writer.h"
#include "test_support.h"

namespace valise::testing {

// Runs the program (a host path) with the arguments and returns its exit code; -1 when it
// could not be started or did not end normally.
int RunProgram(const std::string& program, const std::vector<std::string>& args);

// The setup program's file name in a scenario folder.
#ifdef _WIN32
inline constexpr const char* kSetupProgramName = "SETUP.EXE";
#else
inline constexpr const char* kSetupProgramName = "SETUP";
#endif

// The values of a key below HKEY_CURRENT_USER as sorted "name=value" lines (numbers in
// decimal); the registry lists values in its own order, which differs between Windows and Wine.
// Empty when the key does not exist.
std::vector<std::string> SortedValues(const std::string& path);

// Adds a product's tables to a baggage: the standard project table translated into US English
// (with `productCode` when one is given) and a text pool with an English text for every window
// text.
void AddProductTables(BagWriter& writer, std::string_view productCode = {});

// Writes the stand-alone baggage `name` in `dir` with the `damaged` entries after the others
// and the file cut short one byte into their data: they are listed, and reading them fails.
void WriteDamagedBaggage(BagWriter writer, const TempDir& dir, std::string_view name,
                         const std::vector<std::pair<std::string, std::string>>& damaged);

// Makes the demo product's distribution folder "dist" below `dir` as its build does: the
// baggages from the tables and payloads of demo/ below `sourceDir`, the loose files, the script,
// and the setup program `program` as kSetupProgramName.
void MakeDemoDist(const TempDir& dir, std::string_view sourceDir, std::string_view program);

}  // namespace valise::testing
