// The posix backend's INI reader against GetPrivateProfileString under Wine, on a corpus of
// awkward script files: both must list the same sections and keys and return the same values.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/host_paths.h"
#include "platform/profile.h"
#include "test_support.h"
#include "wine_support.h"

namespace valise::platform {
namespace {

// The default handed to every lookup: no corpus file holds it as a value.
constexpr char kDefault[] = "\x01";

// Names and values as one line each: a backslash doubled, control characters as "\xNN".
std::string Escape(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// What one reader sees in one file, in the probe's record form after the rules of the
// interface: sections and keys each once, sections without keys left out.
struct Section {
  std::string name;
  std::vector<std::string> records;  // "K key", then "V value" or "D", then "U value" or "D"
};

std::string Render(const std::vector<Section>& sections) {
  std::string text;
  for (const Section& section : sections) {
    text += "S " + section.name + "\n";
    for (const std::string& record : section.records) text += record + "\n";
  }
  return text;
}

std::string PosixView(const std::string& file) {
  auto lookup = [&](const std::string& section, const std::string& key, const char* tag) {
    const std::string value = ReadProfileString(file, section, key, kDefault);
    return value == kDefault ? std::string("D") : std::string(tag) + " " + Escape(value);
  };
  std::vector<Section> sections;
  for (const std::string& name : ReadProfileSections(file)) {
    Section section{Escape(name), {}};
    for (const std::string& key : ReadProfileKeys(file, name)) {
      section.records.push_back("K " + Escape(key));
      section.records.push_back(lookup(name, key, "V"));
      section.records.push_back(lookup(AsciiUpper(name), AsciiUpper(key), "U"));
    }
    sections.push_back(std::move(section));
  }
  return Render(sections);
}

// Undoes Escape, to compare names without regard to case as the profile functions do.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Names compare as the readers compare them: ASCII letters without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  return AsciiUpper(Unescape(a)) == AsciiUpper(Unescape(b));
}

// Splits the probe's output into the raw view of each file and applies the interface's rules.
std::map<std::string, std::string> WineViews(const std::string& output) {
  std::map<std::string, std::vector<Section>> raw;
  std::vector<Section>* file = nullptr;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("F ")) {
      file = &raw[line.substr(2)];
    } else if (line.starts_with("S ") && file != nullptr) {
      file->push_back(Section{line.substr(2), {}});
    } else if (file != nullptr && !file->empty()) {
      file->back().records.push_back(line);
    }
  }
  std::map<std::string, std::string> views;
  for (auto& [name, sections] : raw) {
    std::vector<Section> kept;
    for (Section& section : sections) {
      if (section.records.empty()) continue;
      if (std::any_of(kept.begin(), kept.end(),
                      [&](const Section& other) { return SameName(other.name, section.name); })) {
        continue;
      }
      Section unique{section.name, {}};
      std::vector<std::string> keys;
      for (std::size_t i = 0; i + 3 <= section.records.size(); i += 3) {
        const std::string key = section.records[i].substr(2);
        if (std::any_of(keys.begin(), keys.end(),
                        [&](const std::string& other) { return SameName(other, key); })) {
          continue;
        }
        keys.push_back(key);
        unique.records.insert(unique.records.end(), section.records.begin() + i,
                              section.records.begin() + i + 3);
      }
      kept.push_back(std::move(unique));
    }
    views[name] = Render(kept);
  }
  return views;
}

std::vector<std::filesystem::path> CorpusFiles() {
  const std::filesystem::path folder =
      std::filesystem::path(__FILE__).parent_path() / "profile_corpus";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".ini") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ProfileParity, CorpusReadsAlikeUnderWine) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  ASSERT_GE(files.size(), 30u);
  if (!testing::WineAvailable()) GTEST_SKIP() << "Wine or the probe is missing";
  testing::SharedWinePrefix prefix;

  std::vector<std::string> args{"profile-dump"};
  for (const auto& file : files) args.push_back(ToWindowsPath(testing::Utf8Path(file)));
  const testing::WineResult result = prefix.Probe(args);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  const std::map<std::string, std::string> wine = WineViews(result.output);

  std::vector<std::string> differing;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& windowsPath = args[i + 1];
    const auto found = wine.find(Escape(windowsPath));
    ASSERT_NE(found, wine.end()) << windowsPath;
    const std::string posix = PosixView(windowsPath);
    if (posix != found->second) differing.push_back(files[i].filename().string());
    EXPECT_EQ(posix, found->second)
        << "posix reader (left) and Wine (right) differ on " << files[i].filename().string();
  }
  EXPECT_TRUE(differing.empty()) << differing.size() << " of " << files.size()
                                 << " corpus files read differently";
}

}  // namespace
}  // namespace valise::platform
