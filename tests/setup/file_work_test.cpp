#include "setup/file_work.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

namespace valise::setup {
namespace {

using valise::testing::TempDir;

// When a piece of work fails, the work queued after it is never taken, and undone: each new
// file it is about is removed, whether the work made it or the caller made it before pushing
// the work, and whether or not the work had started. A file the work found already there is
// somebody else's and stays.
TEST(FileWork, UntakenWorkRemovesItsNewFilesAndNothingElse) {
  TempDir dir;
  dir.Write("kept.txt", "somebody else's");
  {
    TFileWork work(1);
    dir.Write("one.txt", "");
    work.Push(
        [&]() -> TWorkResult {
          platform::DeleteFile(dir.win("one.txt"));
          throw Error("the copy failed");
        },
        dir.win("one.txt"), TFileWork::FileMade::Before);
    dir.Write("two.txt", "");
    work.Push([] { return TWorkResult{true}; }, dir.win("two.txt"), TFileWork::FileMade::Before);
    work.Push([] { return TWorkResult{false}; }, dir.win("kept.txt"));
    work.Push(
        [&] {
          dir.Write("four.txt", "made by the work");
          return TWorkResult{true};
        },
        dir.win("four.txt"));
    EXPECT_THROW(work.TakeOldest(), Error);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "one.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "two.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "four.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.host() / "kept.txt"));
}

}  // namespace
}  // namespace valise::setup
