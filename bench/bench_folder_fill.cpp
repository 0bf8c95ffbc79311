// Filling one folder with 10,000 files through the posix backend (Windows paths, names matched
// without regard to case) against plain open/write/close of host paths. Runs are paired and
// each writes into a new folder; the medians and their ratio are printed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host_paths.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using valise::platform::File;

int kFiles = 10000;
int kRounds = 6;
const std::string kData(1024, 'd');

std::string Name(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "File%05d.dat", i);
  return name;
}

double Plain(const fs::path& folder) {
  const auto start = Clock::now();
  fs::create_directory(folder);
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = (folder / Name(i)).string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::write(fd, kData.data(), kData.size()) != static_cast<ssize_t>(kData.size())) {
      std::perror("plain write");
      std::exit(1);
    }
    ::close(fd);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each file is created under its Windows name and then looked up again; with `upperCase` every
// component is spelled in capitals, so that no exact spelling exists and every name is matched
// through the folder's remembered names.
double Backend(const fs::path& folder, bool upperCase) {
  const auto start = Clock::now();
  std::string win = valise::platform::ToWindowsPath(folder.string());
  if (upperCase) std::transform(win.begin(), win.end(), win.begin(), ::toupper);
  if (!valise::platform::CreateDirectory(win)) {
    std::fprintf(stderr, "cannot create %s\n", win.c_str());
    std::exit(1);
  }
  for (int i = 0; i < kFiles; ++i) {
    std::string path = win + "\\" + Name(i);
    if (upperCase) std::transform(path.begin(), path.end(), path.begin(), ::toupper);
    auto file = File::Create(path);
    if (!file) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      std::exit(1);
    }
    file->Write(kData.data(), kData.size());
    file.reset();
    if (!valise::platform::GetFileAttributes(path)) {
      std::fprintf(stderr, "lost %s\n", path.c_str());
      std::exit(1);
    }
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

// Arguments: the number of files per folder and of rounds (10000 and 6 unless given).
int main(int argc, char** argv) {
  if (argc > 1) kFiles = std::max(1, std::atoi(argv[1]));
  if (argc > 2) kRounds = std::max(1, std::atoi(argv[2]));
  const fs::path base =
      fs::temp_directory_path() / ("valise-bench-fill-" + std::to_string(::getpid()));
  fs::create_directories(base);
  if (std::getenv("WINEPREFIX") == nullptr) {
    ::setenv("WINEPREFIX", (base / "prefix").c_str(), 1);
  }
  std::vector<double> plain;
  std::vector<double> exact;
  std::vector<double> upper;
  // Creating files gets slower as the file system collects freshly freed inodes, so the order
  // of the three runs turns with every round and each variant runs first, second and third
  // equally often.
  for (int round = 0; round < kRounds; ++round) {
    const std::string tag = std::to_string(round);
    for (int step = 0; step < 3; ++step) {
      switch ((round + step) % 3) {
        case 0:
          plain.push_back(Plain(base / ("plain" + tag)));
          break;
        case 1:
          exact.push_back(Backend(base / ("exact" + tag), false));
          break;
        default:
          upper.push_back(Backend(base / ("upper" + tag), true));
          break;
      }
    }
  }
  const double plainMedian = Median(plain);
  const double exactMedian = Median(exact);
  const double upperMedian = Median(upper);
  std::printf("files per folder: %d of %zu bytes, %d rounds in turning order, medians\n", kFiles,
              kData.size(), kRounds);
  std::printf("plain open/write/close:                 %.3f s\n", plainMedian);
  std::printf("backend Create+lookup, exact case:      %.3f s  (%.2fx plain)\n", exactMedian,
              exactMedian / plainMedian);
  std::printf("backend Create+lookup, other case:      %.3f s  (%.2fx plain)\n", upperMedian,
              upperMedian / plainMedian);
  const auto start = Clock::now();
  fs::remove_all(base);
  std::printf("removing all trees:                     %.3f s\n",
              std::chrono::duration<double>(Clock::now() - start).count());
  return 0;
}
