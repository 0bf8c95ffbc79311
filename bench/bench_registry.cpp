// The posix registry on a hive of a real prefix's size: reading and writing the file, opening
// keys through the cache, and storing one key with many values, as an installer does.
//
//   bench_registry [system.reg of a Wine prefix] [--rounds N] [--values N]
//
// Without a file it makes a hive of about the size of a fresh Wine prefix's system.reg.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/wine_registry_file.h"
#include "platform/registry.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using valise::platform::RegKey;
using valise::platform::RegRoot;
using valise::platform::posix::WineRegistryFile;

namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// About 8,000 keys with 40,000 values in 1.7 MB, shaped like Wine's system.reg.
std::string SyntheticHive() {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
  char line[256];
  for (int a = 0; a < 80; ++a) {
    for (int b = 0; b < 100; ++b) {
      std::snprintf(line, sizeof line,
                    "\n[Software\\\\Classes\\\\CLSID\\\\{%08X-0000-0000-C000-%012d}\\\\Sub%d] "
                    "1796746126\n#time=1dd872e672a7ffa\n",
                    a, b, b % 3);
      text += line;
      for (int v = 0; v < 5; ++v) {
        std::snprintf(line, sizeof line, "\"Value%d\"=\"C:\\\\windows\\\\system32\\\\lib%d.dll\"\n",
                      v, a * b);
        text += line;
      }
    }
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source;
  int rounds = 7;
  int values = 5000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--values") == 0 && i + 1 < argc) {
      values = std::atoi(argv[++i]);
    } else {
      source = argv[i];
    }
  }
  std::string bytes;
  if (source.empty()) {
    bytes = SyntheticHive();
  } else {
    std::ifstream in(source, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    bytes = all.str();
  }
  std::printf("hive: %.2f MB\n", static_cast<double>(bytes.size()) / 1e6);

  std::vector<double> parse, serialize;
  for (int r = 0; r < rounds; ++r) {
    std::string out;
    parse.push_back(Seconds([&] {
      const auto file = WineRegistryFile::Parse(bytes, "bench.reg");
      serialize.push_back(Seconds([&] { out = file.Serialize(); }));
    }));
    if (out != bytes) std::printf("round trip changed the bytes\n");
  }
  std::printf("parse + serialize: median %.1f ms (serialize alone %.1f ms)\n", Median(parse) * 1000,
              Median(serialize) * 1000);

  const fs::path prefix =
      fs::temp_directory_path() / ("valise-bench-registry-" + std::to_string(::getpid()));
  fs::create_directories(prefix);
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  std::vector<double> open, store, reopen, readBack;
  for (int r = 0; r < rounds; ++r) {
    {
      std::ofstream out(prefix / "system.reg", std::ios::binary);
      out << bytes;
    }
    // The first open reads the file; later ones come from the cache.
    open.push_back(Seconds([] { RegKey::Open(RegRoot::LocalMachine, "Software\\Classes"); }));
    reopen.push_back(Seconds([] {
                       for (int i = 0; i < 100; ++i)
                         RegKey::Open(RegRoot::LocalMachine, "Software\\Classes");
                     }) /
                     100);
    store.push_back(Seconds([&] {
      RegKey key = RegKey::Create(RegRoot::LocalMachine, "Software\\Vantorel\\Bench");
      for (int i = 0; i < values; ++i) {
        key.WriteString("FileGroup1File" + std::to_string(i), "file" + std::to_string(i) + ".dat");
      }
      key.Close();
    }));
    readBack.push_back(Seconds([&] {
      const auto key = RegKey::Open(RegRoot::LocalMachine, "Software\\Vantorel\\Bench");
      for (int i = 0; i < values; ++i) {
        if (!key->Read("FileGroup1File" + std::to_string(i))) std::printf("value missing\n");
      }
    }));
  }
  std::printf("first open of a key: median %.1f ms; later opens %.3f ms\n", Median(open) * 1000,
              Median(reopen) * 1000);
  std::printf("one key with %d values written and stored: median %.1f ms\n", values,
              Median(store) * 1000);
  std::printf("the same %d values read back one by one: median %.1f ms\n", values,
              Median(readBack) * 1000);
  fs::remove_all(prefix);
  return 0;
}
