#include <process.h>

#include "run_program.h"
#include "test_support.h"

namespace valise::testing {

namespace {

// One argument as the runtime of the started program splits it again.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      if (c == L'"') quoted.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    quoted += c;
  }
  quoted.append(backslashes, L'\\');
  return quoted + L"\"";
}

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& args) {
  const std::wstring path = HostPath(program).wstring();
  std::vector<std::wstring> quoted = {Quoted(path)};
  for (const std::string& arg : args) quoted.push_back(Quoted(HostPath(arg).wstring()));
  std::vector<const wchar_t*> argv;
  for (const std::wstring& arg : quoted) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  const intptr_t status = _wspawnv(_P_WAIT, path.c_str(), argv.data());
  return status < 0 ? -1 : static_cast<int>(status);
}

}  // namespace valise::testing
