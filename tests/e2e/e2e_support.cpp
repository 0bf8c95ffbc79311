#include <algorithm>

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

}  // namespace valise::testing
