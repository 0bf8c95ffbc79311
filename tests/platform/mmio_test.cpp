// The multimedia file I/O hook: names "<file>.<EXT>+<element>" opened by the system's media
// code reach the resolver, and the data comes from the file and position it names. The media
// code takes names in the ANSI code page only.
#include "platform/mmio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;

TEST(Mmio, ResolvedNamesReadFromTheirStart) {
  if (!MmioAvailable()) {
    EXPECT_FALSE(MmioReadFile("pack.TST+ONE", 4).has_value());
    GTEST_SKIP() << "no multimedia file I/O on this system";
  }
  TempDir dir;
  dir.Write("Łukasz/pack.bin", "HEADERpayload-ONE|payload-TWO");
  const std::string pack = dir.win("Łukasz\\pack.bin");
  std::vector<std::string> seen;
  ASSERT_TRUE(
      InstallMmioProc("tst", [&](std::string_view name, std::string& path, std::uint64_t& start) {
        seen.emplace_back(name);
        path = pack;
        if (name.ends_with("+ONE")) {
          start = 6;
          return true;
        }
        if (name.ends_with("+TWO")) {
          start = 18;
          return true;
        }
        return false;
      }));
  const std::string container = dir.win("Ärger.tst");
  EXPECT_EQ(MmioReadFile(container + "+ONE", 11), "payload-ONE");
  // Reads go on past the element up to the end of the file.
  EXPECT_EQ(MmioReadFile(container + "+TWO", 100), "payload-TWO");
  EXPECT_FALSE(MmioReadFile(container + "+MISSING", 4).has_value());
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), container + "+ONE");

  RemoveMmioProc("TST");
  seen.clear();
  EXPECT_FALSE(MmioReadFile(container + "+ONE", 4).has_value());
  EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace valise::platform
