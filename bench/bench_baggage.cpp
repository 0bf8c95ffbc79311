// Copying out of a baggage compared with `cp` of the same bytes on the same file system, and
// the copier's peak memory against the size of the entry. Builds its own payloads, runs A and B
// in pairs and prints medians and ratios (B time / A time: above 1 means the baggage is faster).
//
//   bench_baggage [work folder] [--rounds N] [--big-mib N]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "baggage/bag_stream.h"
#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "bench_common.h"
#include "platform/host_paths.h"
#include "platform/messages.h"

namespace fs = std::filesystem;
using namespace valise::bench;

namespace {

// Big outputs are removed right after their run: once several GiB of written files fill the
// page cache, every new page costs what the host charges for memory it took back, and later
// runs measure that instead of the copy.
double SecondsThenRemove(const std::function<void()>& work, const fs::path& output) {
  const double seconds = Seconds(work);
  fs::remove(output);
  return seconds;
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

std::string Quote(const fs::path& path) {
  return "'" + path.string() + "'";
}

std::string FakeProgram() {
  std::string bytes(4096, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  return bytes;
}

void SelectBaggage(const fs::path& program) {
  std::vector<std::string> params{valise::platform::ToWindowsPath(program.string())};
  valise::BagInit(params);
}

// Raw copies of one file, to choose between the two ways the kernel offers.
void CopyReadWrite(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> buffer(256 * 1024);  // the buffer BagCopyFile uses
  ssize_t n;
  while ((n = ::read(in, buffer.data(), buffer.size())) > 0) {
    if (::write(out, buffer.data(), n) != n) std::exit(1);
  }
  ::close(in);
  ::close(out);
}

void CopyFileRange(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  while (::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0) > 0) {
  }
  ::close(in);
  ::close(out);
}

// The peak resident memory of a child that copies one entry out (in KiB).
long ChildPeakKiB(const fs::path& program, const std::string& entry, const fs::path& target) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/proc/self/exe", "bench_baggage", "--child-copy", program.c_str(), entry.c_str(),
            target.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "child copy failed\n");
    std::exit(1);
  }
  return usage.ru_maxrss;
}

int ChildCopy(char** argv) {
  SelectBaggage(argv[2]);
  valise::BagCopyFile(argv[3], valise::platform::ToWindowsPath(argv[4]));
  valise::BagDone();
  return 0;
}

void PrintPair(const char* what, const char* a, const std::vector<double>& as, const char* b,
               const std::vector<double>& bs, double target) {
  const double ma = Median(as);
  const double mb = Median(bs);
  std::printf("%-44s %s %.3f s, %s %.3f s, ratio %.2f (target >= %.2f)%s\n", what, a, ma, b, mb,
              mb / ma, target, mb / ma >= target ? "" : "  BELOW TARGET");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "--child-copy") == 0) return ChildCopy(argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  fs::path work = fs::temp_directory_path() / "valise-bench-baggage";
  int rounds = 7;
  std::size_t bigMiB = 1024;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--big-mib") == 0 && i + 1 < argc) {
      bigMiB = static_cast<std::size_t>(std::atoll(argv[++i]));
    } else {
      work = argv[i];
    }
  }
  fs::remove_all(work);
  fs::create_directories(work);
  if (std::getenv("WINEPREFIX") == nullptr) {
    setenv("WINEPREFIX", (work / "prefix").c_str(), 1);
  }
  valise::platform::SetMainThread();
  std::mt19937_64 random(42);

  // Payloads: one big file, and 10,000 files of 1 to 64 KiB.
  std::printf("building payloads in %s ...\n", work.c_str());
  const fs::path big = work / "big.bin";
  WriteRandomFile(big, bigMiB << 20, random);
  const fs::path many = work / "many";
  fs::create_directories(many);
  std::vector<std::string> names;
  std::vector<fs::path> manyFiles;
  std::uniform_int_distribution<std::size_t> sizes(1024, 64 * 1024);
  for (int i = 0; i < 10000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%05d.DAT", i);
    names.push_back(name);
    manyFiles.push_back(many / name);
    WriteRandomFile(manyFiles.back(), sizes(random), random);
  }
  const std::string fake = FakeProgram();
  const fs::path plain = work / "plain.exe";
  {
    FILE* out = std::fopen(plain.c_str(), "wb");
    std::fwrite(fake.data(), 1, fake.size(), out);
    std::fclose(out);
  }
  const auto win = [](const fs::path& p) { return valise::platform::ToWindowsPath(p.string()); };
  const fs::path bigExe = work / "big.exe";
  {
    valise::BagWriter writer;
    writer.AddFile("BIG.BIN", win(big));
    writer.WriteAttached(win(plain), win(bigExe));
  }
  const fs::path manyExe = work / "many.exe";
  {
    valise::BagWriter writer;
    for (std::size_t i = 0; i < names.size(); ++i) writer.AddFile(names[i], win(manyFiles[i]));
    writer.WriteAttached(win(plain), win(manyExe));
  }
  // Old deletions slow down new files for a while (see the notes on measuring).
  std::printf("letting the file system settle ...\n");
  ::sync();
  ::sleep(75);

  // Each round runs both, alternating which goes first; every run starts with the sources in
  // the page cache and nothing left to write back.
  const auto paired = [&](const std::function<double(int)>& a, const std::function<double(int)>& b,
                          std::vector<double>& as,
                          std::vector<double>& bs) { Paired(rounds, a, b, as, bs); };
  const auto prepare = [&](std::size_t gib, const std::vector<fs::path>& sources) {
    TouchMemory(gib);
    ::sync();
    Warm(sources);
  };
  const auto numbered = [&](const char* stem, int r) {
    return work / (std::string(stem) + std::to_string(r));
  };

  // 0. copy_file_range against read/write with 256 KiB, on the big file.
  {
    std::vector<double> rw, cfr;
    paired(
        [&](int r) {
          prepare(2, {big});
          return SecondsThenRemove([&] { CopyReadWrite(big, numbered("rw-", r)); },
                                   numbered("rw-", r));
        },
        [&](int r) {
          prepare(2, {big});
          return SecondsThenRemove([&] { CopyFileRange(big, numbered("cfr-", r)); },
                                   numbered("cfr-", r));
        },
        rw, cfr);
    PrintPair("raw copy of the big file:", "read/write", rw, "copy_file_range", cfr, 0);
  }

  // 1. One big entry out of an attached baggage against `cp`.
  {
    SelectBaggage(bigExe);
    std::vector<double> bag, cp;
    paired(
        [&](int r) {
          prepare(2, {bigExe});
          const std::string target = win(numbered("bag-", r));
          return SecondsThenRemove([&] { valise::BagCopyFile("BIG.BIN", target); },
                                   numbered("bag-", r));
        },
        [&](int r) {
          prepare(2, {big});
          const std::string command = "cp " + Quote(big) + " " + Quote(numbered("cp-", r));
          return SecondsThenRemove([&] { Run(command); }, numbered("cp-", r));
        },
        bag, cp);
    valise::BagDone();
    char what[64];
    std::snprintf(what, sizeof what, "one %zu MiB entry:", bigMiB);
    PrintPair(what, "baggage", bag, "cp", cp, 0.9);
  }

  // 2. 10,000 entries into one folder against `cp -r`; every run writes a new folder, and the
  // trees are removed after the last round.
  {
    SelectBaggage(manyExe);
    std::vector<double> bag, cp;
    paired(
        [&](int r) {
          prepare(1, {manyExe});
          const fs::path tree = numbered("bagtree-", r);
          fs::create_directories(tree);
          const std::string target = win(tree) + "\\";
          return Seconds([&] {
            for (const std::string& name : names) valise::BagCopyFile(name, target);
          });
        },
        [&](int r) {
          prepare(1, manyFiles);
          const std::string command = "cp -r " + Quote(many) + " " + Quote(numbered("cptree-", r));
          return Seconds([&] { Run(command); });
        },
        bag, cp);
    valise::BagDone();
    PrintPair("10,000 entries of 1-64 KiB:", "baggage", bag, "cp -r", cp, 0.8);
    for (int r = 0; r < rounds; ++r) {
      fs::remove_all(numbered("bagtree-", r));
      fs::remove_all(numbered("cptree-", r));
    }
  }

  // 3. Peak memory of a copier process against the entry's size.
  {
    const long small = ChildPeakKiB(manyExe, "F00000.DAT", work / "small.out");
    const long large = ChildPeakKiB(bigExe, "BIG.BIN", work / "large.out");
    std::printf("peak memory copying a %zu-byte entry: %ld KiB; a %zu MiB entry: %ld KiB%s\n",
                static_cast<std::size_t>(fs::file_size(work / "small.out")), small, bigMiB, large,
                large > small + 4096 ? "  GROWS WITH THE ENTRY" : "");
  }
  fs::remove_all(work);
  return 0;
}
