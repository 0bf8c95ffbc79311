// `valise check`: reads a distribution folder as the setup program reads it and reports, with
// file and line, what the setup would pass over in silence or find too late. The script's text
// is scanned line by line for what setup's reading loses (unknown sections and keys, gaps,
// values that do not parse); what depends on the baggages and the identities is asked of the
// setup engine's own readers.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "baggage/baggage.h"
#include "command.h"
#include "course/app_strings.h"
#include "course/languages.h"
#include "course/project.h"
#include "course/textpool.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/text.h"
#include "platform/utf.h"
#include "setup/data_module.h"
#include "util/file_utils.h"
#include "util/integers.h"
#include "util/paths.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise check [DIST]\n"
    "\n"
    "Reads the distribution folder DIST (default: the current folder) as setup reads it and\n"
    "changes nothing: the setup script, the baggages it names with their tables, the setup\n"
    "program's own baggage and the loose files. The script is the setup program's name with\n"
    ".inf (SETUP.inf beside SETUP.EXE), else the folder's only .inf file. Reports every\n"
    "finding at once, each with file and line: unknown sections and keys, numbering gaps\n"
    "(nothing after a gap is read), values that do not parse, directory macros and\n"
    "references that do not expand (macro names are case-sensitive), destinations that do\n"
    "not expand to a path on a drive, FileSpec patterns that match no file or use \"/\", \"@\"\n"
    "members missing from their baggage (the application's or the setup program's own),\n"
    "baggages that are missing or damaged (naming the member that cannot be read), project\n"
    "and text tables that are missing, every field a project table lacks, window texts\n"
    "missing in a language the window can speak, applications with the same record key,\n"
    "record keys that cannot be read back, and a script with non-ASCII text but no\n"
    "byte-order mark. Directory macros expand to this machine's folders.\n"
    "Exit code 0: no findings; 1: findings; 3: the folder or script cannot be read.\n";

struct Finding {
  int line = 0;
  std::string text;
};

struct Key {
  std::string name;
  std::string value;
  int line = 0;
};

struct Section {
  std::string name;
  int line = 0;
  std::vector<Key> keys;  // the first of each name; later ones are reported and dropped
};

bool IsSpace(char c) {
  return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' ';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool Same(std::string_view a, std::string_view b) {
  return platform::CompareTextIgnoreCase(a, b) == 0;
}

// `name` is `stem` followed by a number without leading zeros; the number, else nothing.
std::optional<int> NumberAfter(std::string_view name, std::string_view stem) {
  if (name.size() <= stem.size() || !Same(name.substr(0, stem.size()), stem)) return std::nullopt;
  const std::string_view digits = name.substr(stem.size());
  if (digits.size() > 6 || digits[0] == '0') return std::nullopt;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool ValidUtf8(std::string_view bytes) {
  return platform::Utf16ToUtf8(platform::Utf8ToUtf16(bytes)) == bytes;
}

// The script's text as the setup decodes it: UTF-8 or UTF-16 after a byte-order mark, else the
// ANSI code page.
std::string Decode(std::string_view bytes, std::vector<Finding>& findings) {
  if (bytes.substr(0, 3) == "\xef\xbb\xbf") return std::string(bytes.substr(3));
  if (bytes.substr(0, 2) == "\xff\xfe" || bytes.substr(0, 2) == "\xfe\xff") {
    const bool big = bytes[0] == '\xfe';
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto a = static_cast<unsigned char>(bytes[i]);
      const auto b = static_cast<unsigned char>(bytes[i + 1]);
      text += static_cast<char16_t>(big ? (a << 8 | b) : (b << 8 | a));
    }
    return platform::Utf16ToUtf8(text);
  }
  const auto high = std::find_if(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (high != bytes.end()) {
    const int line = 1 + static_cast<int>(std::count(bytes.begin(), high, '\n'));
    std::string text = "non-ASCII text without a byte-order mark is read in the ANSI code page";
    if (ValidUtf8(bytes)) {
      text += " (the file looks like UTF-8: its texts would come out garbled)";
    }
    findings.push_back({line, text + "; save the script as UTF-8 with a byte-order mark"});
  }
  return platform::AnsiToUtf8(bytes);
}

// Splits the text into sections as the setup's INI reading does: lines end at CR or LF, names
// and values are trimmed, one pair of quotes comes off a value, ";" starts a comment, the first
// section and key of a name count.
std::vector<Section> Parse(const std::string& text, std::vector<Finding>& findings) {
  std::vector<Section> sections(1);
  std::map<std::string, int> seenSections;
  std::map<std::string, int> seenKeys;
  Section* current = &sections.back();
  bool skipping = false;
  int line = 1;
  for (std::size_t next = 0; next < text.size();) {
    std::size_t end = text.find_first_of("\r\n", next);
    if (end == std::string::npos) end = text.size();
    const std::string_view raw = Trim(std::string_view(text).substr(next, end - next));
    const int number = line;
    if (end < text.size()) {
      ++line;
      if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    }
    next = end + 1;
    if (raw.empty() || raw[0] == ';') continue;
    if (raw[0] == '[') {
      const std::size_t close = raw.rfind(']');
      if (close == std::string_view::npos) {
        findings.push_back({number, "section header without \"]\": " + std::string(raw) +
                                        " is not read as a section"});
        continue;
      }
      const std::string name(Trim(raw.substr(1, close - 1)));
      const std::string upper = platform::UpperCase(name);
      const auto [seen, fresh] = seenSections.emplace(upper, number);
      if (!fresh) {
        findings.push_back({number, "[" + name + "] appears again (first at line " +
                                        std::to_string(seen->second) +
                                        "); only the first is read"});
        skipping = true;
        continue;
      }
      skipping = false;
      sections.push_back({name, number, {}});
      current = &sections.back();
      seenKeys.clear();
      continue;
    }
    if (skipping) continue;
    const std::size_t equals = raw.find('=');
    if (equals == std::string_view::npos) {
      findings.push_back({number, "line without \"=\" is ignored: " + std::string(raw)});
      continue;
    }
    Key key{std::string(Trim(raw.substr(0, equals))), std::string(Trim(raw.substr(equals + 1))),
            number};
    if (key.value.size() > 1 && (key.value[0] == '"' || key.value[0] == '\'') &&
        key.value.back() == key.value[0]) {
      key.value = key.value.substr(1, key.value.size() - 2);
    }
    const auto [seen, fresh] = seenKeys.emplace(platform::UpperCase(key.name), number);
    if (!fresh) {
      findings.push_back({number, key.name + " appears again in [" + current->name +
                                      "] (first at line " + std::to_string(seen->second) +
                                      "); only the first is read"});
      continue;
    }
    current->keys.push_back(std::move(key));
  }
  for (const Key& key : sections.front().keys) {
    findings.push_back({key.line, key.name + " stands before any section and is never read"});
  }
  sections.erase(sections.begin());
  return sections;
}

enum class Kind { Globals, Texts, Application, FileGroup, ShellLink, RegEntry, Unknown };

struct Classified {
  Kind kind = Kind::Unknown;
  int application = 0;
  int number = 0;  // of a file group, shortcut or registry entry
};

Classified Classify(std::string_view name) {
  if (Same(name, "Globals")) return {Kind::Globals};
  if (Same(name, "Texts")) return {Kind::Texts};
  const std::size_t dot = name.find('.');
  const std::optional<int> app = NumberAfter(name.substr(0, dot), "Application");
  if (!app) return {};
  if (dot == std::string_view::npos) return {Kind::Application, *app};
  const std::string_view sub = name.substr(dot + 1);
  for (const auto& [stem, kind] :
       {std::pair{"FileGroup", Kind::FileGroup}, std::pair{"ShellLink", Kind::ShellLink},
        std::pair{"RegEntry", Kind::RegEntry}}) {
    if (const std::optional<int> n = NumberAfter(sub, stem)) return {kind, *app, *n};
  }
  return {};
}

struct KeyRules {
  std::vector<std::string_view> strings;
  std::vector<std::string_view> integers;  // Booleans are integers too
  std::string_view numbered;               // "FileSpec": FileSpec1, FileSpec2, ...
};

KeyRules RulesOf(Kind kind) {
  switch (kind) {
    case Kind::Globals:
      return {{"RegBaseKey", "Launch", "LaunchParams", "Publisher"}, {"HideLogo", "Language"}, {}};
    case Kind::Texts:
      return {{"ButtonCancel", "ButtonContinue", "MsgCaptionInformation", "MsgCaptionWarning",
               "SConfirmCancel", "MsgInstall", "LabelDirectory", "SNoButtonCaption",
               "SOutOfDiskSpace", "SSetupCompleted", "SYesButtonCaption"},
              {},
              {}};
    case Kind::Application:
      return {{"Baggage", "ProductCode", "Title", "AltRegKey", "InstallDir"},
              {"AllowCustomInstallDir", "ProductID", "Version"},
              "DeleteFile"};
    case Kind::FileGroup:
      return {{"DestDir", "Name", "UpdateMethod"}, {"Optional"}, "FileSpec"};
    case Kind::ShellLink:
      return {{"Command", "CommandParams", "Folder", "Description", "IconLocation", "ShortCut",
               "WorkDir"},
              {"IconIndex", "Remove", "ShowCmd"},
              {}};
    case Kind::RegEntry:
      return {{"Key", "Name", "Type", "Value"}, {}, {}};
    case Kind::Unknown:
      break;
  }
  return {};
}

std::string List(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::string_view name : names) text += (text.empty() ? "" : ", ") + std::string(name);
  return text;
}

class Checker {
 public:
  Checker(std::string dist, std::vector<Finding>& findings)
      : dist_(std::move(dist)), findings_(findings) {}

  // Returns how many applications setup reads.
  int Run(const std::vector<Section>& sections) {
    // Which numbers exist, to find gaps: applications, and per application each kind.
    std::map<int, int> applications;  // number -> line
    std::map<std::pair<int, Kind>, std::map<int, int>> subs;
    for (const Section& section : sections) {
      const Classified c = Classify(section.name);
      if (c.kind == Kind::Unknown) {
        findings_.push_back(
            {section.line, "unknown section [" + section.name +
                               "]; setup reads [Globals], [Texts], [ApplicationN] and "
                               "[ApplicationN.FileGroupN|ShellLinkN|RegEntryN]"});
        continue;
      }
      if (section.keys.empty()) {
        findings_.push_back(
            {section.line, "[" + section.name + "] holds no key and counts as missing"});
        continue;
      }
      if (c.kind == Kind::Application) applications[c.application] = section.line;
      if (c.kind != Kind::Globals && c.kind != Kind::Texts && c.kind != Kind::Application) {
        subs[{c.application, c.kind}][c.number] = section.line;
      }
      CheckKeys(section, c);
    }
    if (!applications.contains(1)) {
      findings_.push_back({0, "there is no [Application1]: the script offers nothing to install"});
    }
    const int readApps = Gaps(applications, "Application",
                              [](int n) { return "[Application" + std::to_string(n) + "]"; });
    for (const auto& [where, numbers] : subs) {
      const int app = where.first;
      const Kind kind = where.second;
      const std::string stem = kind == Kind::FileGroup   ? "FileGroup"
                               : kind == Kind::ShellLink ? "ShellLink"
                                                         : "RegEntry";
      const std::string owner = "Application" + std::to_string(app);
      if (app > readApps) {
        for (const auto& [n, line] : numbers) {
          findings_.push_back({line, "[" + owner + "." + stem + std::to_string(n) +
                                         "] is never read: [" + owner + "] is not read"});
        }
        continue;
      }
      const int read = Gaps(
          numbers, stem, [&](int n) { return "[" + owner + "." + stem + std::to_string(n) + "]"; });
      if (kind == Kind::FileGroup) fileGroups_[app] = read;
    }
    for (const Key& key : expanded_) CheckExpansion(key, readApps);
    return readApps;
  }

 private:
  // The keys whose values the setup expands (directory macros and references); DeleteFileN
  // too.
  static std::vector<std::string_view> ExpandedKeys(Kind kind) {
    switch (kind) {
      case Kind::Globals:
        return {"Launch", "LaunchParams"};
      case Kind::Texts:
        break;
      case Kind::Application:
        return {"Baggage", "InstallDir"};
      case Kind::FileGroup:
        return {"DestDir"};
      case Kind::ShellLink:
        return {"Folder", "Command", "Description", "IconLocation"};
      case Kind::RegEntry:
        return {"Key", "Name", "Value"};
      case Kind::Unknown:
        break;
    }
    return {};
  }

  // Directory macros are matched with their letter case; a reference names an application the
  // script offers and one of its fields.
  void CheckExpansion(const Key& key, int readApps) {
    static constexpr std::string_view kMacros[] = {"<CommonFilesDir>",  "<FontDir>",
                                                   "<ProgramFilesDir>", "<SrcDir>",
                                                   "<SrcDisk>",         "<WinDir>",
                                                   "<WinDisk>",         "<WinSysDir>",
                                                   "<WinSysDisk>",      "<ProgramsMenuFolder>",
                                                   "<StartMenuFolder>", "<DesktopFolder>",
                                                   "<StartupFolder>",   "<SendToFolder>"};
    const std::string& text = key.value;
    const std::string where = key.name + "=" + text + ": ";
    for (std::size_t p = text.find('<'); p != std::string::npos; p = text.find('<', p + 1)) {
      const auto exact = std::find_if(std::begin(kMacros), std::end(kMacros), [&](auto macro) {
        return text.compare(p, macro.size(), macro) == 0;
      });
      if (exact != std::end(kMacros)) continue;
      const std::size_t close = text.find('>', p);
      const std::string token =
          text.substr(p, close == std::string::npos ? std::string::npos : close - p + 1);
      std::string hint =
          "; the macros are <ProgramFilesDir>, <CommonFilesDir>, <SrcDir>, "
          "<WinDir>, <ProgramsMenuFolder>, <DesktopFolder> and others (see "
          "docs/setup-script.md)";
      for (std::string_view macro : kMacros) {
        if (Same(macro, token)) {
          hint = "; macro names are case-sensitive: write " + std::string(macro);
        }
      }
      findings_.push_back({key.line, where + token + " is no directory macro" + hint});
    }
    for (std::size_t p = text.find('['); p != std::string::npos; p = text.find('[', p + 1)) {
      const std::size_t close = text.find(']', p);
      if (close == std::string::npos) {
        findings_.push_back({key.line, where + "\"[\" without \"]\""});
        break;
      }
      const std::string reference = text.substr(p, close - p + 1);
      const std::string inner = reference.substr(1, reference.size() - 2);
      const std::size_t dot = inner.find('.');
      const std::optional<int> app = NumberAfter(inner.substr(0, dot), "Application");
      std::string problem;
      if (!app || dot == std::string::npos) {
        problem =
            "is no reference; write [ApplicationN.InstallDir], [ApplicationN.Title], "
            "[ApplicationN.FileGroupM] and the like";
      } else if (*app > readApps) {
        problem = "refers to [Application" + std::to_string(*app) +
                  "], which the script does "
                  "not offer";
      } else {
        const std::string field = inner.substr(dot + 1);
        const std::optional<int> group = NumberAfter(field, "FileGroup");
        const bool known = Same(field, "InstallDir") || Same(field, "Title") ||
                           Same(field, "ProductCode") || Same(field, "Release") ||
                           Same(field, "ProductID") || group.has_value();
        if (!known) {
          problem =
              "names no field: InstallDir, Title, ProductCode, Release, ProductID or "
              "FileGroupN";
        } else if (group && *group > fileGroups_[*app]) {
          problem =
              "refers to a file group that [Application" + std::to_string(*app) + "] does not have";
        }
      }
      if (!problem.empty()) findings_.push_back({key.line, where + reference + " " + problem});
    }
  }

  // Reports the numbers after the first gap; returns the highest number that is read.
  template <typename Name>
  int Gaps(const std::map<int, int>& numbers, std::string_view what, Name name) {
    int read = 0;
    while (numbers.contains(read + 1)) ++read;
    for (const auto& [n, line] : numbers) {
      if (n <= read) continue;
      findings_.push_back({line, name(n) + " is never read: there is no " + name(read + 1) + " (" +
                                     std::string(what) + " numbers run 1, 2, 3, ...)"});
    }
    return read;
  }

  void CheckKeys(const Section& section, const Classified& c) {
    const KeyRules rules = RulesOf(c.kind);
    const auto in = [](const std::vector<std::string_view>& names, std::string_view name) {
      return std::any_of(names.begin(), names.end(),
                         [&](std::string_view known) { return Same(known, name); });
    };
    const std::string where = "[" + section.name + "]";
    std::map<int, int> numbered;
    const bool hasBaggage = std::any_of(section.keys.begin(), section.keys.end(), [](const Key& k) {
      return Same(k.name, "Baggage") && !k.value.empty();
    });
    for (const Key& key : section.keys) {
      if (in(ExpandedKeys(c.kind), key.name) ||
          (c.kind == Kind::Application && NumberAfter(key.name, "DeleteFile"))) {
        expanded_.push_back(key);
      }
      if (in(rules.integers, key.name)) {
        std::int32_t value = 0;
        if (!key.value.empty() && !TryStrToInt(key.value, value)) {
          findings_.push_back({key.line, key.name + "=" + key.value +
                                             " is not a number and reads as the default; write "
                                             "a number (1 or 0 for yes or no)"});
        }
      } else if (in(rules.strings, key.name)) {
        CheckString(section, key);
      } else if (!rules.numbered.empty() && NumberAfter(key.name, rules.numbered)) {
        numbered[*NumberAfter(key.name, rules.numbered)] = key.line;
        if (Same(rules.numbered, "FileSpec")) CheckFileSpec(key);
        continue;
      } else {
        std::string text = "unknown key " + key.name + " in " + where;
        if (!rules.numbered.empty() && Same(key.name, rules.numbered)) {
          text += " (numbered: " + std::string(rules.numbered) + "1, " +
                  std::string(rules.numbered) + "2, ...)";
        }
        findings_.push_back(
            {key.line,
             text + "; keys read there: " + List(rules.strings) +
                 (rules.integers.empty() ? "" : ", ") + List(rules.integers) +
                 (rules.numbered.empty() ? "" : ", " + std::string(rules.numbered) + "N")});
        continue;
      }
      if (c.kind == Kind::Application && hasBaggage &&
          (Same(key.name, "ProductCode") || Same(key.name, "ProductID") ||
           Same(key.name, "Version"))) {
        findings_.push_back({key.line, key.name +
                                           " is not read: the application names a Baggage, whose "
                                           "project table gives its identity"});
      }
    }
    if (!rules.numbered.empty()) {
      Gaps(numbered, rules.numbered,
           [&](int n) { return std::string(rules.numbered) + std::to_string(n); });
    }
  }

  void CheckString(const Section&, const Key& key) {
    const auto oneOf = [&](std::vector<std::string_view> names, std::string_view effect) {
      if (key.value.empty()) return;
      for (std::string_view name : names) {
        if (Same(name, key.value)) return;
      }
      findings_.push_back({key.line, key.name + "=" + key.value + " names none of " + List(names) +
                                         "; " + std::string(effect)});
    };
    if (Same(key.name, "UpdateMethod")) {
      oneOf({"updVersion", "updDate", "updAlways", "updNever"},
            "existing files are kept as with updNever");
    } else if (Same(key.name, "Type")) {
      oneOf({"rdString", "rdExpandString", "rdInteger", "rdBinary", "rdUnknown"},
            "the entry writes no value");
    }
  }

  void CheckFileSpec(const Key& key) {
    const std::string& spec = key.value;
    if (spec.empty() || spec[0] == '@') return;
    if (spec.find('/') != std::string::npos) {
      findings_.push_back(
          {key.line, key.name + "=" + spec + " uses \"/\"; setup paths are written with \"\\\""});
    }
    const bool absolute = (spec.size() >= 2 && spec[1] == ':') || spec[0] == '\\';
    const std::string path = absolute ? spec : IncludeTrailingBackslash(dist_) + spec;
    bool any = false;
    platform::FindFiles(path, [&](const platform::FindEntry& entry) {
      any = (entry.attributes & platform::kAttrDirectory) == 0;
      return !any;
    });
    if (!any) {
      findings_.push_back({key.line, key.name + "=" + spec + " matches no file" +
                                         (absolute ? std::string() : " in " + dist_)});
    }
  }

  std::string dist_;
  std::vector<Finding>& findings_;
  std::vector<Key> expanded_;      // values the setup expands
  std::map<int, int> fileGroups_;  // application -> file groups read
};

// The line of a key of a section (the section's own line when the key is missing; 0 when the
// section is too).
int LineOf(const std::vector<Section>& sections, std::string_view section, std::string_view key) {
  for (const Section& candidate : sections) {
    if (!Same(candidate.name, section)) continue;
    for (const Key& k : candidate.keys) {
      if (Same(k.name, key)) return k.line;
    }
    return candidate.line;
  }
  return 0;
}

// Shows nothing: what setup would show in a box is reported as a finding instead.
class QuietUI final : public setup::TSetupUI {
 public:
  void ShowError(std::string_view) override {}
  void ShowInformation(std::string_view, std::string_view) override {}
  void WarnMissingString(std::string_view) override {}
};

// What only the setup engine's own readers can tell: each application read as setup reads it,
// its baggage opened and its tables loaded, its "@" members looked up, its identity and record
// key, the folders its values expand to, and the window texts of each language the script
// runs in.
class EngineChecks {
 public:
  EngineChecks(const std::string& program, const std::string& script,
               const std::vector<tools::Section>& sections, std::vector<Finding>& findings)
      : sections_(sections),
        findings_(findings),
        script_(script),
        module_(ui_, program, {"/inf=" + script}),
        baggage_(module_.CommandLine.BaggageArguments()) {}

  void Run(int readApps) {
    module_.Globals = setup::ReadGlobals(script_);
    for (int n = 1; n <= readApps; ++n) ReadApplication(n);
    for (const auto& app : module_.Applications) CheckDestinations(*app);
    CheckTexts();
  }

 private:
  static std::string AppSection(int app) { return "Application" + std::to_string(app); }

  void Report(int line, std::string text) { findings_.push_back({line, std::move(text)}); }

  void ReadApplication(int n) {
    const std::string section = AppSection(n);
    auto app = std::make_unique<setup::TSetupApplication>();
    app->ScriptIndex = n;
    const auto expand = [this](std::string& text) { module_.ExpandDirMacros(text); };
    app->OnExpand = expand;
    try {
      app->LoadFromScript(script_, section, module_.ProgramDir());
    } catch (const setup::ESetup& error) {
      Report(LineOf(sections_, section, ""), error.what());
      return;
    } catch (const Error&) {
      // A FileSpec that matches nothing (reported already) ends the reading of the section:
      // the file groups and shortcuts are read one by one for the checks that follow.
      app->FileGroups.clear();
      app->ShellLinks.clear();
      for (int g = 1; script_.SectionExists(section + ".FileGroup" + std::to_string(g)); ++g) {
        auto group = std::make_unique<setup::TSetupFileGroup>();
        try {
          group->LoadFromScript(script_, section + ".FileGroup" + std::to_string(g),
                                module_.ProgramDir());
        } catch (const Error&) {
        }
        app->FileGroups.push_back(std::move(group));
      }
      for (int l = 1; script_.SectionExists(section + ".ShellLink" + std::to_string(l)); ++l) {
        auto link = std::make_unique<setup::TSetupShellLink>();
        link->LoadFromScript(script_, section + ".ShellLink" + std::to_string(l));
        app->ShellLinks.push_back(std::move(link));
      }
    }
    for (const auto& group : app->FileGroups) group->OnExpand = expand;
    for (const auto& link : app->ShellLinks) link->OnExpand = expand;

    std::string baggage;
    const bool opened =
        app->Baggage.empty() ? SelectProgramBaggage(*app, baggage) : OpenBaggage(*app, baggage);
    if (opened) CheckMembers(*app, baggage);
    if (app->Baggage.empty() || opened) CheckIdentity(*app);
    module_.Applications.push_back(std::move(app));
  }

  // The program's own baggage, for an application that installs "@" members without naming a
  // baggage.
  bool SelectProgramBaggage(const setup::TSetupApplication& app, std::string& name) {
    const auto member = FirstMember(app.ScriptIndex);
    if (!member) return false;
    const std::string where =
        member->name + "=" + member->value + ": the setup program " + module_.ProgramPath() + " ";
    try {
      baggage_.Select("");
    } catch (const Error& error) {
      Report(member->line, where + "has no baggage: " + error.what());
      return false;
    }
    if (!BagHasContainer() && !DirExists(BagDirectory())) {
      Report(member->line, where + "carries no baggage, nor is there a folder " +
                               module_.ProgramDir() + "\\BAG of its files");
      return false;
    }
    name = "of the setup program";
    return true;
  }

  // Makes the application's baggage current and reads its tables as setup does; reports what
  // fails: the baggage, a missing table, every missing field of the project table at once.
  bool OpenBaggage(setup::TSetupApplication& app, std::string& name) {
    const int line = LineOf(sections_, AppSection(app.ScriptIndex), "Baggage");
    const std::string where = "Baggage=" + app.Baggage + ": ";
    std::string path;
    try {
      path = app.ExpandedBaggage();
    } catch (const Error&) {
      return false;  // reported with the value's macros and references
    }
    try {
      baggage_.Select(path);
    } catch (const Error& error) {
      Report(line, where + "the baggage " + path + " cannot be opened: " + error.what());
      return false;
    }
    // A file that holds no baggage leaves setup looking for loose files in a BAG folder.
    if (!BagHasContainer() && !DirExists(path)) {
      Report(line, where + "the baggage " + path + " is damaged or no baggage");
      return false;
    }
    name = path;
    bool tables = true;
    for (const char* table :
         {course::TProjectInterface::kTableName, course::TTextpoolInterface::kTableName}) {
      if (!BagFileExists(table)) {
        Report(line, where + "the baggage " + path + " has no table " + table);
        tables = false;
      }
    }
    if (!tables) return false;
    course::TProjectInterface& project = course::Project();
    try {
      project.Close();
      project.Open(false);
    } catch (const Error& error) {
      Report(line, where + "the project table " + course::TProjectInterface::kTableName +
                       " cannot be read: " + error.what());
      return false;
    }
    const std::vector<course::TProjectField> missing =
        course::MissingProjectFields(project.Table());
    if (!missing.empty()) {
      std::string fields;
      for (const course::TProjectField& field : missing) {
        fields += (fields.empty() ? "" : ", ") + std::string(field.name) + " (" +
                  std::string(field.kind) + ")";
      }
      Report(line, where + "the project table " + course::TProjectInterface::kTableName +
                       " lacks the field" + (missing.size() == 1 ? " " : "s ") + fields);
      return false;
    }
    try {
      app.OpenBaggage(baggage_);
    } catch (const Error& error) {
      Report(line, where + "the baggage " + path + " cannot be read: " + error.what());
      return false;
    }
    return true;
  }

  // The "@" members of an application's file groups, with their lines, in the order setup
  // reads them.
  std::vector<Key> Members(int app) const {
    std::vector<Key> members;
    for (int g = 1;; ++g) {
      const std::string name = AppSection(app) + ".FileGroup" + std::to_string(g);
      const auto section =
          std::find_if(sections_.begin(), sections_.end(),
                       [&](const tools::Section& s) { return Same(s.name, name); });
      if (section == sections_.end() || section->keys.empty()) break;
      for (int f = 1;; ++f) {
        const auto key = std::find_if(
            section->keys.begin(), section->keys.end(),
            [&](const Key& k) { return Same(k.name, "FileSpec" + std::to_string(f)); });
        if (key == section->keys.end()) break;
        if (!key->value.empty() && key->value[0] == '@') members.push_back(*key);
      }
    }
    return members;
  }

  std::optional<Key> FirstMember(int app) const {
    std::vector<Key> members = Members(app);
    if (members.empty()) return std::nullopt;
    return members.front();
  }

  // Looks each "@" member up in the current baggage.
  void CheckMembers(const setup::TSetupApplication& app, const std::string& baggage) {
    for (const Key& member : Members(app.ScriptIndex)) {
      const std::string name = member.value.substr(1);
      if (BagFileExists(name)) continue;
      Report(member.line, member.name + "=" + member.value + ": the baggage " + baggage +
                              " has no member " + name);
    }
  }

  // The record key must read back as the same identity, and no two applications may share a
  // record: setup would take the second for the first.
  void CheckIdentity(const setup::TSetupApplication& app) {
    const std::string section = AppSection(app.ScriptIndex);
    const int line = !app.Baggage.empty()     ? LineOf(sections_, section, "Baggage")
                     : !app.AltRegKey.empty() ? LineOf(sections_, section, "AltRegKey")
                                              : LineOf(sections_, section, "ProductCode");
    try {
      setup::TSetupDataModule::CheckRecordKey(app);
    } catch (const setup::ESetup& error) {
      Report(line, error.what());
      return;
    }
    const std::string record = app.AltRegKey.empty() ? app.RecordKey() : app.AltRegKey;
    for (const auto& other : module_.Applications) {
      const std::string otherRecord =
          other->AltRegKey.empty() ? other->RecordKey() : other->AltRegKey;
      if (platform::CompareTextIgnoreCase(record, otherRecord) != 0) continue;
      Report(line, section + " has the record key " + record + " of " +
                       AppSection(other->ScriptIndex) + ": setup takes it for " +
                       AppSection(other->ScriptIndex) + " and never installs it");
      return;
    }
  }

  // Every folder and file the install writes or deletes must expand to a full path on a drive.
  void CheckDestinations(const setup::TSetupApplication& app) {
    const std::string section = AppSection(app.ScriptIndex);
    const auto check = [&](const std::string& raw, const std::string& sub, const std::string& key,
                           const std::string& what) {
      std::string path = raw;
      try {
        module_.ExpandDirMacros(path);
      } catch (const Error&) {
        return;  // reported with the value's macros and references
      }
      if (IsAbsoluteDrivePath(path)) return;
      // A folder this machine does not have (no prefix on Linux) leaves a macro empty: the
      // path begins with a backslash then, and tells nothing about the script.
      if (path.starts_with("\\") && (raw.starts_with("<") || raw.starts_with("["))) return;
      Report(LineOf(sections_, sub, key), key + "=" + raw + ": the " + what + " " + path +
                                              " has no drive; setup refuses to install to a "
                                              "folder that is not a full path like C:\\...");
    };
    if (!app.InstallDir.empty()) check(app.InstallDir, section, "InstallDir", "folder");
    for (std::size_t i = 0; i < app.DeleteFiles.size(); ++i) {
      check(app.DeleteFiles[i], section, "DeleteFile" + std::to_string(i + 1), "file");
    }
    for (std::size_t i = 0; i < app.FileGroups.size(); ++i) {
      check(app.FileGroups[i]->DestDir, section + ".FileGroup" + std::to_string(i + 1), "DestDir",
            "folder");
    }
    for (std::size_t i = 0; i < app.ShellLinks.size(); ++i) {
      const std::string folder =
          app.ShellLinks[i]->Folder.empty() ? "<ProgramsMenuFolder>" : app.ShellLinks[i]->Folder;
      check(folder, section + ".ShellLink" + std::to_string(i + 1), "Folder", "folder");
    }
  }

  // The window speaks the "Language" of the script, else the user's: each language an
  // application brings can be the window's, and must then find all its texts.
  void CheckTexts() {
    const auto& apps = module_.Applications;
    std::vector<course::TLanguage> languages;
    const bool fixed = module_.Globals.Language != course::LANG_NONE;
    if (fixed) {
      languages.push_back(module_.Globals.Language);
    } else {
      for (const auto& app : apps) {
        if (app->Language == course::LANG_NONE || app->Language == course::kNoLanguage) continue;
        if (std::find(languages.begin(), languages.end(), app->Language) == languages.end()) {
          languages.push_back(app->Language);
        }
      }
    }
    std::vector<setup::TTextSource> sources;
    for (const auto& app : apps) sources.push_back({app->Language, &app->Texts});
    for (const course::TLanguage language : languages) {
      std::int32_t index = -1;
      for (std::size_t i = 0; i < apps.size() && index < 0; ++i) {
        if (apps[i]->Language == language) index = static_cast<std::int32_t>(i);
      }
      const int line = fixed || index < 0
                           ? LineOf(sections_, "Globals", "Language")
                           : LineOf(sections_, AppSection(apps[index]->ScriptIndex), "Baggage");
      const std::string name = course::LanguageName(language);
      // The script's own [Texts] stand in where no application has a text.
      const setup::TWindowTexts texts =
          setup::ChooseWindowTexts(sources, language, index, &module_.Globals.Texts);
      const bool anyText =
          std::any_of(setup::TWindowTexts::kFields.begin(), setup::TWindowTexts::kFields.end(),
                      [&](const auto& field) { return !setup::IsMissingText(texts.*field.text); });
      if (index < 0 && !anyText) {
        Report(line, "Language=" + std::to_string(language) + ": no application brings texts in " +
                         name + "; the window shows marker texts such as \xC2\xAB" +
                         course::TTextpoolInterface::IdentifierOf(course::kWindowTextIds[0]) + "|" +
                         name + "\xC2\xBB");
        continue;
      }
      std::string missing;
      std::string marker;
      for (const setup::TWindowTexts::Field& field : setup::TWindowTexts::kFields) {
        const std::string& text = texts.*field.text;
        if (text.rfind("\xC2\xAB", 0) != 0) continue;
        missing +=
            (missing.empty() ? "" : ", ") + course::TTextpoolInterface::IdentifierOf(field.id);
        if (marker.empty()) marker = text;
      }
      if (missing.empty()) continue;
      Report(line, "the window texts in " + name + " lack " + missing + "; the window shows " +
                       marker + " and the like: add them to the text pool of an application in " +
                       name);
    }
  }

  const std::vector<tools::Section>& sections_;
  std::vector<Finding>& findings_;
  QuietUI ui_;
  setup::TScript script_;
  setup::TSetupDataModule module_;
  setup::TCurrentBaggage baggage_;
};

bool IsFile(const std::string& path) {
  const auto attributes = platform::GetFileAttributes(path);
  return attributes && (*attributes & platform::kAttrDirectory) == 0;
}

// The script setup reads in the folder: beside the setup program, else the only .inf file.
std::optional<std::string> FindScript(const std::string& dist) {
  for (const char* program : {"SETUP.EXE", "SETUP"}) {
    if (IsFile(dist + "\\" + program) && IsFile(dist + "\\SETUP.inf")) {
      return dist + "\\SETUP.inf";
    }
  }
  std::vector<std::string> scripts;
  platform::FindFiles(dist + "\\*.inf", [&](const platform::FindEntry& entry) {
    if ((entry.attributes & platform::kAttrDirectory) == 0) scripts.push_back(entry.name);
    return true;
  });
  if (scripts.size() != 1) return std::nullopt;
  return dist + "\\" + scripts.front();
}

// The setup program that reads the script: the script's path without ".inf", with ".EXE" or
// without (a native build's), as it stands in the folder.
std::string ProgramOf(const std::string& script) {
  const std::string stem = script.substr(0, script.size() - ExtractFileExt(script).size());
  if (IsFile(stem + ".EXE")) return stem + ".EXE";
  if (IsFile(stem)) return stem;
  return stem + ".EXE";
}

int Run(const std::vector<std::string>& args) {
  if (args.size() > 1) throw UsageError("too many arguments");
  const std::string dist = ExcludeTrailingBackslash(
      platform::GetFullPathName(platform::ToWindowsPath(args.empty() ? "." : args[0])));
  const auto attributes = platform::GetFileAttributes(dist);
  if (!attributes || (*attributes & platform::kAttrDirectory) == 0) {
    std::fprintf(stderr, "valise check: %s is no folder\n", dist.c_str());
    return 3;
  }
  const std::optional<std::string> script = FindScript(dist);
  if (!script) {
    std::fprintf(stderr,
                 "valise check: no setup script in %s (SETUP.inf beside the setup "
                 "program, or a single .inf file)\n",
                 dist.c_str());
    return 3;
  }
  std::string bytes;
  try {
    std::unique_ptr<platform::File> file = platform::File::OpenRead(*script);
    if (!file) platform::ThrowLastOSError("open", *script);
    char buffer[65536];
    while (const std::size_t count = file->Read(buffer, sizeof buffer)) bytes.append(buffer, count);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "valise check: %s\n", error.what());
    return 3;
  }
  std::vector<Finding> findings;
  const std::vector<Section> sections = Parse(Decode(bytes, findings), findings);
  const int readApps = Checker(dist, findings).Run(sections);
  try {
    EngineChecks(ProgramOf(*script), *script, sections, findings).Run(readApps);
  } catch (const std::exception& error) {
    findings.push_back({0, std::string("setup cannot read the script: ") + error.what()});
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  const std::string name(ExtractFileName(*script));
  for (const Finding& finding : findings) {
    if (finding.line == 0) {
      std::printf("%s: %s\n", name.c_str(), finding.text.c_str());
    } else {
      std::printf("%s:%d: %s\n", name.c_str(), finding.line, finding.text.c_str());
    }
  }
  if (findings.empty()) {
    std::printf("%s: no findings\n", script->c_str());
    return 0;
  }
  std::printf("%zu finding%s in %s\n", findings.size(), findings.size() == 1 ? "" : "s",
              script->c_str());
  return 1;
}

const Command kCheck("check", "checks a distribution folder's setup script", kUsage, Run);

}  // namespace
}  // namespace valise::tools
