#include <algorithm>
#include <filesystem>

#include "adb/description.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "run_program.h"
#include "test_support.h"

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

namespace {

void AddFolderToBag(BagWriter& bag, const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& file : files) {
    bag.AddData(Utf8Path(file.filename()), ReadHostFile(file));
  }
}

void AddTable(BagWriter& bag, const std::filesystem::path& description, const std::string& name) {
  const adb::TableBuilder table = adb::ParseDescription(ReadHostFile(description));
  bag.AddData(name + ".ADB", table.TableBytes());
  if (table.HasMemo()) bag.AddData(name + ".AMB", table.MemoBytes());
}

}  // namespace

void MakeDemoDist(const TempDir& dir, std::string_view sourceDir, std::string_view program) {
  const std::filesystem::path demo = HostPath(std::string(sourceDir) + "/demo");
  std::filesystem::create_directories(dir.host() / "dist");
  BagWriter bag;
  AddTable(bag, demo / "tables/_PRJ.txt", "_PRJ");
  AddTable(bag, demo / "tables/_TXT.txt", "_TXT");
  AddFolderToBag(bag, demo / "payload");
  bag.WriteStandalone(dir.win("dist/DEMO.BAG"));
  for (const char* edition : {"US", "UK"}) {
    BagWriter english;
    AddTable(english, demo / ("tables/_PRJ_" + std::string(edition) + ".txt"), "_PRJ");
    AddTable(english, demo / "tables/_TXT.txt", "_TXT");
    AddFolderToBag(english, demo / "payload-en");
    english.WriteStandalone(dir.win(std::string("dist/DEMO") + edition + ".BAG"));
  }
  std::filesystem::copy(demo / "files", dir.host() / "dist",
                        std::filesystem::copy_options::recursive);
  std::filesystem::copy_file(demo / "SETUP.inf", dir.host() / "dist" / "SETUP.inf");
  std::filesystem::copy_file(HostPath(program), dir.host() / "dist" / kSetupProgramName);
}

}  // namespace valise::testing
