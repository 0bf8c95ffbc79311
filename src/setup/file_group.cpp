#include <cstdio>
#include <deque>
#include <unordered_set>

#include "baggage/bag_stream.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/version.h"
#include "setup/application.h"
#include "setup/file_work.h"
#include "setup/setup_registry.h"
#include "setup/setup_ui.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

constexpr std::string_view kUpdateMethodNames[] = {"updVersion", "updDate", "updAlways",
                                                   "updNever"};

bool IsRelative(std::string_view path) {
  return !(path.size() >= 2 && path[1] == ':') && !(!path.empty() && path[0] == '\\');
}

}  // namespace

std::string TSetupFileGroup::SourcePath(std::string_view file) const {
  if (SourceDir.empty() || !IsRelative(file)) return std::string(file);
  return IncludeTrailingBackslash(SourceDir) + std::string(file);
}

void TSetupFileGroup::LoadFromScript(const TScript& script, std::string_view section,
                                     std::string_view sourceDir) {
  SourceDir = std::string(sourceDir);
  DestDir = script.ReadString(section, "DestDir");
  Name = script.ReadString(section, "Name");
  Optional = script.ReadBool(section, "Optional", false);
  const int method = script.ReadEnum(section, "UpdateMethod", "updAlways", kUpdateMethodNames);
  UpdateMethod = method < 0 ? kUnknownEnum : static_cast<std::uint8_t>(method);
  for (int n = 1;; ++n) {
    const std::string key = "FileSpec" + std::to_string(n);
    if (!script.KeyExists(section, key)) break;
    const std::string spec = script.ReadString(section, key);
    if (spec.empty() || spec.front() == '@') {
      Files.push_back(spec);
      continue;
    }
    const std::string folder(ExtractFilePath(spec));
    std::vector<std::string> found;
    const bool any = platform::FindFiles(SourcePath(spec), [&](const platform::FindEntry& entry) {
      if ((entry.attributes & platform::kAttrDirectory) == 0) found.push_back(folder + entry.name);
      return true;
    });
    if (!any) {
      const OSError error = platform::LastOSError();
      throw OSError(error.code(), "No matching file found for '" + spec + "'\r\n" + error.what());
    }
    for (std::string& file : found) Files.push_back(std::move(file));
  }
}

std::string TSetupFileGroup::ExpandedDestDir() const {
  std::string dir = DestDir;
  if (OnExpand) OnExpand(dir);
  return dir;
}

void TSetupFileGroup::Install(TSetupRegistry& registry, TSetupUI& ui, TFileWork* copies) {
  const std::string dir = ExpandedDestDir();
  ForceDirs(dir);
  std::size_t g = 0;
  while (g < Owner->FileGroups.size() && Owner->FileGroups[g].get() != this) ++g;
  const std::string groupName = "FileGroup" + std::to_string(g + 1);
  registry.WriteString(groupName, dir);
  const std::string folder = IncludeTrailingBackslash(dir);

  // Each file's record value is written once the file is complete, in the group's order. New
  // baggage members are copied on the queue's threads, a few ahead of the record; everything
  // else (a member whose file exists, a file from the disk) waits for those before it. A copy
  // ahead that is never recorded, because one before it failed, is removed again. Where the
  // system makes files in one folder fastest one after the other, they are made here and the
  // threads only copy the bytes.
  const bool createHere = copies != nullptr && platform::ConcurrentFileCreations() == 1;
  struct Ahead {
    std::size_t index;
    std::string name;
    std::string upperName;
    std::string destination;
  };
  std::deque<Ahead> ahead;
  std::unordered_set<std::string> aheadNames;  // upper case: one copy per destination at a time
  const auto record = [&](std::size_t index, const std::string& name) {
    registry.WriteString(groupName + "File" + std::to_string(index + 1), name);
    registry.FlushNowAndThen();
  };
  const auto finishOldest = [&] {
    const Ahead& oldest = ahead.front();
    if (!copies->TakeOldest()) InstallFile(Files[oldest.index], oldest.destination);
    record(oldest.index, oldest.name);
    aheadNames.erase(oldest.upperName);
    ahead.pop_front();
  };
  const auto createNew = [&](const std::string& destination) {
    try {
      return BagCreateNewFile(destination);
    } catch (...) {
      // The files before this one are complete and recorded first, as when one file follows
      // the other.
      while (!ahead.empty()) finishOldest();
      throw;
    }
  };
  for (std::size_t i = 0; i < Files.size(); ++i) {
    ui.ProcessMessages();
    std::string name(ExtractFileName(Files[i]));
    if (!name.empty() && name.front() == '@') name.erase(0, 1);
    std::string destination = folder + name;
    const bool member = !Files[i].empty() && Files[i].front() == '@';
    if (copies != nullptr && member) {
      std::string upperName = platform::UpperCase(name);
      if (aheadNames.insert(upperName).second) {
        TBagEntrySource source = BagEntrySource(std::string_view(Files[i]).substr(1));
        std::shared_ptr<platform::File> file;
        if (!createHere || (file = createNew(destination))) {
          if (file) {
            copies->Push(
                [source = std::move(source), file = std::move(file)]() mutable {
                  BagCopyIntoNewFile(source, std::move(file));
                  return true;
                },
                destination, TFileWork::FileMade::Before);
          } else {
            copies->Push([source = std::move(source),
                          destination] { return BagCopyToNewFile(source, destination); },
                         destination);
          }
          ahead.push_back({i, std::move(name), std::move(upperName), std::move(destination)});
          copies->MakeRoom(finishOldest);
          continue;
        }
        // The file exists: it is replaced below, as one file at a time.
        aheadNames.erase(upperName);
      }
    }
    while (!ahead.empty()) finishOldest();
    InstallFile(Files[i], destination);
    record(i, name);
  }
  while (!ahead.empty()) finishOldest();
}

void TSetupFileGroup::InstallFile(std::string_view source, std::string_view destination) {
  if (!source.empty() && source.front() == '@') {
    BagCopyFile(source.substr(1), destination);
    return;
  }
  const std::string from = SourcePath(source);
  bool copy = false;
  if (!PathExists(destination)) {
    copy = true;
  } else {
    switch (UpdateMethod) {
      case updVersion: {
        const std::optional<platform::FileVersion> target = platform::GetFileVersion(destination);
        if (!target) {
          copy = true;
        } else if (const auto offered = platform::GetFileVersion(from)) {
          copy =
              offered->ms > target->ms || (offered->ms == target->ms && offered->ls >= target->ls);
        }
        break;
      }
      case updDate:
        copy = GetFileCreationTime(from) >= GetFileCreationTime(destination);
        break;
      case updAlways:
        copy = true;
        break;
      default:
        // updNever, and a method the script named wrongly, keep the existing file.
        break;
    }
  }
  if (copy && !platform::CopyFile(from, destination, false)) {
    const OSError error = platform::LastOSError();
    throw OSError(error.code(),
                  "Cannot copy " + from + " to " + std::string(destination) + ": " + error.what());
  }
}

}  // namespace valise::setup
