// Links met while removing what was installed, on Windows: a reparse point in place of a
// recorded folder never leads a delete to what it points to.
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/utf.h"
#include "test_support.h"

// After the platform's headers, whose functions the Windows headers would rename.
#include <windows.h>
#undef GetFileAttributes
#undef RemoveDirectory

namespace valise::platform {
namespace {

using testing::TempDir;

std::wstring WidePath(const std::string& path) {
  const std::u16string units = Utf8ToUtf16(path);
  return std::wstring(units.begin(), units.end());
}

TEST(Win32Links, DeleteRefusesAReparsePointInPlaceOfTheFolder) {
  TempDir dir;
  dir.Write("real/kept.txt", "k");
  constexpr DWORD kAllowUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(WidePath(dir.win("link")).c_str(), WidePath(dir.win("real")).c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivileged)) {
    GTEST_SKIP() << "no symbolic links here (error " << GetLastError() << ")";
  }
  const DWORD attributes = ::GetFileAttributesW(WidePath(dir.win("link")).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "the link is not seen as a reparse point here";
  }
  const DeleteResult result = DeleteFileInFolder(dir.win("link"), "kept.txt");
  EXPECT_EQ(result.outcome, DeleteResult::Outcome::Failed);
  EXPECT_EQ(result.error, kErrorReparsePointEncountered);
  EXPECT_EQ(LastError(), kErrorReparsePointEncountered);
  EXPECT_TRUE(GetFileAttributes(dir.win("real\\kept.txt")).has_value());

  // RemoveDirectory takes the link at most, never the folder it points to.
  RemoveDirectory(dir.win("link"));
  EXPECT_TRUE(GetFileAttributes(dir.win("real\\kept.txt")).has_value());
}

}  // namespace
}  // namespace valise::platform
