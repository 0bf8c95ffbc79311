// Starting a program and waiting for its exit code, for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace valise::testing {

// Runs the program (a host path) with the arguments and returns its exit code; -1 when it
// could not be started or did not end normally.
int RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace valise::testing
