// Key lookups on a text-pool sized table read from the disk: what opening and a FindKey read
// (bytes and read calls), and the time of the text pool's load pattern (two FindKey per string,
// then the text) unbuffered against a baseline that reads the whole record area first.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adb/adb_writer.h"
#include "adb/table.h"
#include "counting_stream.h"
#include "platform/host_paths.h"

namespace {

using namespace valise;
using namespace valise::adb;

class CountingTable : public TATable {
 public:
  bench::ReadCounts counts;

 protected:
  std::unique_ptr<TStream> OpenStream(const std::string& path) override {
    return std::make_unique<bench::CountingStream>(TATable::OpenStream(path), counts);
  }
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  constexpr int kIds = 10000;
  constexpr int kLanguages = 4;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("valise-bench-adb-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  const std::string path = platform::ToWindowsPath((folder / "_TXT.ADB").string());

  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("LANG", ftSmallInt).AddField("TEXT", ftString, 120);
  builder.SetKeyFieldCount(2);
  for (int id = 0; id < kIds; ++id) {
    for (int lang = 1; lang <= kLanguages; ++lang) {
      builder.AddRecord({100000 + id * 3, lang, "text of string " + std::to_string(id)});
    }
  }
  builder.WriteFiles(path);
  std::printf("table: %d records of %d bytes (%.1f MB)\n", kIds * kLanguages, builder.RecordSize(),
              builder.TableBytes().size() / 1e6);

  auto openTable = [&](CountingTable& table, bool getAll) {
    table.SetExternalTable(true);
    table.SetTableName(path);
    table.SetGetAll(getAll);
    table.SetAllBufMaxSize(getAll ? 0x7FFFFFFF : 65520);
    table.Open();
  };

  {
    CountingTable table;
    openTable(table, false);
    std::printf("open: %lld reads, %lld bytes\n", static_cast<long long>(table.counts.reads),
                static_cast<long long>(table.counts.bytes));
    const bench::ReadCounts before = table.counts;
    table.FindKey({100000 + 5000 * 3, 2});
    std::printf("one FindKey: %lld reads, %lld bytes (key %d bytes, record %d bytes)\n",
                static_cast<long long>(table.counts.reads - before.reads),
                static_cast<long long>(table.counts.bytes - before.bytes), table.KeyLength(),
                table.RecordSize());
  }

  // The text pool's pattern: 300 strings, first language missing for a third of them.
  auto loadPattern = [&](bool getAll) {
    CountingTable table;
    const auto start = std::chrono::steady_clock::now();
    openTable(table, getAll);
    std::size_t total = 0;
    for (int i = 0; i < 300; ++i) {
      const int id = 100000 + (i * 31 % kIds) * 3 + (i % 3 == 0 ? 1 : 0);
      if (table.FindKey({id, 2}) || table.FindKey({id, 1})) {
        total += table.FieldByName("TEXT").AsString().size();
      }
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    return std::make_pair(seconds, total);
  };
  std::vector<double> unbuffered, buffered;
  for (int round = 0; round < 7; ++round) {
    unbuffered.push_back(loadPattern(false).first);
    buffered.push_back(loadPattern(true).first);
  }
  std::printf("300 strings, unbuffered: median %.3f ms\n", Median(unbuffered) * 1e3);
  std::printf("300 strings, whole table read first: median %.3f ms (ratio %.1f)\n",
              Median(buffered) * 1e3, Median(buffered) / Median(unbuffered));
  std::filesystem::remove_all(folder);
  return 0;
}
