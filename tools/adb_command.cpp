// `valise adb`: builds a table (and its memo file) from a text description, and dumps a table
// back into that description.
#include <cstdio>
#include <string>
#include <vector>

#include "adb/adb_writer.h"
#include "adb/description.h"
#include "adb/table.h"
#include "command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise adb build <description.txt> <table.adb>\n"
    "       valise adb dump <table.adb> [--codepage N] [--exact] [-o <description.txt>]\n"
    "\n"
    "build  makes a table from a text description; a table with memo fields gets its memo\n"
    "       file beside it with the extension .AMB. A malformed description is refused with\n"
    "       the number of the offending line.\n"
    "dump   writes the description of a table (to standard output unless -o names a file),\n"
    "       decoding text with the code page given (default 1252). Each value is given as\n"
    "       the setup reads it.\n"
    "       With --exact each value is given by the text that builds its bytes again, raw\n"
    "       bytes where no other text does. Bytes that belong to no value (between fields,\n"
    "       a padded field area, memos laid out differently) cannot be carried: a table\n"
    "       that holds such bytes is reported, and the exit code is 3.\n"
    "\n"
    "The description format is documented in docs/adb-description.md.\n";

void WriteHostFile(const std::string& path, const std::string& bytes) {
  std::unique_ptr<platform::File> file = platform::File::Create(platform::ToWindowsPath(path));
  if (!file) platform::ThrowLastOSError("create", path);
  file->Write(bytes.data(), bytes.size());
}

int Build(const std::vector<std::string>& args) {
  if (args.size() != 3) throw UsageError("build needs a description and a table");
  const std::string text = platform::ReadWholeFile(platform::ToWindowsPath(args[1]));
  adb::TableBuilder builder;
  try {
    builder = adb::ParseDescription(text);
  } catch (const Error& error) {
    throw Error(args[1] + ": " + error.what());
  }
  builder.WriteFiles(platform::ToWindowsPath(args[2]));
  std::printf("%s: %zu fields, %zu records%s\n", args[2].c_str(), builder.fields().size(),
              builder.recordCount(), builder.HasMemo() ? ", memo file written" : "");
  return 0;
}

int Dump(const std::vector<std::string>& args) {
  std::string tablePath, outputPath;
  unsigned codePage = 1252;
  bool exact = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--exact") {
      exact = true;
    } else if (args[i] == "--codepage" && i + 1 < args.size()) {
      codePage = static_cast<unsigned>(std::stoul(args[++i]));
    } else if (args[i] == "-o" && i + 1 < args.size()) {
      outputPath = args[++i];
    } else if (tablePath.empty() && !args[i].empty() && args[i][0] != '-') {
      tablePath = args[i];
    } else {
      throw UsageError("unexpected argument '" + args[i] + "'");
    }
  }
  if (tablePath.empty()) throw UsageError("dump needs a table");
  const std::string winPath = platform::ToWindowsPath(tablePath);
  adb::TATable table;
  table.SetExternalTable(true);
  table.SetTableName(winPath);
  table.Open();
  const std::string description = adb::DescribeTable(
      table, codePage, exact ? adb::DescribeMode::Exact : adb::DescribeMode::Values);
  table.Close();

  // Even the exact form carries values, not every byte: say so when building it back would
  // not give the same files (bytes between fields, memos laid out differently, descriptor
  // padding).
  bool same = true;
  if (exact) {
    const adb::TableBuilder rebuilt = adb::ParseDescription(description);
    same = rebuilt.TableBytes() == platform::ReadWholeFile(winPath);
    if (same && rebuilt.HasMemo()) {
      same =
          rebuilt.MemoBytes() == platform::ReadWholeFile(adb::ChangeFileExt(table.Path(), ".AMB"));
    }
  }
  if (outputPath.empty()) {
    std::fwrite(description.data(), 1, description.size(), stdout);
  } else {
    WriteHostFile(outputPath, description);
  }
  if (!same) {
    std::fprintf(stderr,
                 "valise adb: %s holds bytes that belong to no value (between fields, in a "
                 "padded field area or in the memo file's layout); building the description "
                 "gives different files\n",
                 tablePath.c_str());
    return 3;
  }
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("missing subcommand");
  if (args[0] == "build") return Build(args);
  if (args[0] == "dump") return Dump(args);
  throw UsageError("unknown subcommand '" + args[0] + "'");
}

const Command kAdbCommand("adb", "builds and dumps tables", kUsage, Run);

}  // namespace
}  // namespace valise::tools
