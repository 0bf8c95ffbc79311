// The demo product as a publisher ships it: its plan, as text and as JSON, is exactly the one
// written down in demo_plan.txt and demo_plan.json, and the silent run after it installs
// exactly the planned files, shortcuts and registry entries, in a prefix of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "platform/host_paths.h"
#include "platform/posix/prefix_layout.h"
#include "platform/registry.h"
#include "run_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::TempDir;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A file group lists its files in the order the folder lists them, which on Linux is the file
// system's own: the file lines of each group are sorted, and the file objects of each JSON
// array "files".
std::string SortedText(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  for (auto run = lines.begin(); run != lines.end();) {
    const auto isFile = [](const std::string& line) { return line.starts_with("    "); };
    run = std::find_if(run, lines.end(), isFile);
    const auto end = std::find_if_not(run, lines.end(), isFile);
    std::sort(run, end);
    run = end;
  }
  return Joined(lines);
}

std::string SortedJson(const std::string& json) {
  std::vector<std::string> lines = Lines(json);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out.push_back(lines[i]);
    if (!lines[i].ends_with("\"files\": [")) continue;
    const std::string indent(lines[i].find('"'), ' ');
    // The objects, each without its closing comma.
    std::vector<std::string> objects;
    std::string object;
    for (++i; i < lines.size() && lines[i] != indent + "]"; ++i) {
      std::string line = lines[i];
      const bool last = line == indent + "  }," || line == indent + "  }";
      if (last) line = indent + "  }";
      object += line + "\n";
      if (last) {
        objects.push_back(object);
        object.clear();
      }
    }
    std::sort(objects.begin(), objects.end());
    for (std::size_t k = 0; k < objects.size(); ++k) {
      std::vector<std::string> objectLines = Lines(objects[k]);
      if (k + 1 < objects.size()) objectLines.back() += ",";
      out.insert(out.end(), objectLines.begin(), objectLines.end());
    }
    if (i < lines.size()) out.push_back(lines[i]);
  }
  return Joined(out);
}

class DemoPlan : public ::testing::Test {
 protected:
  DemoPlan() {
    const char* previous = std::getenv("WINEPREFIX");
    if (previous != nullptr) previousPrefix_ = previous;
    ::setenv("WINEPREFIX", (prefix_.host() / "prefix").c_str(), 1);
  }
  ~DemoPlan() override {
    if (previousPrefix_) {
      ::setenv("WINEPREFIX", previousPrefix_->c_str(), 1);
    } else {
      ::unsetenv("WINEPREFIX");
    }
  }

  int Setup(std::vector<std::string> args) {
    args.push_back("/nomsg");
    args.push_back("/log=" + out_.win("setup.log"));
    return testing::RunProgram(VALISE_DEMO_DIST "/SETUP", args);
  }

  // The expected text of a file beside this test, with the folders of this machine put in.
  static std::string Expected(const std::string& name, bool json) {
    std::string text = ReadHostFile(std::filesystem::path(VALISE_E2E_DATA) / name);
    const std::string dist = platform::ToWindowsPath(VALISE_DEMO_DIST);
    text = Replaced(text, "{DIST}", json ? Replaced(dist, "\\", "\\\\") : dist);
    return Replaced(text, "{USER}", platform::posix::PrefixUserName());
  }

  TempDir prefix_;
  TempDir out_;
  std::optional<std::string> previousPrefix_;
};

TEST_F(DemoPlan, IsWhatTheSilentRunInstalls) {
  ASSERT_EQ(Setup({"/plan=" + out_.win("plan.txt")}), 0) << ReadHostFile(out_.host() / "setup.log");
  ASSERT_EQ(Setup({"/plan=" + out_.win("plan.json")}), 0)
      << ReadHostFile(out_.host() / "setup.log");
  const std::string text = std::regex_replace(ReadHostFile(out_.host() / "plan.txt"),
                                              std::regex("[0-9]+ bytes free"), "{FREE} bytes free");
  EXPECT_EQ(SortedText(text), SortedText(Expected("demo_plan.txt", false)));
  const std::string json =
      std::regex_replace(ReadHostFile(out_.host() / "plan.json"),
                         std::regex("\"freeBytes\": [0-9]+"), "\"freeBytes\": {FREE}");
  EXPECT_EQ(SortedJson(json), SortedJson(Expected("demo_plan.json", true)));

  // Nothing changed yet.
  const std::filesystem::path driveC = prefix_.host() / "prefix" / "drive_c";
  EXPECT_FALSE(std::filesystem::exists(driveC / "Program Files" / "Vantorel"));
  EXPECT_FALSE(platform::RegKey::Open(platform::RegRoot::CurrentUser, "Software\\Vantorel"));

  ASSERT_EQ(Setup({"/silent"}), 0) << ReadHostFile(out_.host() / "setup.log");

  // The files and shortcuts below C: are exactly the planned ones.
  std::set<std::string> planned;
  std::vector<std::string> registry;
  const std::regex fileLine("^    new +(.*) <- .*$|^  Shortcut: (.*) -> .*$");
  const std::regex registryLine("^  Registry: (.*)$");
  for (const std::string& line : Lines(ReadHostFile(out_.host() / "plan.txt"))) {
    std::smatch match;
    if (line.starts_with("Kept for removal: ")) {
      // The setup program and its removal script, kept beside the product's files.
      for (std::string kept = line.substr(18); !kept.empty();) {
        const std::size_t comma = kept.find(", ");
        planned.insert(kept.substr(0, comma));
        kept = comma == std::string::npos ? std::string() : kept.substr(comma + 2);
      }
    } else if (std::regex_match(line, match, fileLine)) {
      planned.insert(match[1].matched ? match[1].str() : match[2].str());
    } else if (std::regex_match(line, match, registryLine)) {
      registry.push_back(match[1].str());
    }
  }
  EXPECT_EQ(planned.size(), 18u);  // 13 files, 3 shortcuts, the kept program and its script
  std::set<std::string> installed;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(driveC)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = testing::Utf8Path(std::filesystem::relative(entry.path(), driveC));
    if (relative.starts_with("windows/")) continue;
    installed.insert("C:\\" + Replaced(relative, "/", "\\"));
  }
  EXPECT_EQ(installed, planned);

  // Each planned registry entry holds its planned value.
  EXPECT_EQ(registry.size(), 6u);
  const std::regex valueEntry("^HKEY_CURRENT_USER\\\\(.*), (.*) \\((rd[A-Za-z]+)\\) = (.*)$");
  const std::regex keyEntry("^HKEY_CURRENT_USER\\\\(.*), (.*) \\((rd[A-Za-z]+)\\): key created.*$");
  for (const std::string& entry : registry) {
    std::smatch match;
    if (std::regex_match(entry, match, valueEntry)) {
      const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, match[1].str());
      ASSERT_TRUE(key) << entry;
      const auto value = key->Read(match[2].str());
      ASSERT_TRUE(value) << entry;
      if (match[3] == "rdInteger") {
        EXPECT_EQ(value->type, platform::RegType::DWord) << entry;
        EXPECT_EQ(std::to_string(value->number), match[4].str()) << entry;
      } else {
        EXPECT_EQ(value->type, match[3] == "rdString" ? platform::RegType::String
                                                      : platform::RegType::ExpandString)
            << entry;
        EXPECT_EQ(value->text, match[4].str()) << entry;
      }
    } else {
      ASSERT_TRUE(std::regex_match(entry, match, keyEntry)) << entry;
      const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, match[1].str());
      ASSERT_TRUE(key) << entry;
      EXPECT_TRUE(key->ValueNames().empty()) << entry;
    }
  }
}

}  // namespace
}  // namespace valise
