// Symbolic links met while removing what was installed: a link in place of a recorded folder
// never leads a delete (of a file or of the folder) to what it points to.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

namespace valise::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(PosixLinks, DeletesNeverFollowALinkInPlaceOfAFolderOrFile) {
  using Outcome = DeleteResult::Outcome;
  TempDir dir;
  dir.Write("Real/kept.txt", "k");
  dir.Write("elsewhere/target.txt", "t");
  fs::create_directory(dir.host() / "empty");
  fs::create_directory_symlink(dir.host() / "Real", dir.host() / "link");
  fs::create_directory_symlink(dir.host() / "empty", dir.host() / "emptylink");
  fs::create_symlink(dir.host() / "elsewhere" / "target.txt", dir.host() / "Real" / "tolink");
  fs::create_symlink(dir.host() / "nowhere", dir.host() / "Real" / "dangling");

  // A link in place of the folder: refused, the file it leads to stays (also when the thread
  // has the real folder open from a delete just before).
  EXPECT_EQ(DeleteFileInFolder(dir.win("real"), "missing").outcome, Outcome::Missing);
  DeleteResult result = DeleteFileInFolder(dir.win("LINK"), "kept.txt");
  EXPECT_EQ(result.outcome, Outcome::Failed);
  EXPECT_EQ(result.error, kErrorReparsePointEncountered);
  EXPECT_EQ(LastError(), kErrorReparsePointEncountered);
  EXPECT_TRUE(fs::exists(dir.host() / "Real" / "kept.txt"));

  // A link as the file goes itself, its target stays; a dangling one goes too.
  EXPECT_EQ(DeleteFileInFolder(dir.win("real"), "ToLink").outcome, Outcome::Deleted);
  EXPECT_EQ(DeleteFileInFolder(dir.win("real"), "dangling").outcome, Outcome::Deleted);
  EXPECT_FALSE(fs::is_symlink(dir.host() / "Real" / "tolink"));
  EXPECT_FALSE(fs::is_symlink(dir.host() / "Real" / "dangling"));
  EXPECT_EQ(testing::ReadHostFile(dir.host() / "elsewhere" / "target.txt"), "t");

  // Four threads at once, two on each file, each keeping the folder open: every file goes once.
  for (int i = 0; i < 40; ++i) dir.Write("Real/f" + std::to_string(i), "x");
  std::vector<std::thread> threads;
  std::atomic<int> deleted = 0;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t; i < 40; i += 2) {
        if (DeleteFileInFolder(dir.win("Real"), "F" + std::to_string(i)).outcome ==
            Outcome::Deleted) {
          ++deleted;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(deleted, 40);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.host() / "Real"), fs::directory_iterator()),
            1);

  // RemoveDirectory never removes what a link in place of the folder points to, nor the link.
  EXPECT_FALSE(RemoveDirectory(dir.win("emptylink")));
  EXPECT_EQ(LastError(), kErrorDirectory);
  EXPECT_TRUE(fs::is_directory(dir.host() / "empty"));
  EXPECT_TRUE(fs::is_symlink(dir.host() / "emptylink"));
}

}  // namespace
}  // namespace valise::platform
