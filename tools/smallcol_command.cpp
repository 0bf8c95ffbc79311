// `valise smallcol`: packs a folder's files into a small files collection blob and lists one.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "smallcol/smallcol.h"
#include "util/stream.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise smallcol pack <blob> <folder> [--yes]\n"
    "       valise smallcol list <blob>\n"
    "\n"
    "pack  stores every plain file of a folder in a blob under its upper-cased name, the\n"
    "      contents back to back in sorted name order. More than 4 MiB of files needs --yes.\n"
    "list  prints each stored file's name, size and offset in the data area.\n";

int Pack(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool yes = false;
  for (const std::string& arg : args) {
    if (arg == "--yes") {
      yes = true;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) throw UsageError("pack needs a blob and a folder");
  const std::string folder = platform::ToWindowsPath(positional[1]);
  const auto attributes = platform::GetFileAttributes(folder);
  if (!attributes || (*attributes & platform::kAttrDirectory) == 0) {
    throw Error("The folder " + positional[1] + " does not exist");
  }
  smallcol::TSmallFilesCollection collection;
  bool refused = false;
  collection.SetFilePath(folder, [&](const std::string& question) {
    if (!yes) {
      std::fprintf(stderr, "%s No (pack with --yes to answer Yes)\n", question.c_str());
      refused = true;
    }
    return yes;
  });
  if (refused) throw Error("Nothing packed");
  TMemoryStream blob;
  collection.StoreBinaryData(blob);
  auto out = platform::File::Create(platform::ToWindowsPath(positional[0]));
  if (!out) platform::ThrowLastOSError();
  out->Write(blob.Memory(), blob.View().size());
  std::printf("%zu files, %lld bytes of data written to %s\n", collection.FileList().Count(),
              static_cast<long long>(collection.TotalSize()), positional[0].c_str());
  return 0;
}

int List(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("list needs a blob");
  TMemoryStream blob(platform::ReadWholeFile(platform::ToWindowsPath(args[0])));
  smallcol::TSmallFilesCollection collection;
  collection.LoadBinaryData(blob);
  for (const auto& line : collection.FileList()) {
    std::printf("%-32s %10u %10u\n", line.Name.c_str(), line.Record.Size, line.Record.Offset);
  }
  std::printf("%zu files, %lld bytes of data\n", collection.FileList().Count(),
              static_cast<long long>(collection.TotalSize()));
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("which smallcol command?");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "pack") return Pack(rest);
  if (args[0] == "list") return List(rest);
  throw UsageError("unknown smallcol command '" + args[0] + "'");
}

const Command command("smallcol", "packs and lists small files collection blobs", kUsage, Run);

}  // namespace
}  // namespace valise::tools
