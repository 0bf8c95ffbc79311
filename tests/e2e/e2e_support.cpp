#include <algorithm>
#include <filesystem>

#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "run_program.h"

namespace valise::testing {

std::vector<std::string> SortedValues(const std::string& path) {
  std::vector<std::string> lines;
  const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, path);
  if (!key) return lines;
  for (const std::string& name : key->ValueNames()) {
    const auto value = key->Read(name);
    lines.push_back(
        name + "=" +
        (value->type == platform::RegType::DWord ? std::to_string(value->number) : value->text));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

void AddProductTables(BagWriter& writer, std::string_view productCode) {
  std::vector<course::testing::Column> columns = course::testing::With(
      course::testing::StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, "2"});
  if (!productCode.empty()) {
    columns = course::testing::With(columns,
                                    {"PRODUCTCODE", adb::ftString, 21, std::string(productCode)});
  }
  auto project = course::testing::ProjectTable(columns);
  writer.AddData("_PRJ.ADB", project.TableBytes());
  writer.AddData("_PRJ.AMB", project.MemoBytes());
  std::vector<course::testing::TextRow> rows;
  for (std::uint32_t id : course::kWindowTextIds) {
    rows.emplace_back(id, course::LANG_ENGLISH_US, "text " + std::to_string(id));
  }
  writer.AddData("_TXT.ADB", course::testing::TextpoolTable(rows).TableBytes());
}

void WriteDamagedBaggage(BagWriter writer, const TempDir& dir, std::string_view name,
                         const std::vector<std::pair<std::string, std::string>>& damaged) {
  writer.SetSorted(false);  // the data follows in the order the entries were added
  std::uintmax_t cut = 0;
  for (const auto& [entry, data] : damaged) {
    writer.AddData(entry, data);
    cut += data.size();
  }
  writer.WriteStandalone(dir.win(name));
  const std::filesystem::path file = dir.host() / HostPath(name);
  if (cut > 0) std::filesystem::resize_file(file, std::filesystem::file_size(file) - cut + 1);
}

}  // namespace valise::testing
