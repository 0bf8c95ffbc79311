#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/shell.h"
#include "wine_support.h"

namespace valise::platform {
namespace {

using valise::testing::SharedWinePrefix;
using valise::testing::WineAvailable;

// The "name=value" lines that the probe prints.
std::map<std::string, std::string> Fields(const std::string& output) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return fields;
}

// A folder on the prefix's drive C:, removed again at the end of the test.
class PrefixFolder {
 public:
  PrefixFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    win_ = std::string("C:\\valise-") + info->name();
    host_ = ToHostPath("C:\\") + "/valise-" + info->name();
    std::filesystem::remove_all(host_);
    std::filesystem::create_directories(std::filesystem::path(host_) / "T\xC3\xB6\xC3\xB6ls");
  }
  ~PrefixFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(host_, ignored);
  }
  std::string win(const std::string& relative) const { return win_ + "\\" + relative; }
  std::string host(const std::string& relative) const { return host_ + "/" + relative; }

 private:
  std::string win_;
  std::string host_;
};

ShellLinkData SampleLink(const PrefixFolder& folder) {
  ShellLinkData link;
  link.target = folder.win("T\xC3\xB6\xC3\xB6ls\\run.exe");
  link.arguments = "-a \"b c\" \xC3\xA4 \xE6\x97\xA5";
  link.workingDirectory = folder.win("T\xC3\xB6\xC3\xB6ls");
  link.description = "D\xC3\xA9scription";
  link.iconLocation = folder.win("T\xC3\xB6\xC3\xB6ls\\icons.dll");
  link.iconIndex = 4;
  link.hotKey = 0x0641;  // Ctrl+Alt+A
  link.showCommand = 3;
  return link;
}

TEST(ShellLinkWine, PosixLinkReadsTheSameUnderWine) {
  if (!WineAvailable()) GTEST_SKIP() << "Wine or the Windows probe is missing";
  SharedWinePrefix prefix;
  PrefixFolder folder;
  const ShellLinkData link = SampleLink(folder);
  { std::ofstream(folder.host("T\xC3\xB6\xC3\xB6ls/run.exe")) << "program"; }
  const std::string path = folder.win("Start.lnk");
  ASSERT_NO_THROW(WriteShellLink(link, path));

  const auto result = prefix.Probe({"lnk-read", path});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  auto fields = Fields(result.output);
  EXPECT_EQ(fields["target"], link.target);
  EXPECT_EQ(fields["arguments"], link.arguments);
  EXPECT_EQ(fields["workdir"], link.workingDirectory);
  EXPECT_EQ(fields["description"], link.description);
  EXPECT_EQ(fields["icon"], link.iconLocation);
  EXPECT_EQ(fields["index"], std::to_string(link.iconIndex));
  EXPECT_EQ(fields["hotkey"], std::to_string(link.hotKey));
  // The show command is left out: Wine's link object reports SW_SHOWNORMAL for every link it
  // loads, its own included. The other direction below compares it.
}

TEST(ShellLinkWine, WineLinkReadsTheSameOnPosix) {
  if (!WineAvailable()) GTEST_SKIP() << "Wine or the Windows probe is missing";
  SharedWinePrefix prefix;
  PrefixFolder folder;
  const ShellLinkData link = SampleLink(folder);
  { std::ofstream(folder.host("T\xC3\xB6\xC3\xB6ls/run.exe")) << "program"; }
  const std::string path = folder.win("Saved by Wine.lnk");
  const auto result =
      prefix.Probe({"lnk-write", path, link.target, link.arguments, link.workingDirectory,
                    link.description, link.iconLocation, std::to_string(link.iconIndex),
                    std::to_string(link.hotKey), std::to_string(link.showCommand)});
  ASSERT_EQ(result.exitCode, 0) << result.output;

  const ShellLinkData read = ReadShellLink(path);
  EXPECT_EQ(read.target, link.target);
  EXPECT_EQ(read.arguments, link.arguments);
  EXPECT_EQ(read.workingDirectory, link.workingDirectory);
  EXPECT_EQ(read.description, link.description);
  EXPECT_EQ(read.iconLocation, link.iconLocation);
  EXPECT_EQ(read.iconIndex, link.iconIndex);
  EXPECT_EQ(read.hotKey, link.hotKey);
  EXPECT_EQ(read.showCommand, link.showCommand);
}

}  // namespace
}  // namespace valise::platform
