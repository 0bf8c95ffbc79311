// The posix backend's INI reader against GetPrivateProfileStringW under Wine, over files made
// to hit the corners: quotes, white space, duplicates, headers, encodings and long values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "test_support.h"
#include "wine_support.h"

namespace valise::platform {
namespace {

struct Query {
  std::string section;
  std::string key;
  std::string fallback;
};

struct Case {
  std::string name;
  std::string bytes;
  std::vector<Query> queries;
  std::vector<std::string> keySections;  // sections whose key lists are compared
};

std::vector<Case> Cases() {
  const std::string longValue(3000, 'L');
  return {
      {"basic.ini",
       "[Globals]\r\n  Title  =  My Product  \r\nEmpty=\r\nPath = C:\\x\\y\r\n",
       {{"globals", "TITLE", "d"},
        {"Globals", "Empty", "d"},
        {" Globals ", " path ", ""},
        {"Globals", "missing", "fallback"},
        {"Nope", "Title", "fb"},
        {"Globals", "", "d"}},
       {"Globals", "GLOBALS"}},
      {"quotes.ini",
       "[S]\ndouble=\"dq\"\nsingle='sq'\ntwice=\"\"in\"\"\nopen=\"open\nmixed=\"m'\n"
       "inside=a \"b\" c\nlone=\"\npair=\"\"\nsp=\"  spaced  \"\nsq1='\n",
       {{"S", "double", ""},
        {"S", "single", ""},
        {"S", "twice", ""},
        {"S", "open", ""},
        {"S", "mixed", ""},
        {"S", "inside", ""},
        {"S", "lone", ""},
        {"S", "pair", "x"},
        {"S", "sp", ""},
        {"S", "sq1", ""}},
       {"S"}},
      {"dups.ini",
       "[App]\nKey=first\nKEY=second\n[Extra]\nx=1\n[app]\nKey=third\nLater=later\n",
       {{"App", "key", ""}, {"APP", "Later", "none"}, {"extra", "X", ""}},
       {"App", "Extra"}},
      {"bare.ini",
       "; lead\n[A]\nName=One\n; c=with equals\nbare line\nFileSpec1=\nname=dup\n"
       "K\nK=after bare\n=nameless\n=second nameless\nZ=z\n[Empty]\n[B]\nName=Two\n",
       {{"A", "bare line", "dflt"},
        {"A", "K", "dflt"},
        {"A", "; c", "dflt"},
        {"A", "Z", ""},
        {"A", " ", "dflt"},
        {"B", "name", ""},
        {"Empty", "x", "e"}},
       {"A", "Empty", "B", "Missing"}},
      {"headers.ini",
       "[A]B] trailing\nK=ab\n[ Spaced ]\nK=spaced\n[Broken\nK=broken\n[]\nK=nameless\n"
       "[S]\n[notheader=1\n",
       {{"A]B", "K", ""},
        {"Spaced", "K", "d"},
        {" Spaced ", "K", "d"},
        {"A]B", "[Broken", "d"},
        {"", "K", "d"},
        {"S", "[notheader", "d"}},
       {"A]B", " Spaced "}},
      {"space.ini",
       "\t[S]\x1a\n\tK\t=\tv\t\r\r\nNB=\xa0x\xa0\nFF=\x0cy\x0c\nCR=a\rb\n[T]\rU=1\n",
       {{"S", "K", ""},
        {"S", "NB", ""},
        {"S", "FF", ""},
        {"S", "CR", ""},
        {"T", "U", "d"},
        {"S", "[T]", "d"}},
       {"S"}},
      {"long.ini",
       "[S]\nlong=" + longValue + "\nq2047=\"" + std::string(2047, 'x') + "\"\nq2046=\"" +
           std::string(2046, 'y') + "\"\nq2048=\"" + std::string(2048, 'z') +
           "\"\nexact=" + std::string(2047, 'e') + "\n",
       {{"S", "long", ""},
        {"S", "q2047", ""},
        {"S", "q2046", ""},
        {"S", "q2048", ""},
        {"S", "exact", ""}},
       {}},
      {"ansi.ini",
       "[Texte]\nCaf\xe9=cr\xe8me \x80 5\n[\xc4rger]\n\xfc=\xdc\n",
       {{"texte", "CAF\xc3\xa9", ""},
        {"texte", "CAF\xc3\x89", "d"},
        {"\xc3\xa4rger", "\xc3\xbc", "d"},
        {"\xc3\x84RGER", "\xc3\xbc", "d"}},
       {"Texte"}},
      {"utf8bom.ini",
       "\xef\xbb\xbf[\xce\x95\xce\xbb\xce\xad\xce\xbd\xce\xb7]\nK=\xc5\x81ukasz\n",
       {{"\xce\x95\xce\xbb\xce\xad\xce\xbd\xce\xb7", "k", ""}},
       {}},
      {"utf16.ini",
       std::string("\xff\xfe[\0S\0]\0\n\0K\0=\0\x9b\x03\n\0", 18),
       {{"s", "k", ""}},
       {}},
      {"nosection.ini",
       "K=top\n[S]\nL=in\n",
       {{"", "K", "d"}, {"S", "K", "d"}, {"S", "L", ""}},
       {}},
      {"inner.ini",
       "[My Section]\nmy key = a value = with equals\n  ;comment=c\n=lead\n\x81\x8d=undefined\n"
       "tab\tname=t\n[My Section]\nmore=m\n",
       {{"my section", "MY KEY", ""},
        {"My Section", ";comment", "d"},
        {"My Section", "", "d"},
        {"My Section", "tab\tname", "d"},
        {"My Section", "more", "d"},
        {"my  section", "my key", "d"}},
       {"My Section"}},
      {"defaults.ini",
       "[S]\nK=v\n",
       {{"S", "X", "dflt   "},
        {"S", "X", "\"quoted\""},
        {"S", "X", "   "},
        {"S", "X", " lead"},
        {"S", "X", "'single'"}},
       {}},
  };
}

// The lines of a Windows program's output, each without its carriage return.
std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Wine lists every key line; the backend lists each name once.
std::string Deduplicated(const std::string& joined) {
  std::vector<std::string> seen;
  std::string out;
  std::size_t start = 0;
  while (start <= joined.size() && !joined.empty()) {
    std::size_t end = joined.find('|', start);
    if (end == std::string::npos) end = joined.size();
    const std::string name = joined.substr(start, end - start);
    if (std::find(seen.begin(), seen.end(), Lower(name)) == seen.end()) {
      seen.push_back(Lower(name));
      out += (out.empty() ? "" : "|") + name;
    }
    start = end + 1;
  }
  return out;
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) out += (out.empty() ? "" : "|") + name;
  return out;
}

TEST(ProfileWine, ValuesMatchGetPrivateProfileString) {
  if (!testing::WineAvailable()) GTEST_SKIP() << "Wine or the probe is missing";
  testing::SharedWinePrefix prefix;
  testing::TempDir dir;
  std::vector<std::string> args{"profile"};
  std::vector<std::string> expected;
  std::vector<std::string> labels;
  for (const Case& c : Cases()) {
    dir.Write(c.name, c.bytes);
    for (const Query& q : c.queries) {
      args.insert(args.end(), {dir.win(c.name), q.section, q.key, q.fallback});
      expected.push_back(ReadProfileString(dir.win(c.name), q.section, q.key, q.fallback));
      labels.push_back(c.name + " [" + q.section + "] " + q.key + " / " + q.fallback);
    }
  }
  for (const std::string& missing : {std::string("missing.ini"), std::string("no\\where.ini")}) {
    args.insert(args.end(), {dir.win(missing), "S", "K", "\"quoted default\""});
    expected.push_back(ReadProfileString(dir.win(missing), "S", "K", "\"quoted default\""));
    labels.push_back(missing);
  }
  const auto result = prefix.Probe(args);
  ASSERT_EQ(result.exitCode, 0);
  const auto lines = Lines(result.output);
  ASSERT_EQ(lines.size(), expected.size()) << result.output;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ("V:" + expected[i], lines[i]) << labels[i];
  }
}

TEST(ProfileWine, KeyListsMatch) {
  if (!testing::WineAvailable()) GTEST_SKIP() << "Wine or the probe is missing";
  testing::SharedWinePrefix prefix;
  testing::TempDir dir;
  std::vector<std::string> args{"profile-keys"};
  std::vector<std::string> expected;
  std::vector<std::string> labels;
  for (const Case& c : Cases()) {
    dir.Write(c.name, c.bytes);
    for (const std::string& section : c.keySections) {
      args.insert(args.end(), {dir.win(c.name), section});
      expected.push_back(Join(ReadProfileKeys(dir.win(c.name), section)));
      labels.push_back(c.name + " [" + section + "]");
    }
  }
  const auto result = prefix.Probe(args);
  ASSERT_EQ(result.exitCode, 0);
  const auto lines = Lines(result.output);
  ASSERT_EQ(lines.size(), expected.size()) << result.output;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].rfind("K:", 0), 0u);
    EXPECT_EQ(expected[i], Deduplicated(lines[i].substr(2))) << labels[i];
  }
}

}  // namespace
}  // namespace valise::platform
