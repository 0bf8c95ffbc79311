// `valise bag`: makes, inspects and unpacks baggage containers.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/text.h"
#include "util/paths.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise bag pack <output.bag> <folder | file...>\n"
    "       valise bag attach <program.exe> <baggage.bag | folder> [-o <output.exe>] "
    "[--external]\n"
    "       valise bag list <container>\n"
    "       valise bag extract <container> <folder> [entry...]\n"
    "       valise bag verify <container>\n"
    "\n"
    "pack     writes the plain files of a folder (or the files named) into a stand-alone\n"
    "         baggage. Entry names are the files' names: at most 12 characters.\n"
    "attach   appends a baggage to a program and points its header at it, replacing the\n"
    "         program unless -o names another output. With --external the program is marked\n"
    "         instead and the baggage is written beside it with the extension .BAG.\n"
    "list     prints each entry's name, size and offset.\n"
    "extract  copies every entry (or those named) into a folder.\n"
    "verify   checks the container's layout and that every entry lies inside the file.\n";

std::string Win(const std::string& hostPath) {
  return platform::ToWindowsPath(hostPath);
}

bool IsDirectory(const std::string& winPath) {
  const auto attributes = platform::GetFileAttributes(winPath);
  return attributes && (*attributes & platform::kAttrDirectory) != 0;
}

// Adds the plain files of a folder; subfolders cannot be held by a flat baggage.
void AddFolder(BagWriter& writer, const std::string& folder) {
  std::vector<platform::FindEntry> found = platform::FindFiles(folder + "\\*.*");
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const platform::FindEntry& entry : found) {
    if ((entry.attributes & platform::kAttrDirectory) != 0) {
      throw Error("The folder " + folder + " holds the subfolder \"" + entry.name +
                  "\"; a baggage is flat");
    }
    writer.AddFile(entry.name, folder + "\\" + entry.name);
  }
}

void AddSources(BagWriter& writer, const std::vector<std::string>& hostPaths) {
  if (hostPaths.size() == 1 && IsDirectory(Win(hostPaths[0]))) {
    AddFolder(writer, Win(hostPaths[0]));
    return;
  }
  for (const std::string& hostPath : hostPaths) {
    const std::string path = Win(hostPath);
    if (IsDirectory(path)) throw UsageError("give either one folder or a list of files");
    writer.AddFile(std::string(ExtractFileName(path)), path);
  }
}

int Pack(const std::vector<std::string>& args) {
  if (args.size() < 2) throw UsageError("pack needs an output and what to pack");
  BagWriter writer;
  AddSources(writer, std::vector<std::string>(args.begin() + 1, args.end()));
  writer.WriteStandalone(Win(args[0]));
  std::printf("%zu entries written to %s\n", writer.Count(), args[0].c_str());
  return 0;
}

int Attach(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::string output;
  bool external = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--external") {
      external = true;
    } else if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw UsageError("attach needs a program and a baggage");
  const std::string program = Win(positional[0]);
  const std::string source = Win(positional[1]);
  const std::string target = output.empty() ? program : Win(output);
  BagWriter writer;
  if (IsDirectory(source)) {
    AddFolder(writer, source);
  } else {
    const BagContainerInfo info = ReadBagContainer(source);
    for (const TBagEntry& entry : info.entries) {
      writer.AddRange(entry.Name, info.dataPath, entry.Offset, entry.Size);
    }
  }
  if (external) {
    writer.WriteExternal(program, target);
  } else {
    writer.WriteAttached(program, target);
  }
  std::printf("%zu entries %s %s\n", writer.Count(), external ? "written beside" : "attached to",
              target.c_str());
  return 0;
}

int List(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("list needs a container");
  const BagContainerInfo info = ReadBagContainer(Win(args[0]));
  if (info.external) std::printf("external baggage in %s\n", info.dataPath.c_str());
  for (const TBagEntry& entry : info.entries) {
    std::printf("%-12s %10u %10u\n", entry.Name.c_str(), entry.Size, entry.Offset);
  }
  std::printf("%zu entries\n", info.entries.size());
  return 0;
}

int Extract(const std::vector<std::string>& args) {
  if (args.size() < 2) throw UsageError("extract needs a container and a folder");
  const BagContainerInfo info = ReadBagContainer(Win(args[0]));
  const std::string folder = Win(args[1]);
  if (!IsDirectory(folder) && !platform::CreateDirectory(folder)) {
    platform::ThrowLastOSError("create the folder", folder);
  }
  std::vector<std::string> wanted(args.begin() + 2, args.end());
  auto source = platform::File::OpenRead(info.dataPath);
  if (!source) platform::ThrowLastOSError("open", info.dataPath);
  std::vector<char> buffer(64 * 1024);
  std::size_t done = 0;
  for (const TBagEntry& entry : info.entries) {
    if (!wanted.empty() && std::none_of(wanted.begin(), wanted.end(), [&](const std::string& name) {
          return platform::CompareTextIgnoreCase(name, entry.Name) == 0;
        })) {
      continue;
    }
    // Only the file-name part of a stored name is used: nothing lands outside the folder.
    const std::string name = std::string(ExtractFileName(entry.Name));
    if (name.empty() || name == "." || name == "..") {
      throw Error("The entry name \"" + entry.Name + "\" is no file name");
    }
    if (std::uint64_t{entry.Offset} + entry.Size > info.dataSize) {
      throw Error("The entry " + entry.Name + " reaches beyond the end of " + info.dataPath);
    }
    const std::string target = folder + "\\" + name;
    const std::string temporary = target + ".~partial";
    auto out = platform::File::Create(temporary);
    if (!out) platform::ThrowLastOSError("create", target);
    try {
      source->Seek(entry.Offset);
      std::uint64_t left = entry.Size;
      while (left > 0) {
        const std::size_t n =
            source->Read(buffer.data(), std::min<std::uint64_t>(left, buffer.size()));
        if (n == 0) throw Error("Unexpected EOF!");
        out->Write(buffer.data(), n);
        left -= n;
      }
      out.reset();
      if (!platform::MoveFile(temporary, target, true)) {
        platform::ThrowLastOSError("write", target);
      }
    } catch (...) {
      out.reset();
      platform::DeleteFile(temporary);
      throw;
    }
    ++done;
  }
  std::printf("%zu entries extracted\n", done);
  return 0;
}

int Verify(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("verify needs a container");
  const BagContainerInfo info = ReadBagContainer(Win(args[0]));
  int problems = 0;
  std::uint64_t bytes = 0;
  std::vector<std::string> names;
  for (const TBagEntry& entry : info.entries) {
    if (entry.Name.empty()) {
      std::printf("an entry has an empty name (offset %u)\n", entry.Offset);
      ++problems;
    } else if (entry.Name.find_first_of("\\/:") != std::string::npos) {
      std::printf("the entry name \"%s\" is not a plain file name\n", entry.Name.c_str());
      ++problems;
    }
    if (std::uint64_t{entry.Offset} + entry.Size > info.dataSize) {
      std::printf("the entry %s reaches beyond the end of the file\n", entry.Name.c_str());
      ++problems;
    }
    names.push_back(entry.Name);
    bytes += entry.Size;
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return platform::CompareTextIgnoreCase(a, b) < 0;
  });
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (platform::CompareTextIgnoreCase(names[i - 1], names[i]) == 0) {
      std::printf("the name %s is given twice; only one can be found\n", names[i].c_str());
      ++problems;
    }
  }
  if (problems != 0) {
    std::printf("%d problems\n", problems);
    return 1;
  }
  std::printf("OK: %zu entries, %llu bytes\n", info.entries.size(),
              static_cast<unsigned long long>(bytes));
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("which bag command?");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "pack") return Pack(rest);
  if (args[0] == "attach") return Attach(rest);
  if (args[0] == "list") return List(rest);
  if (args[0] == "extract") return Extract(rest);
  if (args[0] == "verify") return Verify(rest);
  throw UsageError("unknown bag command '" + args[0] + "'");
}

const Command command("bag", "makes, lists, extracts and checks baggage containers", kUsage, Run);

}  // namespace
}  // namespace valise::tools
