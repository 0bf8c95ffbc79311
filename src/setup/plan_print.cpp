#include "setup/plan_print.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/utf.h"
#include "platform/version.h"
#include "setup/cached_program.h"
#include "setup/data_module.h"
#include "util/file_utils.h"
#include "util/integers.h"

namespace valise::setup {

namespace {

bool IsMember(std::string_view source) {
  return !source.empty() && source.front() == '@';
}

std::string_view UpdateName(TFileUpdate update) {
  switch (update) {
    case TFileUpdate::New:
      return "new";
    case TFileUpdate::Replace:
      return "replace";
    case TFileUpdate::Keep:
      break;
  }
  return "keep";
}

std::string_view UpdateMethodName(std::uint8_t method) {
  switch (method) {
    case updVersion:
      return "updVersion";
    case updDate:
      return "updDate";
    case updAlways:
      return "updAlways";
    case updNever:
      return "updNever";
    default:
      return "unknown (kept as updNever)";
  }
}

std::string_view RegTypeName(std::uint8_t type) {
  switch (type) {
    case rdString:
      return "rdString";
    case rdExpandString:
      return "rdExpandString";
    case rdInteger:
      return "rdInteger";
    case rdBinary:
      return "rdBinary";
    case rdUnknown:
      return "rdUnknown";
    default:
      return "unknown";
  }
}

std::string_view ActionName(TPlanAction action) {
  switch (action) {
    case TPlanAction::Install:
      return "install";
    case TPlanAction::Remove:
      return "remove";
    case TPlanAction::Keep:
      break;
  }
  return "keep";
}

// The plan with everything a reader is shown worked out, for both forms alike.
struct FileRow {
  std::string Update;  // "new", "replace", "keep" or "remove"
  std::string Destination;
  std::string Member;  // for a baggage member, its name in the baggage
  std::string Source;  // for a file from the disk, its full path
};

struct GroupRow {
  std::string Dir;
  std::string UpdateMethod;  // empty for a removal
  std::vector<FileRow> Files;
};

struct ShortcutRow {
  std::string File;
  std::string Target;  // empty for a removal
  std::string Parameters;
};

struct RegRow {
  std::string Key;  // root\path
  std::string Name;
  std::string Type;
  std::string Value;
  bool Written = true;
};

struct AppRow {
  std::string Section;  // "Application<n>", empty for an application known only by its record
  std::string Title;
  std::string Action;
  std::string Reason;  // why an application is kept
  std::string Record;  // root\path of the installation record
  std::string InstallDir;
  std::string Baggage;
  std::vector<std::string> DeleteFiles;
  std::vector<GroupRow> Groups;
  std::vector<ShortcutRow> Shortcuts;
  std::vector<RegRow> RegEntries;
};

struct DriveRow {
  char Drive = 0;
  std::int64_t Bytes = 0;
  std::optional<std::uint64_t> Free;
};

struct PlanView {
  std::string Script;
  // The folder that keeps the setup program for removal, when the run installs something.
  std::string KeptFolder;
  std::vector<AppRow> Applications;
  std::vector<DriveRow> Drives;
};

std::string KeyText(platform::RegRoot root, std::string_view path) {
  return std::string(RootName(root)) + "\\" + PlatformKeyPath(path);
}

// The keys the registry entries are written to, followed as the install's registry object
// follows them: it starts at the record's key; a key beginning with "\" is taken from the
// root, any other below the key opened last, unless the entry's root differs from the root
// used last.
std::vector<RegRow> RegRows(const TSetupApplication& app, const TPlannedApplication& planned,
                            const TRecordStore& records, const std::string& recordPath) {
  std::vector<RegRow> rows;
  platform::RegRoot root = records.Root();
  std::string path = PlatformKeyPath(recordPath);
  bool open = true;
  for (const TSetupRegEntry* entry : planned.RegEntries) {
    std::string key = app.ExpandMacros(entry->Key);
    if (key.empty()) key = recordPath;
    if (entry->Root != root) {
      root = entry->Root;
      open = false;
    }
    if (!key.empty() && key.front() == '\\') {
      path = PlatformKeyPath(key);
    } else if (open) {
      path = path + "\\" + PlatformKeyPath(key);
    } else {
      path = PlatformKeyPath(key);
    }
    open = true;
    RegRow row;
    row.Key = std::string(RootName(root)) + "\\" + path;
    row.Name = app.ExpandMacros(entry->Name);
    row.Type = std::string(RegTypeName(entry->DataType));
    row.Value = app.ExpandMacros(entry->Value);
    switch (entry->DataType) {
      case rdString:
      case rdExpandString:
        break;
      case rdInteger:
        row.Value = std::to_string(StrToInt(row.Value));
        break;
      default:
        row.Written = false;
        break;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

PlanView MakeView(const TSetupDataModule& setup, const TSetupPlan& plan) {
  PlanView view;
  view.Script = setup.CommandLine.ScriptFile;
  if (InstallsAny(plan)) {
    view.KeptFolder = CachedProgramFolder(setup.Globals.RegRoot, setup.Globals.RegBaseKey);
  }
  const TRecordStore records = setup.Records();
  for (const TPlannedApplication& planned : plan.Applications) {
    const TSetupApplication& app = *planned.App;
    AppRow row;
    if (app.ScriptIndex > 0) row.Section = "Application" + std::to_string(app.ScriptIndex);
    row.Title = app.Title;
    row.Action = std::string(ActionName(planned.Action));
    std::string recordName = app.RecordKeyName;
    if (recordName.empty()) recordName = app.AltRegKey.empty() ? app.RecordKey() : app.AltRegKey;
    const std::string recordPath = records.RecordPath(recordName);
    row.Record = KeyText(records.Root(), recordPath);
    row.DeleteFiles = planned.DeleteFiles;
    if (planned.Action == TPlanAction::Keep) {
      row.Reason = app.Installed ? "installed already" : "not selected";
    } else if (planned.Action == TPlanAction::Install) {
      row.InstallDir = app.GetInstallDir();
      row.Baggage = app.ExpandedBaggage();
      for (const TPlannedGroup& group : planned.Groups) {
        GroupRow groupRow;
        groupRow.Dir = group.Dir;
        groupRow.UpdateMethod = std::string(UpdateMethodName(group.Group->UpdateMethod));
        for (const TPlannedFile& file : group.Files) {
          FileRow fileRow;
          fileRow.Update = std::string(UpdateName(PlannedUpdate(*group.Group, file)));
          fileRow.Destination = file.Destination;
          if (IsMember(file.Source)) {
            fileRow.Member = file.Source.substr(1);
          } else {
            fileRow.Source = group.Group->SourcePath(file.Source);
          }
          groupRow.Files.push_back(std::move(fileRow));
        }
        row.Groups.push_back(std::move(groupRow));
      }
      for (const TPlannedShortcut& shortcut : planned.Shortcuts) {
        ShortcutRow link;
        link.File = shortcut.File;
        if (shortcut.Link->IsInternetShortcut()) {
          link.Target = shortcut.Link->Command;
        } else {
          link.Target = shortcut.Link->ExpandedCommand();
          link.Parameters = shortcut.Link->CommandParams;
        }
        row.Shortcuts.push_back(std::move(link));
      }
      row.RegEntries = RegRows(app, planned, records, recordPath);
    } else {
      for (const TPlannedGroup& group : planned.Groups) {
        GroupRow groupRow;
        groupRow.Dir = group.Dir;
        for (const TPlannedFile& file : group.Files) {
          groupRow.Files.push_back({"remove", file.Destination, {}, {}});
        }
        row.Groups.push_back(std::move(groupRow));
      }
      for (const TPlannedShortcut& shortcut : planned.Shortcuts) {
        row.Shortcuts.push_back({shortcut.File, {}, {}});
      }
    }
    view.Applications.push_back(std::move(row));
  }
  for (const TDriveSpace& space : plan.Space) {
    view.Drives.push_back(
        {space.Drive, space.Bytes, platform::GetDiskFreeBytes(std::string(1, space.Drive) + ":")});
  }
  return view;
}

std::string Padded(std::string_view word, std::size_t width) {
  std::string text(word);
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

bool EndsWithJson(std::string_view file) {
  constexpr std::string_view kExtension = ".json";
  return file.size() >= kExtension.size() &&
         platform::CompareTextIgnoreCase(file.substr(file.size() - kExtension.size()),
                                         kExtension) == 0;
}

class JsonWriter {
 public:
  void Open(char bracket) {
    Separate();
    out_ += bracket;
    first_ = true;
    ++depth_;
  }
  void Close(char bracket) {
    --depth_;
    if (!first_) NewLine();
    out_ += bracket;
    first_ = false;
  }
  void Key(std::string_view key) {
    Separate();
    out_ += JsonString(key);
    out_ += ": ";
    afterKey_ = true;
  }
  void String(std::string_view text) {
    Separate();
    out_ += JsonString(text);
  }
  void Number(std::int64_t number) {
    Separate();
    out_ += std::to_string(number);
  }
  void Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
  }
  void Null() {
    Separate();
    out_ += "null";
  }
  void Field(std::string_view key, std::string_view text) {
    Key(key);
    String(text);
  }
  void StringArray(std::string_view key, const std::vector<std::string>& texts) {
    Key(key);
    Open('[');
    for (const std::string& text : texts) String(text);
    Close(']');
  }
  std::string Text() const { return out_ + "\n"; }

 private:
  void Separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (depth_ == 0) return;
    if (!first_) out_ += ',';
    NewLine();
    first_ = false;
  }
  void NewLine() {
    out_ += '\n';
    out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  }

  std::string out_;
  int depth_ = 0;
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace

TFileUpdate PlannedUpdate(const TSetupFileGroup& group, const TPlannedFile& file) {
  if (!PathExists(file.Destination)) return TFileUpdate::New;
  if (IsMember(file.Source)) return TFileUpdate::Replace;
  return group.ReplacesExisting(group.SourcePath(file.Source), file.Destination)
             ? TFileUpdate::Replace
             : TFileUpdate::Keep;
}

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const std::optional<char32_t> decoded = platform::DecodeUtf8(text, i);
    if (!decoded) {
      platform::AppendUtf8(out, 0xFFFD);
      continue;
    }
    const char32_t code = *decoded;
    switch (code) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (code < 0x20 || code == 0x7F) {
          out += "\\u00";
          out += kHex[code >> 4];
          out += kHex[code & 0xF];
        } else {
          platform::AppendUtf8(out, code);
        }
        break;
    }
  }
  out += '"';
  return out;
}

std::string PlanText(const TSetupDataModule& setup, const TSetupPlan& plan) {
  const PlanView view = MakeView(setup, plan);
  std::string out = "Setup plan (nothing has been changed)\n";
  out += "Script: " + view.Script + "\n";
  if (!view.KeptFolder.empty()) {
    const std::string folder = IncludeTrailingBackslash(view.KeptFolder);
    out += "Kept for removal: " + folder + std::string(kCachedProgramName) + ", " + folder +
           std::string(kCachedScriptName) + "\n";
  }
  for (const AppRow& app : view.Applications) {
    out += "\n";
    out += app.Section.empty() ? std::string("Installed application") : app.Section;
    if (!app.Title.empty()) out += " '" + app.Title + "'";
    out += ": " + app.Action;
    if (!app.Reason.empty()) out += " (" + app.Reason + ")";
    out += "\n";
    out += "  Record: " + app.Record + (app.Action == "remove" ? " (deleted)" : "") + "\n";
    if (!app.InstallDir.empty()) out += "  Install folder: " + app.InstallDir + "\n";
    if (!app.Baggage.empty()) out += "  Baggage: " + app.Baggage + "\n";
    for (const std::string& file : app.DeleteFiles) out += "  Delete file: " + file + "\n";
    for (std::size_t g = 0; g < app.Groups.size(); ++g) {
      const GroupRow& group = app.Groups[g];
      out += "  File group " + std::to_string(g + 1) + ": " + group.Dir;
      if (!group.UpdateMethod.empty()) out += " (" + group.UpdateMethod + ")";
      out += "\n";
      for (const FileRow& file : group.Files) {
        out += "    " + Padded(file.Update, 8) + file.Destination;
        if (!file.Member.empty()) out += " <- member " + file.Member;
        if (!file.Source.empty()) out += " <- " + file.Source;
        out += "\n";
      }
    }
    for (const ShortcutRow& link : app.Shortcuts) {
      out += "  Shortcut: " + link.File;
      if (app.Action == "remove") {
        out += " (deleted)";
      } else {
        out += " -> " + link.Target;
        if (!link.Parameters.empty()) out += " " + link.Parameters;
      }
      out += "\n";
    }
    for (const RegRow& entry : app.RegEntries) {
      out += "  Registry: " + entry.Key + ", " + entry.Name + " (" + entry.Type + ")";
      out += entry.Written ? " = " + entry.Value : std::string(": key created, no value written");
      out += "\n";
    }
  }
  if (!view.Drives.empty()) out += "\n";
  for (const DriveRow& drive : view.Drives) {
    out += "Drive " + std::string(1, drive.Drive) + ": ";
    out += drive.Bytes >= 0 ? std::to_string(drive.Bytes) + " bytes needed"
                            : std::to_string(-drive.Bytes) + " bytes freed";
    if (drive.Free) {
      out += ", " + std::to_string(*drive.Free) + " bytes free";
      if (drive.Bytes >= 0 && static_cast<std::uint64_t>(drive.Bytes) >= *drive.Free) {
        out += " (not enough)";
      }
    } else {
      out += ", free space unknown";
    }
    out += "\n";
  }
  return out;
}

std::string PlanJson(const TSetupDataModule& setup, const TSetupPlan& plan) {
  const PlanView view = MakeView(setup, plan);
  JsonWriter json;
  json.Open('{');
  json.Field("script", view.Script);
  if (!view.KeptFolder.empty()) json.Field("keptFolder", view.KeptFolder);
  json.Key("applications");
  json.Open('[');
  for (const AppRow& app : view.Applications) {
    json.Open('{');
    json.Key("section");
    if (app.Section.empty()) {
      json.Null();
    } else {
      json.String(app.Section);
    }
    json.Field("title", app.Title);
    json.Field("action", app.Action);
    if (!app.Reason.empty()) json.Field("reason", app.Reason);
    json.Field("record", app.Record);
    if (!app.InstallDir.empty()) json.Field("installDir", app.InstallDir);
    if (!app.Baggage.empty()) json.Field("baggage", app.Baggage);
    json.StringArray("deleteFiles", app.DeleteFiles);
    json.Key("fileGroups");
    json.Open('[');
    for (const GroupRow& group : app.Groups) {
      json.Open('{');
      json.Field("destDir", group.Dir);
      if (!group.UpdateMethod.empty()) json.Field("updateMethod", group.UpdateMethod);
      json.Key("files");
      json.Open('[');
      for (const FileRow& file : group.Files) {
        json.Open('{');
        json.Field("update", file.Update);
        json.Field("destination", file.Destination);
        if (!file.Member.empty()) json.Field("member", file.Member);
        if (!file.Source.empty()) json.Field("source", file.Source);
        json.Close('}');
      }
      json.Close(']');
      json.Close('}');
    }
    json.Close(']');
    json.Key("shortcuts");
    json.Open('[');
    for (const ShortcutRow& link : app.Shortcuts) {
      json.Open('{');
      json.Field("file", link.File);
      if (!link.Target.empty()) json.Field("target", link.Target);
      if (!link.Parameters.empty()) json.Field("parameters", link.Parameters);
      json.Close('}');
    }
    json.Close(']');
    json.Key("registry");
    json.Open('[');
    for (const RegRow& entry : app.RegEntries) {
      json.Open('{');
      json.Field("key", entry.Key);
      json.Field("name", entry.Name);
      json.Field("type", entry.Type);
      json.Key("value");
      if (entry.Written) {
        json.String(entry.Value);
      } else {
        json.Null();
      }
      json.Close('}');
    }
    json.Close(']');
    json.Close('}');
  }
  json.Close(']');
  json.Key("drives");
  json.Open('[');
  for (const DriveRow& drive : view.Drives) {
    json.Open('{');
    json.Field("drive", std::string(1, drive.Drive) + ":");
    json.Key("bytes");
    json.Number(drive.Bytes);
    json.Key("freeBytes");
    if (drive.Free) {
      json.Number(static_cast<std::int64_t>(*drive.Free));
    } else {
      json.Null();
    }
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
  return json.Text();
}

void WritePlan(const TSetupDataModule& setup, const TSetupPlan& plan, const std::string& file) {
  const std::string text = EndsWithJson(file) ? PlanJson(setup, plan) : PlanText(setup, plan);
  if (file.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
      throw Error("Cannot write the plan to standard output");
    }
    return;
  }
  std::unique_ptr<platform::File> out = platform::File::Create(file);
  if (!out) platform::ThrowLastOSError("write the plan to", file);
  out->Write(text.data(), text.size());
}

}  // namespace valise::setup
