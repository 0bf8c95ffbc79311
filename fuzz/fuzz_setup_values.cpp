// Feeds arbitrary script values to the setup's readers of them: directory macros and
// application references (with applications whose own values refer to each other), hot-key
// texts, script integers, record key names and the out-of-space format.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "setup/data_module.h"
#include "util/integers.h"

namespace {

using namespace valise::setup;

// Splits the input at its first three line feeds: the values of two applications and the text
// to expand; what follows is the rest.
std::string_view NextLine(std::string_view& bytes) {
  const std::size_t end = bytes.find('\n');
  std::string_view line = bytes.substr(0, end);
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Only values without macros are expanded: the fuzzer's input must not reach the registry or
  // the file system through the system folders.
  const bool withoutMacros = bytes.find('<') == std::string_view::npos;
  TSetupUI ui;
  TSetupDataModule setupData(ui, "C:\\Dist\\SETUP.EXE", {});
  for (int n = 1; n <= 2; ++n) {
    auto app = std::make_unique<TSetupApplication>();
    app->ScriptIndex = n;
    app->InstallDir = std::string(NextLine(bytes));
    app->Title = app->InstallDir;
    auto group = std::make_unique<TSetupFileGroup>();
    group->DestDir = app->InstallDir;
    app->FileGroups.push_back(std::move(group));
    app->OnExpand = [&setupData](std::string& text) { setupData.ExpandDirMacros(text); };
    setupData.Applications.push_back(std::move(app));
  }
  const std::string_view line = NextLine(bytes);
  if (withoutMacros) {
    std::string text(line);
    try {
      setupData.ExpandDirMacros(text);
    } catch (const valise::Error&) {
    }
  }
  (void)TextToShortCut(bytes);
  std::int32_t number = 0;
  (void)valise::TryStrToInt(bytes, number);
  std::string code;
  std::int32_t version = 0;
  std::int32_t id = 0;
  (void)ParseRecordKey(bytes, code, version, id);
  (void)FormatWithDrive(bytes, 'C');
  return 0;
}
