// Loads the whole application-string table from a text pool of 20,000 records in two
// languages that lies in a baggage, as the setup does for each product, and prints the time
// and the number of bytes read from the baggage. The table is read unbuffered: opening reads
// the header and the field descriptors, each key probe only the key bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adb/adb_writer.h"
#include "adb/table.h"
#include "baggage/bag_stream.h"
#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "counting_stream.h"
#include "course/app_strings.h"
#include "course/textpool.h"
#include "platform/host_paths.h"
#include "platform/messages.h"

namespace {

using namespace valise;

class CountingTable : public adb::TATable {
 public:
  explicit CountingTable(bench::ReadCounts& counters) : counters_(counters) {}

 protected:
  std::unique_ptr<TStream> OpenStream(const std::string& path) override {
    return std::make_unique<bench::CountingStream>(adb::TATable::OpenStream(path), counters_);
  }

 private:
  bench::ReadCounts& counters_;
};

constexpr int kRecords = 20000;

// 10,000 text IDs in German and English: every application string and filler IDs around them.
std::string BuildTextpool() {
  std::vector<std::uint32_t> ids;
  for (const course::TAppString& row : course::AppStrings()) ids.push_back(row.id);
  for (std::uint32_t id = 100000; ids.size() < kRecords / 2; id += 37) {
    if (course::FindAppString(id) == nullptr) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  adb::TableBuilder builder;
  builder.AddField("ID", adb::ftInteger).AddField("LANGUAGE", adb::ftSmallInt);
  builder.AddField("TEXT", adb::ftString, 128).SetKeyFieldCount(2);
  for (std::uint32_t id : ids) {
    builder.AddRecord({static_cast<std::int64_t>(id), course::LANG_GERMAN,
                       "Deutscher Text Nummer " + std::to_string(id)});
    builder.AddRecord({static_cast<std::int64_t>(id), course::LANG_ENGLISH_UK,
                       "English text number " + std::to_string(id)});
  }
  return builder.TableBytes();
}

struct Run {
  double milliseconds;
  double cpuMilliseconds;
  bench::ReadCounts counters;
  std::size_t cached;
};

Run LoadOnce(course::TLanguage first, course::TLanguage second) {
  Run run{};
  course::TTextpoolInterface textpool(nullptr, std::make_unique<CountingTable>(run.counters));
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  textpool.Open(false);
  textpool.LoadAppStrings(first, second);
  textpool.Close();
  run.cpuMilliseconds = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  run.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  run.cached = textpool.Cache().size();
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  platform::SetMessageBoxHandler(
      [](std::string_view, std::string_view, platform::MessageIcon, platform::MessageButtons) {
        return platform::MessageResult::Yes;
      });
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("valise-bench-textpool-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  std::string bag = platform::ToWindowsPath((folder / "PRODUCT.KQD").string());
  BagWriter writer;
  writer.AddData("_TXT.ADB", BuildTextpool());
  writer.WriteStandalone(bag);
  std::vector<std::string> params{platform::ToWindowsPath((folder / "SETUP.EXE").string()),
                                  "/bag=" + bag};
  BagInit(params);

  // German found at once; French missing, so every string falls back to English.
  struct Case {
    const char* name;
    course::TLanguage first, second;
  } cases[] = {{"first language", course::LANG_GERMAN, course::LANG_ENGLISH_UK},
               {"fallback to second", course::LANG_FRENCH, course::LANG_ENGLISH_UK}};
  std::printf("text pool: %d records in two languages, %zu application strings, in a baggage\n",
              kRecords, course::AppStrings().size());
  LoadOnce(course::LANG_GERMAN, course::LANG_ENGLISH_UK);  // warm the page cache
  for (const Case& c : cases) {
    std::vector<double> times;
    std::vector<double> cpuTimes;
    Run last{};
    for (int round = 0; round < 51; ++round) {
      last = LoadOnce(c.first, c.second);
      times.push_back(last.milliseconds);
      cpuTimes.push_back(last.cpuMilliseconds);
    }
    std::printf(
        "%-20s open+load median %.3f ms (min %.3f, max %.3f; CPU median %.3f ms) over %zu runs; "
        "%lld bytes in %lld reads; %zu strings cached\n",
        c.name, Median(times), *std::min_element(times.begin(), times.end()),
        *std::max_element(times.begin(), times.end()), Median(cpuTimes), times.size(),
        static_cast<long long>(last.counters.bytes), static_cast<long long>(last.counters.reads),
        last.cached);
  }
  BagDone();
  std::filesystem::remove_all(folder);
  return 0;
}
