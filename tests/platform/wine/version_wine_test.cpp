#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "pe_image.h"
#include "platform/host_paths.h"
#include "platform/version.h"
#include "test_support.h"
#include "wine_support.h"

namespace valise::platform {
namespace {

using valise::testing::SharedWinePrefix;
using valise::testing::TempDir;
using valise::testing::WineAvailable;

// The probe's output without the carriage returns of the Windows console.
std::string Output(const valise::testing::WineResult& result) {
  std::string text;
  for (char c : result.output) {
    if (c != '\r') text += c;
  }
  return text;
}

std::string Printed(const std::optional<FileVersion>& version) {
  if (!version) return "none\n";
  return std::to_string(version->ms) + "." + std::to_string(version->ls) + "\n";
}

#ifdef VALISE_VERSIONED_EXE
TEST(FileVersionWine, ProgramBuiltWithWindresReadsTheSame) {
  if (!WineAvailable()) GTEST_SKIP() << "Wine or the Windows probe is missing";
  SharedWinePrefix prefix;
  const std::string path = ToWindowsPath(VALISE_VERSIONED_EXE);
  const std::optional<FileVersion> version = GetFileVersion(path);
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (FileVersion{0x00010002, 0x00030004}));  // FILEVERSION 1,2,3,4
  const auto result = prefix.Probe({"version", path});
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_EQ(Output(result), Printed(version));
}
#endif

TEST(FileVersionWine, ImagesWithAndWithoutVersionReadTheSame) {
  if (!WineAvailable()) GTEST_SKIP() << "Wine or the Windows probe is missing";
  SharedWinePrefix prefix;
  TempDir dir;
  valise::testing::PeImageOptions pe32;
  pe32.pe32plus = false;
  pe32.ms = 0xFFFF0001;
  pe32.ls = 0x80000002;
  valise::testing::PeImageOptions icons;
  icons.resourceType = 3;
  valise::testing::PeImageOptions noFixedInfo;
  noFixedInfo.withFixedInfo = false;
  dir.Write("pe32plus.dll", valise::testing::BuildPeImage().bytes);
  dir.Write("pe32.dll", valise::testing::BuildPeImage(pe32).bytes);
  dir.Write("icons.dll", valise::testing::BuildPeImage(icons).bytes);
  dir.Write("nofixed.dll", valise::testing::BuildPeImage(noFixedInfo).bytes);
  dir.Write("text.txt", "plain text");
  for (const char* name : {"pe32plus.dll", "pe32.dll", "icons.dll", "nofixed.dll", "text.txt"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.win(name);
    const auto result = prefix.Probe({"version", path});
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(Output(result), Printed(GetFileVersion(path)));
  }
}

}  // namespace
}  // namespace valise::platform
