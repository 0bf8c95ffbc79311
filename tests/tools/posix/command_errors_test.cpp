// The `valise` command as people meet it: its errors for a missing input, an output folder
// that does not exist and a damaged container name the file concerned, and `adb dump` gives a
// table's values as the setup reads them.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host_paths.h"
#include "test_support.h"

namespace valise::testing {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // what it printed to standard output
  std::string errors;  // and to standard error
};

// Runs the command with its arguments (each quoted for the shell) in `dir`.
Outcome RunValise(const TempDir& dir, const std::string& arguments) {
  const std::string output = (dir.host() / "stdout.txt").string();
  const std::string errors = (dir.host() / "stderr.txt").string();
  const std::string command = "cd '" + dir.host().string() + "' && '" VALISE_EXE "' " + arguments +
                              " >'" + output + "' 2>'" + errors + "'";
  const int status = std::system(command.c_str());
  Outcome outcome;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.output = ReadHostFile(output);
  outcome.errors = ReadHostFile(errors);
  return outcome;
}

std::string Win(const std::filesystem::path& host) {
  return platform::ToWindowsPath(host.string());
}

TEST(ValiseCommand, ErrorsNameTheFileConcerned) {
  TempDir dir;
  const std::string notFound = "The system cannot find the file specified.";
  const std::string noPath = "The system cannot find the path specified.";

  // A missing input.
  Outcome run = RunValise(dir, "adb build missing.txt out.adb");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors,
            "valise adb: Cannot open " + Win(dir.host() / "missing.txt") + ": " + notFound + "\n");
  run = RunValise(dir, "bag list missing.bag");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors,
            "valise bag: Cannot open " + Win(dir.host() / "missing.bag") + ": " + notFound + "\n");

  // An output folder that does not exist.
  dir.Write("in/A.TXT", "a");
  run = RunValise(dir, "bag pack nofolder/out.bag in");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors, "valise bag: Cannot create " + Win(dir.host() / "nofolder" / "out.bag") +
                            ": " + noPath + "\n");

  // A damaged container: its directory is cut short.
  ASSERT_EQ(RunValise(dir, "bag pack good.bag in").exitCode, 0);
  const std::string bag = ReadHostFile(dir.host() / "good.bag");
  dir.Write("short.bag", bag.substr(0, bag.size() - 3));
  run = RunValise(dir, "bag list short.bag");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors, "valise bag: " + Win(dir.host() / "short.bag") + ": Unexpected EOF!\n");
}

TEST(ValiseCommand, DumpGivesTheValuesOfATableWithOldBytesInItsStringFields) {
  TempDir dir;
  dir.Write("names.txt",
            "table codepage=1252\nfield NAME string 10\nfield NUMBER integer\n"
            "record \"ab\" 7\n");
  ASSERT_EQ(RunValise(dir, "adb build names.txt names.adb").exitCode, 0);
  // Another program left old content behind the text "ab": length byte 2, then "ab", then
  // "old" where our writer puts zeros.
  std::string table = ReadHostFile(dir.host() / "names.adb");
  const std::size_t record = table.size() - 14;
  ASSERT_EQ(table.substr(record, 3),
            "\x02"
            "ab");
  table.replace(record + 3, 3, "old");
  dir.Write("names.adb", table);

  Outcome run = RunValise(dir, "adb dump names.adb");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_NE(run.output.find("\nrecord \"ab\" 7\n"), std::string::npos) << run.output;

  // The exact form keeps every byte of the field and says what it cannot carry.
  run = RunValise(dir, "adb dump names.adb --exact");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("\nrecord raw\"0261626f6c6400000000\" 7\n"), std::string::npos)
      << run.output;
}

}  // namespace
}  // namespace valise::testing
