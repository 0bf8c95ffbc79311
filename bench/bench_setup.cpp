// The `setup` program against the shell's tools: a silent install of 10,000 files (about 300 MiB)
// out of a baggage against `cp -r` of the same files, the silent removal against `rm -rf`; one
// run that installs 2,000 small applications, and the start-up of a run that has nothing to do
// with 50 applications in its script and those 2,000 installation records. Builds its own payload,
// runs A and B in pairs and prints medians and ratios (B time / A time: above 1 means setup is
// faster).
//
//   bench_setup [work folder] [--rounds N] [--starts N] [--settle SECONDS] [--setup PATH]
//
// Each install round writes into a prefix of its own, created beforehand by an untimed run, so
// that every round finds the same records. Removal waits 500 ms after each directory it removes
// (a fixed wait by design); its ratio leaves those waits out and prints them apart.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "baggage/bag_writer.h"
#include "bench_common.h"
#include "platform/host_paths.h"

#ifndef VALISE_SETUP_PROGRAM
#define VALISE_SETUP_PROGRAM "setup"
#endif

extern char** environ;

namespace fs = std::filesystem;
using namespace valise::bench;

namespace {

constexpr int kFiles = 10000;
constexpr int kRecords = 2000;
constexpr int kStartApps = 50;
constexpr int kFilesPerRecord = 5;
constexpr double kDirectoryWait = 0.5;

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "bench_setup: %s\n", text.c_str());
  std::exit(1);
}

// Runs a program with WINEPREFIX naming the prefix (when one is given) and returns its wall
// time; any exit code but 0 ends the benchmark.
double RunProgram(const std::vector<std::string>& args, const fs::path& prefix = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "WINEPREFIX=", 11) != 0) env.emplace_back(*e);
  }
  if (!prefix.empty()) env.push_back("WINEPREFIX=" + prefix.string());
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  int status = 0;
  const double seconds = Seconds([&] {
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
      Fail("cannot start " + args[0]);
    }
    ::waitpid(child, &status, 0);
  });
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    Fail("failed (status " + std::to_string(status) + "): " + line);
  }
  return seconds;
}

std::string Win(const fs::path& path) {
  return valise::platform::ToWindowsPath(path.string());
}

struct Group {
  std::string destDir;
  std::vector<std::string> members;
};

struct App {
  std::string code;
  std::vector<Group> groups;
};

void WriteScript(const fs::path& path, const std::vector<App>& apps) {
  std::ofstream out(path, std::ios::binary);
  for (std::size_t a = 0; a < apps.size(); ++a) {
    const std::string section = "Application" + std::to_string(a + 1);
    out << "[" << section << "]\r\nTitle=Bench " << apps[a].code
        << "\r\nProductCode=" << apps[a].code << "\r\nVersion=1\r\nProductID=1\r\n";
    for (std::size_t g = 0; g < apps[a].groups.size(); ++g) {
      out << "[" << section << ".FileGroup" << g + 1 << "]\r\nDestDir=" << apps[a].groups[g].destDir
          << "\r\n";
      const auto& members = apps[a].groups[g].members;
      for (std::size_t i = 0; i < members.size(); ++i) {
        out << "FileSpec" << i + 1 << "=@" << members[i] << "\r\n";
      }
    }
  }
  if (!out) Fail("cannot write " + path.string());
}

// The number of files and their bytes below a folder.
std::pair<std::size_t, std::uintmax_t> CountTree(const fs::path& dir) {
  std::size_t files = 0;
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    bytes += entry.file_size();
  }
  return {files, bytes};
}

void PrintPair(const char* what, const char* a, double ma, const char* b, double mb,
               const char* target, double least) {
  std::printf("%-36s %-8s %.3f s   %-7s %.3f s   ratio %.2f  (target %s)%s\n", what, a, ma, b, mb,
              mb / ma, target, mb / ma >= least ? "" : "  BELOW TARGET");
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  fs::path work = fs::temp_directory_path() / "valise-bench-setup";
  fs::path program = VALISE_SETUP_PROGRAM;
  int rounds = 7;
  int starts = 15;
  int settle = 75;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--starts") == 0 && i + 1 < argc) {
      starts = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--settle") == 0 && i + 1 < argc) {
      settle = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--setup") == 0 && i + 1 < argc) {
      program = argv[++i];
    } else {
      work = argv[i];
    }
  }
  if (rounds < 1 || starts < 1) Fail("--rounds and --starts take a positive count");
  work = fs::absolute(work);
  fs::remove_all(work);
  fs::create_directories(work);
  // The tools below see host paths through a prefix of their own.
  setenv("WINEPREFIX", (work / "tool-prefix").c_str(), 1);

  // The payload: 10,000 files of 1 to 64 KiB, staged in one folder for `cp -r`, and the same
  // files as entries of a baggage attached to a stand-in program (the native `setup` is no
  // Windows program and cannot carry one itself, so it is named with "/bag="). Five tiny entries
  // serve the many small applications of the start-up test.
  std::printf("building the payload in %s ...\n", work.c_str());
  std::mt19937_64 random(7);
  const fs::path stage = work / "stage";
  const fs::path prog = work / "prog";
  fs::create_directories(stage);
  fs::create_directories(prog);
  std::vector<std::string> names;
  std::vector<fs::path> stageFiles;
  std::uniform_int_distribution<std::size_t> sizes(1024, 64 * 1024);
  for (int i = 0; i < kFiles; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%05d.DAT", i);
    names.push_back(name);
    stageFiles.push_back(stage / name);
    WriteRandomFile(stageFiles.back(), sizes(random), random);
  }
  const fs::path tiny = work / "tiny";
  fs::create_directories(tiny);
  std::vector<std::string> tinyNames;
  for (int i = 1; i <= kFilesPerRecord; ++i) {
    tinyNames.push_back("T" + std::to_string(i) + ".DAT");
    WriteRandomFile(tiny / tinyNames.back(), 200, random);
  }
  const fs::path stub = work / "stub.exe";
  {
    std::string bytes(4096, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::ofstream(stub, std::ios::binary).write(bytes.data(), bytes.size());
  }
  const fs::path payload = prog / "payload.exe";
  {
    valise::BagWriter writer;
    for (std::size_t i = 0; i < names.size(); ++i) writer.AddFile(names[i], Win(stageFiles[i]));
    for (const std::string& name : tinyNames) writer.AddFile(name, Win(tiny / name));
    writer.WriteAttached(Win(stub), Win(payload));
  }
  const fs::path setup = prog / "setup";
  fs::copy_file(program, setup);
  const std::string bagSwitch = "/bag=" + Win(payload);
  const auto setupArgs = [&](const fs::path& script) {
    return std::vector<std::string>{setup.string(), "/silent", "/nomsg", "/inf=" + Win(script),
                                    bagSwitch};
  };

  // One prefix per round, each made by an untimed run that installs one small application.
  const fs::path warmScript = prog / "warm.inf";
  WriteScript(warmScript, {{"WARM", {{"C:\\warm", {tinyNames[0]}}}}});
  std::vector<fs::path> prefixes;
  for (int r = 0; r < rounds; ++r) {
    prefixes.push_back(work / ("prefix-" + std::to_string(r)));
    RunProgram(setupArgs(warmScript), prefixes.back());
    fs::create_directories(prefixes.back() / "drive_c" / "bench");
    const fs::path script = prog / ("run" + std::to_string(r) + ".inf");
    WriteScript(script, {{"BENCH" + std::to_string(r), {{"C:\\bench\\setup", names}}}});
  }

  // Old deletions slow down new files for a while (see the notes on measuring).
  std::printf("letting the file system settle ...\n");
  ::sync();
  ::sleep(static_cast<unsigned>(settle));

  const auto prepare = [&](const std::vector<fs::path>& sources) {
    TouchMemory(1);
    ::sync();
    Warm(sources);
  };

  // 1. One run that installs 2,000 applications of five tiny files each, timed before anything
  // is deleted (the removals below slow the creation of new files down for minutes). Its
  // records serve the start-up test.
  const fs::path startPrefix = work / "prefix-start";
  std::vector<App> apps;
  for (int i = 0; i < kRecords; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "S%04d", i);
    apps.push_back({code, {{"C:\\start\\" + std::string(code), tinyNames}}});
  }
  const fs::path recordsScript = prog / "records.inf";
  WriteScript(recordsScript, apps);
  prepare({payload, setup});
  const double recordsRun = RunProgram(setupArgs(recordsScript), startPrefix);

  // 2. Install against `cp -r`, each run into a new folder.
  std::vector<double> install, copy;
  Paired(
      rounds,
      [&](int r) {
        prepare({payload, setup});
        return RunProgram(setupArgs(prog / ("run" + std::to_string(r) + ".inf")), prefixes[r]);
      },
      [&](int r) {
        prepare(stageFiles);
        const fs::path target = prefixes[r] / "drive_c" / "bench" / "cp";
        return RunProgram({"cp", "-r", stage.string(), target.string()});
      },
      install, copy);
  const auto expected = CountTree(stage);
  for (int r = 0; r < rounds; ++r) {
    for (const char* tree : {"setup", "cp"}) {
      if (CountTree(prefixes[r] / "drive_c" / "bench" / tree) != expected) {
        Fail(std::string("round ") + std::to_string(r) + ": the " + tree + " tree is incomplete");
      }
    }
  }

  // 3. Removal against `rm -rf` of the trees just written.
  std::vector<double> removal, erase;
  Paired(
      rounds,
      [&](int r) {
        prepare({setup});
        std::vector<std::string> args = setupArgs(prog / ("run" + std::to_string(r) + ".inf"));
        args.push_back("/remove=BENCH" + std::to_string(r) + "_1_1");
        return RunProgram(args, prefixes[r]);
      },
      [&](int r) {
        prepare({});
        return RunProgram({"rm", "-rf", (prefixes[r] / "drive_c" / "bench" / "cp").string()});
      },
      removal, erase);
  for (int r = 0; r < rounds; ++r) {
    if (fs::exists(prefixes[r] / "drive_c" / "bench" / "setup")) {
      Fail("round " + std::to_string(r) + ": the removal left its folder");
    }
  }
  const double removalMedian = Median(removal);
  // One directory removed per run, each followed by its fixed wait.
  const double waits = kDirectoryWait;

  // 4. Start-up with the 2,000 records made at the start: a script of 50 of those applications,
  // so that the timed runs have nothing to do.
  apps.resize(kStartApps);
  const fs::path startScript = prog / "start.inf";
  WriteScript(startScript, apps);
  std::vector<double> startUp, trivial;
  Paired(
      starts, [&](int) { return RunProgram(setupArgs(startScript), startPrefix); },
      [&](int) { return RunProgram({"true"}); }, startUp, trivial);

  std::printf("\n%d rounds, medians; ratio = B time / A time (above 1: setup is faster)\n", rounds);
  PrintPair("install 10,000 files (A setup, B cp):", "setup", Median(install), "cp -r",
            Median(copy), ">= 1.30", 1.3);
  PrintPair("removal (A setup less waits, B rm):", "setup", removalMedian - waits, "rm -rf",
            Median(erase), ">= 0.80", 0.8);
  std::printf("removal as measured: %.3f s, of which fixed waits %.3f s (1 directory x 0.5 s)\n",
              removalMedian, waits);
  std::printf(
      "start-up, %d applications and %d records, nothing to do: %.1f ms (target < 100 ms;"
      " starting `true`: %.1f ms)%s\n",
      kStartApps, kRecords, Median(startUp) * 1000, Median(trivial) * 1000,
      Median(startUp) < 0.1 ? "" : "  ABOVE TARGET");
  std::printf("install %d applications of %d files in one run: %.2f s (target < 2 s)%s\n", kRecords,
              kFilesPerRecord, recordsRun, recordsRun < 2 ? "" : "  ABOVE TARGET");
  fs::remove_all(work);
  return 0;
}
