// `valise check`: reads a distribution folder's setup script as the setup program reads it and
// reports, with file and line, what the setup would pass over in silence or find too late:
// sections and keys it never reads, numbering gaps after which nothing is read, values that do
// not parse, FileSpec patterns and baggage members that match nothing, and non-ASCII text
// without a byte-order mark.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "baggage/bag_writer.h"
#include "command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/text.h"
#include "platform/utf.h"
#include "util/integers.h"
#include "util/paths.h"

namespace valise::tools {
namespace {

const char kUsage[] =
    "usage: valise check [DIST]\n"
    "\n"
    "Reads the setup script of the distribution folder DIST (default: the current folder) as\n"
    "setup reads it and changes nothing. The script is the setup program's name with .inf\n"
    "(SETUP.inf beside SETUP.EXE), else the folder's only .inf file. Reports, each with file\n"
    "and line: unknown sections and keys, numbering gaps (nothing after a gap is read),\n"
    "values that do not parse, directory macros and references that do not expand\n"
    "(macro names are case-sensitive), FileSpec patterns that match no file or use \"/\", \"@\"\n"
    "members missing from a baggage named as <SrcDir>\\..., and a script with non-ASCII\n"
    "text but no byte-order mark.\n"
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

enum class Kind { Globals, Application, FileGroup, ShellLink, RegEntry, Unknown };

struct Classified {
  Kind kind = Kind::Unknown;
  int application = 0;
  int number = 0;  // of a file group, shortcut or registry entry
};

Classified Classify(std::string_view name) {
  if (Same(name, "Globals")) return {Kind::Globals};
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
      return {{"RegBaseKey", "Launch", "LaunchParams"}, {"HideLogo", "Language"}, {}};
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

  void Run(const std::vector<Section>& sections) {
    // Which numbers exist, to find gaps: applications, and per application each kind.
    std::map<int, int> applications;  // number -> line
    std::map<std::pair<int, Kind>, std::map<int, int>> subs;
    for (const Section& section : sections) {
      const Classified c = Classify(section.name);
      if (c.kind == Kind::Unknown) {
        findings_.push_back({section.line, "unknown section [" + section.name +
                                               "]; setup reads [Globals], [ApplicationN] and "
                                               "[ApplicationN.FileGroupN|ShellLinkN|RegEntryN]"});
        continue;
      }
      if (section.keys.empty()) {
        findings_.push_back(
            {section.line, "[" + section.name + "] holds no key and counts as missing"});
        continue;
      }
      if (c.kind == Kind::Application) applications[c.application] = section.line;
      if (c.kind != Kind::Globals && c.kind != Kind::Application) {
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
    CheckMembers();
    for (const Key& key : expanded_) CheckExpansion(key, readApps);
  }

 private:
  // The keys whose values the setup expands (directory macros and references); DeleteFileN
  // too.
  static std::vector<std::string_view> ExpandedKeys(Kind kind) {
    switch (kind) {
      case Kind::Globals:
        return {"Launch", "LaunchParams"};
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

  // The "@" members of each application with a Baggage in this folder ("<SrcDir>\..."), looked
  // up in that baggage. (Members of the program's own baggage are not looked up.)
  void CheckMembers() {
    for (const auto& [app, baggage] : baggages_) {
      constexpr std::string_view kSrcDir = "<SrcDir>";
      if (baggage.value.compare(0, kSrcDir.size(), kSrcDir) != 0) continue;
      const std::string path = dist_ + baggage.value.substr(kSrcDir.size());
      const auto attributes = platform::GetFileAttributes(path);
      if (!attributes) {
        findings_.push_back({baggage.line, "Baggage=" + baggage.value + ": there is no " + path});
        continue;
      }
      std::vector<std::string> names;
      if (*attributes & platform::kAttrDirectory) {
        for (const platform::FindEntry& entry : platform::FindFiles(path + "\\*.*")) {
          names.push_back(entry.name);
        }
      } else {
        try {
          for (const TBagEntry& entry : ReadBagContainer(path).entries) names.push_back(entry.Name);
        } catch (const std::exception& error) {
          findings_.push_back({baggage.line, "Baggage=" + baggage.value +
                                                 ": the baggage cannot be read: " + error.what()});
          continue;
        }
      }
      for (const Key& member : members_[app]) {
        const std::string name = member.value.substr(1);
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& entry) { return Same(entry, name); })) {
          findings_.push_back({member.line, member.name + "=" + member.value + ": the baggage " +
                                                path + " has no member " + name});
        }
      }
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
        if (c.kind == Kind::Application && Same(key.name, "Baggage") && !key.value.empty()) {
          baggages_[c.application] = key;
        }
      } else if (!rules.numbered.empty() && NumberAfter(key.name, rules.numbered)) {
        numbered[*NumberAfter(key.name, rules.numbered)] = key.line;
        if (Same(rules.numbered, "FileSpec")) {
          if (!key.value.empty() && key.value[0] == '@') members_[c.application].push_back(key);
          CheckFileSpec(key);
        }
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
  std::map<int, Key> baggages_;
  std::map<int, std::vector<Key>> members_;
  std::vector<Key> expanded_;      // values the setup expands
  std::map<int, int> fileGroups_;  // application -> file groups read
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
  Checker(dist, findings).Run(sections);
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
