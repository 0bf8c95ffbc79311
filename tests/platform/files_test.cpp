// The file contract, written once for both backends: Windows paths with either slash, names
// matched without regard to case, Windows error codes and attributes.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/errors.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::ReadHostFile;
using testing::TempDir;

std::set<std::string> Names(const std::vector<FindEntry>& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.name);
  return names;
}

bool EqualsIgnoringCase(std::string a, std::string b) {
  for (std::string* text : {&a, &b}) {
    std::transform(text->begin(), text->end(), text->begin(), ::tolower);
  }
  return a == b;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  auto file = File::Create(path);
  ASSERT_NE(file, nullptr) << path << " error " << LastError();
  file->Write(bytes.data(), bytes.size());
}

TEST(FindFiles, WildcardsFollowFindFirstFile) {
  TempDir dir;
  dir.Write("readme", "r");
  dir.Write("a.txt", "aa");
  dir.Write("abc.txt", "abc");
  dir.Write("b.dat", "b");
  dir.Write("sub/inner.txt", "i");

  EXPECT_EQ(Names(FindFiles(dir.win("*"))),
            (std::set<std::string>{"readme", "a.txt", "abc.txt", "b.dat", "sub"}));
  // "*.*" matches names without a dot too, and "." and ".." never appear.
  EXPECT_EQ(Names(FindFiles(dir.win("*.*"))),
            (std::set<std::string>{"readme", "a.txt", "abc.txt", "b.dat", "sub"}));
  EXPECT_EQ(Names(FindFiles(dir.win("*.TXT"))), (std::set<std::string>{"a.txt", "abc.txt"}));
  EXPECT_EQ(Names(FindFiles(dir.win("a?c.txt"))), (std::set<std::string>{"abc.txt"}));
  EXPECT_EQ(Names(FindFiles(dir.win("?.*"))), (std::set<std::string>{"a.txt", "b.dat"}));
  // Forward slashes separate as well.
  std::string slashed = dir.win("*.dat");
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  EXPECT_EQ(Names(FindFiles(slashed)), (std::set<std::string>{"b.dat"}));
}

TEST(FindFiles, EntriesCarrySizeTimesAndAttributes) {
  TempDir dir;
  dir.Write("data.bin", "12345");
  dir.Write("folder/x", "");
  const auto entries = FindFiles(dir.win("*"));
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& entry : entries) {
    if (entry.name == "data.bin") {
      EXPECT_EQ(entry.size, 5u);
      EXPECT_EQ(entry.attributes & (kAttrDirectory | kAttrSystem), 0u);
      EXPECT_NE(entry.attributes & kAttrArchive, 0u);
      EXPECT_GT(entry.lastWriteTime, 130000000000000000ULL);  // after 2012
    } else {
      EXPECT_EQ(entry.name, "folder");
      EXPECT_NE(entry.attributes & kAttrDirectory, 0u);
    }
    // The status of one path says the same as the search.
    const std::optional<FindEntry> info = GetFileInfo(dir.win(entry.name));
    ASSERT_TRUE(info.has_value()) << entry.name;
    EXPECT_EQ(info->name, entry.name);
    EXPECT_EQ(info->size, entry.size);
    EXPECT_EQ(info->attributes, entry.attributes);
    EXPECT_EQ(info->lastWriteTime, entry.lastWriteTime);
  }
  EXPECT_FALSE(GetFileInfo(dir.win("missing.bin")).has_value());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(FindFiles, PlainNameFindsTheEntryInItsOwnSpelling) {
  TempDir dir;
  dir.Write("MixedCase.Txt", "x");
  dir.Write("Folder/y", "");
  const auto file = FindFiles(dir.win("mixedcase.txt"));
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(file[0].name, "MixedCase.Txt");
  const auto folder = FindFiles(dir.win("FOLDER"));
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0].name, "Folder");
  EXPECT_NE(folder[0].attributes & kAttrDirectory, 0u);
}

TEST(FindFiles, FailuresSetTheLastError) {
  TempDir dir;
  dir.Write("a.txt", "");
  EXPECT_FALSE(FindFiles(dir.win("*.none"), [](const FindEntry&) { return true; }));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(FindFiles(dir.win("missing.txt"), [](const FindEntry&) { return true; }));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(FindFiles(dir.win("nofolder\\*"), [](const FindEntry&) { return true; }));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  // The visitor may stop the search.
  dir.Write("b.txt", "");
  int seen = 0;
  EXPECT_TRUE(FindFiles(dir.win("*.txt"), [&](const FindEntry&) {
    ++seen;
    return false;
  }));
  EXPECT_EQ(seen, 1);
}

TEST(FileAttributes, ReadOnlyHiddenAndMissing) {
  TempDir dir;
  dir.Write("plain.txt", "x");
  const std::string plain = dir.win("plain.txt");
  ASSERT_TRUE(GetFileAttributes(plain).has_value());
  EXPECT_EQ(*GetFileAttributes(plain) & (kAttrReadOnly | kAttrDirectory | kAttrSystem), 0u);

  ASSERT_TRUE(SetFileAttributes(plain, kAttrReadOnly));
  EXPECT_NE(*GetFileAttributes(plain) & kAttrReadOnly, 0u);
  ASSERT_TRUE(SetFileAttributes(plain, kAttrNormal));
  EXPECT_EQ(*GetFileAttributes(plain) & kAttrReadOnly, 0u);

  EXPECT_NE(*GetFileAttributes(dir.win()) & kAttrDirectory, 0u);
  EXPECT_FALSE(GetFileAttributes(dir.win("missing.txt")).has_value());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(GetFileAttributes(dir.win("nofolder\\missing.txt")).has_value());
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST(FileAttributes, NamesMatchWithoutRegardToCase) {
  TempDir dir;
  dir.Write("Program Files/Vendor/App.EXE", "app");
  EXPECT_TRUE(GetFileAttributes(dir.win("program files\\VENDOR\\app.exe")).has_value());
  EXPECT_EQ(ReadWholeFile(dir.win("PROGRAM FILES/vendor/APP.exe")), "app");
  // Letters beyond ASCII fold too.
  dir.Write("Ärger/Łukasz.txt", "pl");
  EXPECT_EQ(ReadWholeFile(dir.win("ärger\\Łukasz.TXT")), "pl");
  dir.Write("Ελένη.txt", "gr");
  EXPECT_EQ(ReadWholeFile(dir.win("Ελένη.txt")), "gr");
}

TEST(CopyFile, KeepsDataAttributesAndTime) {
  TempDir dir;
  WriteFile(dir.win("src.bin"), std::string(200000, 'z'));
  {
    auto file = File::OpenRead(dir.win("src.bin"));
    ASSERT_NE(file, nullptr);
  }
  ASSERT_TRUE(SetFileAttributes(dir.win("src.bin"), kAttrReadOnly));
  ASSERT_TRUE(CopyFile(dir.win("src.bin"), dir.win("copy.bin"), true));
  EXPECT_EQ(ReadWholeFile(dir.win("copy.bin")), std::string(200000, 'z'));
  const auto source = FindFiles(dir.win("src.bin"));
  const auto copy = FindFiles(dir.win("copy.bin"));
  ASSERT_EQ(source.size(), 1u);
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_EQ(copy[0].lastWriteTime, source[0].lastWriteTime);
  EXPECT_NE(copy[0].attributes & kAttrReadOnly, 0u);

  // An existing destination: refused with failIfExists, refused when read-only.
  EXPECT_FALSE(CopyFile(dir.win("src.bin"), dir.win("copy.bin"), true));
  EXPECT_EQ(LastError(), kErrorFileExists);
  EXPECT_FALSE(CopyFile(dir.win("src.bin"), dir.win("copy.bin"), false));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  // Overwritten when writable.
  SetFileAttributes(dir.win("copy.bin"), kAttrNormal);
  SetFileAttributes(dir.win("src.bin"), kAttrNormal);
  WriteFile(dir.win("small.txt"), "small");
  ASSERT_TRUE(CopyFile(dir.win("small.txt"), dir.win("COPY.BIN"), false));
  EXPECT_EQ(ReadWholeFile(dir.win("copy.bin")), "small");
  EXPECT_EQ(FindFiles(dir.win("*")).size(), 3u);  // no second spelling was made

  EXPECT_FALSE(CopyFile(dir.win("missing"), dir.win("x"), false));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(CopyFile(dir.win("small.txt"), dir.win("nofolder\\x"), false));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST(MoveFile, RenamesAndReplaces) {
  TempDir dir;
  WriteFile(dir.win("a.txt"), "A");
  WriteFile(dir.win("b.txt"), "B");
  EXPECT_FALSE(MoveFile(dir.win("a.txt"), dir.win("B.TXT"), false));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_EQ(ReadWholeFile(dir.win("b.txt")), "B");
  ASSERT_TRUE(MoveFile(dir.win("a.txt"), dir.win("b.txt"), true));
  EXPECT_EQ(ReadWholeFile(dir.win("b.txt")), "A");
  EXPECT_FALSE(GetFileAttributes(dir.win("a.txt")).has_value());
  ASSERT_TRUE(MoveFile(dir.win("b.txt"), dir.win("c.txt"), false));
  EXPECT_EQ(Names(FindFiles(dir.win("*"))), (std::set<std::string>{"c.txt"}));
  // A change of letter case alone renames the file.
  ASSERT_TRUE(MoveFile(dir.win("c.txt"), dir.win("C.TXT"), false));
  EXPECT_EQ(Names(FindFiles(dir.win("*"))), (std::set<std::string>{"C.TXT"}));
  EXPECT_FALSE(MoveFile(dir.win("missing"), dir.win("x"), true));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(DeleteFile, RefusesReadOnlyFilesAndFolders) {
  TempDir dir;
  WriteFile(dir.win("ro.txt"), "x");
  ASSERT_TRUE(SetFileAttributes(dir.win("ro.txt"), kAttrReadOnly));
  EXPECT_FALSE(DeleteFile(dir.win("ro.txt")));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  ASSERT_TRUE(SetFileAttributes(dir.win("ro.txt"), kAttrNormal));
  EXPECT_TRUE(DeleteFile(dir.win("RO.TXT")));
  EXPECT_FALSE(GetFileAttributes(dir.win("ro.txt")).has_value());
  EXPECT_FALSE(DeleteFile(dir.win("ro.txt")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  ASSERT_TRUE(CreateDirectory(dir.win("sub")));
  EXPECT_FALSE(DeleteFile(dir.win("sub")));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
}

TEST(DeleteFileInFolder, DeletesRecordedFilesAndTellsMissingFromFailed) {
  using Outcome = DeleteResult::Outcome;
  TempDir dir;
  WriteFile(dir.win("a.txt"), "a");
  WriteFile(dir.win("ro.txt"), "r");
  ASSERT_TRUE(SetFileAttributes(dir.win("ro.txt"), kAttrReadOnly));
  ASSERT_TRUE(CreateDirectory(dir.win("sub")));
  WriteFile(dir.win("sub\\b.txt"), "b");

  // Names match without regard to case; a read-only file goes too; a trailing backslash of the
  // folder is fine.
  DeleteResult result = DeleteFileInFolder(dir.win(), "A.TXT");
  EXPECT_EQ(result.outcome, Outcome::Deleted);
  EXPECT_TRUE(result.removed());
  result = DeleteFileInFolder(dir.win() + "\\", "ro.txt");
  EXPECT_EQ(result.outcome, Outcome::Deleted);
  EXPECT_EQ(Names(FindFiles(dir.win("*"))), (std::set<std::string>{"sub"}));

  // Gone already, or its folder gone: removed all the same, with the reason.
  result = DeleteFileInFolder(dir.win(), "a.txt");
  EXPECT_EQ(result.outcome, Outcome::Missing);
  EXPECT_EQ(result.error, kErrorFileNotFound);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_TRUE(result.removed());
  result = DeleteFileInFolder(dir.win("gone\\deeper"), "a.txt");
  EXPECT_EQ(result.outcome, Outcome::Missing);
  EXPECT_EQ(result.error, kErrorPathNotFound);
  WriteFile(dir.win("plain"), "p");
  EXPECT_EQ(DeleteFileInFolder(dir.win("plain"), "a.txt").outcome, Outcome::Missing);

  // A folder of that name, or a name with a folder in it, is refused and left alone.
  result = DeleteFileInFolder(dir.win(), "SUB");
  EXPECT_EQ(result.outcome, Outcome::Failed);
  EXPECT_EQ(result.error, kErrorAccessDenied);
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_FALSE(result.removed());
  result = DeleteFileInFolder(dir.win(), "sub\\b.txt");
  EXPECT_EQ(result.outcome, Outcome::Failed);
  EXPECT_EQ(result.error, kErrorInvalidName);
  EXPECT_TRUE(GetFileAttributes(dir.win("sub\\b.txt")).has_value());

  // A folder removed and made again under the same name is the new folder, also for a thread
  // that deleted in the old one just before.
  EXPECT_EQ(DeleteFileInFolder(dir.win("Sub"), "B.txt").outcome, Outcome::Deleted);
  ASSERT_TRUE(RemoveDirectory(dir.win("sub")));
  ASSERT_TRUE(CreateDirectory(dir.win("sub")));
  WriteFile(dir.win("sub\\c.txt"), "c");
  EXPECT_EQ(DeleteFileInFolder(dir.win("sub"), "c.txt").outcome, Outcome::Deleted);
  EXPECT_EQ(DeleteFileInFolder(dir.win("sub"), "c.txt").outcome, Outcome::Missing);

  // DeleteFile tells a missing file from a missing folder the same way.
  EXPECT_FALSE(DeleteFile(dir.win("sub\\gone.txt")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(DeleteFile(dir.win("gone\\gone.txt")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(DeleteFile(dir.win("plain\\gone.txt")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST(Directories, CreateAndRemove) {
  TempDir dir;
  ASSERT_TRUE(CreateDirectory(dir.win("One")));
  EXPECT_FALSE(CreateDirectory(dir.win("one")));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory(dir.win("missing\\two")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ASSERT_TRUE(CreateDirectory(dir.win("ONE\\Two")));
  EXPECT_TRUE(dir.host().string().size() > 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.host() / "One" / "Two"));

  EXPECT_FALSE(RemoveDirectory(dir.win("one")));
  EXPECT_EQ(LastError(), kErrorDirNotEmpty);
  EXPECT_TRUE(RemoveDirectory(dir.win("one\\two")));
  EXPECT_TRUE(RemoveDirectory(dir.win("one")));
  EXPECT_FALSE(RemoveDirectory(dir.win("one")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  WriteFile(dir.win("file"), "");
  EXPECT_FALSE(RemoveDirectory(dir.win("file")));
  EXPECT_EQ(LastError(), kErrorDirectory);
}

TEST(CurrentDirectory, RelativePathsResolveAgainstIt) {
  TempDir dir;
  dir.Write("Work/note.txt", "n");
  const std::string previous = GetCurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectory(dir.win("work")));
  EXPECT_TRUE(EqualsIgnoringCase(GetCurrentDirectory(), dir.win("Work")));
  EXPECT_EQ(ReadWholeFile("note.txt"), "n");
  EXPECT_EQ(ReadWholeFile("..\\Work\\.\\note.txt"), "n");
  EXPECT_TRUE(EqualsIgnoringCase(GetFullPathName("x\\..\\y.txt"), dir.win("Work\\y.txt")));
  const std::string current = GetCurrentDirectory();
  // "X:" alone is the current directory of that drive, with a backslash at its end.
  EXPECT_EQ(GetFullPathName(current.substr(0, 2)), current + "\\");
  EXPECT_FALSE(SetCurrentDirectory(dir.win("missing")));
  ASSERT_TRUE(SetCurrentDirectory(previous));
  EXPECT_EQ(GetCurrentDirectory(), previous);
}

TEST(FullPathName, CollapsesAndKeepsTrailingBackslash) {
  EXPECT_EQ(GetFullPathName("C:\\a\\b\\..\\c"), "C:\\a\\c");
  EXPECT_EQ(GetFullPathName("C:/a/./b/"), "C:\\a\\b\\");
  EXPECT_EQ(GetFullPathName("C:\\a\\..\\.."), "C:\\");
  EXPECT_EQ(GetFullPathName("C:\\x\\name.  "), "C:\\x\\name");
  EXPECT_EQ(GetFullPathName("C:\\"), "C:\\");
}

TEST(DiskFree, ReportsSpaceOnTheDrive) {
  TempDir dir;
  const auto free = GetDiskFreeBytes(dir.win());
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, 0u);
}

TEST(ProgramPath, NamesThisProgram) {
  const std::string path = ProgramPath();
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path[1], ':');
  EXPECT_TRUE(GetFileAttributes(path).has_value());
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_NE(lower.find("platform_tests"), std::string::npos);
  // GoogleTest passes the test filter on the command line.
  const auto parameters = CommandLineParameters();
  EXPECT_TRUE(std::any_of(parameters.begin(), parameters.end(),
                          [](const std::string& arg) { return arg.rfind("--gtest", 0) == 0; }));
}

TEST(File, ReadWriteSeekAndTimes) {
  TempDir dir;
  auto file = File::Create(dir.win("data.bin"));
  ASSERT_NE(file, nullptr);
  file->Write("hello world", 11);
  EXPECT_EQ(file->Position(), 11u);
  EXPECT_EQ(file->Size(), 11u);
  file->Seek(6);
  file->Write("WORLD", 5);
  file->Sync();
  const FileTime stamp = 132000000000000000ULL;  // 2019
  file->SetLastWriteTime(stamp);
  file.reset();
  EXPECT_EQ(FindFiles(dir.win("data.bin")).at(0).lastWriteTime, stamp);

  auto reader = File::OpenRead(dir.win("DATA.BIN"), File::Share::ReadWrite);
  ASSERT_NE(reader, nullptr);
  char buffer[32] = {};
  EXPECT_EQ(reader->Read(buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  reader->Seek(6);
  EXPECT_EQ(reader->Read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::string(buffer, 5), "WORLD");
  EXPECT_EQ(reader->Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(reader->Size(), 11u);
}

TEST(File, OpenFailures) {
  TempDir dir;
  EXPECT_EQ(File::OpenRead(dir.win("missing")), nullptr);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(File::Create(dir.win("nofolder\\x")), nullptr);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  WriteFile(dir.win("ro"), "x");
  ASSERT_TRUE(SetFileAttributes(dir.win("ro"), kAttrReadOnly));
  EXPECT_EQ(File::Create(dir.win("ro")), nullptr);
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  SetFileAttributes(dir.win("ro"), kAttrNormal);
  EXPECT_THROW_MSG(
      ReadWholeFile(dir.win("missing")), OSError,
      "Cannot open " + dir.win("missing") + ": The system cannot find the file specified.");
}

TEST(File, CreateNewAndPositionedReads) {
  TempDir dir;
  auto file = File::CreateNew(dir.win("fresh.bin"));
  ASSERT_NE(file, nullptr) << LastError();
  file->Write("0123456789", 10);
  file.reset();
  // An existing entry in any letter case, a folder included, is never truncated or doubled.
  EXPECT_EQ(File::CreateNew(dir.win("FRESH.BIN")), nullptr);
  EXPECT_EQ(LastError(), kErrorFileExists);
  ASSERT_TRUE(CreateDirectory(dir.win("folder")));
  EXPECT_EQ(File::CreateNew(dir.win("Folder")), nullptr);
  EXPECT_EQ(LastError(), kErrorFileExists);
  EXPECT_EQ(File::CreateNew(dir.win("nofolder\\x")), nullptr);
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  auto reader = File::OpenRead(dir.win("fresh.bin"));
  ASSERT_NE(reader, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(reader->ReadAt(7, buffer, sizeof buffer), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(reader->ReadAt(2, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "2345");
  EXPECT_EQ(reader->ReadAt(10, buffer, 4), 0u);
  EXPECT_EQ(reader->ReadAt(1000, buffer, 4), 0u);
}

// A staged file cannot be opened under its name while it is written: on Linux it has no name,
// on Windows its name is held, marked for deletion. It comes under its name whole at Commit,
// never over a file that came meanwhile, and one never committed leaves nothing behind.
TEST(File, StagedFilesTakeTheirNameOnlyWhenComplete) {
  TempDir dir;
  const auto names = [&] {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.host())) {
      found.insert(entry.path().filename().string());
    }
    return found;
  };
  auto staged = File::CreateStaged(dir.win("Done.bin"));
  ASSERT_NE(staged, nullptr) << LastError();
  staged->Write("complete", 8);
  EXPECT_EQ(File::OpenRead(dir.win("done.bin"), File::Share::ReadWrite), nullptr);
#ifndef _WIN32
  EXPECT_FALSE(GetFileAttributes(dir.win("done.bin")));
#endif
  EXPECT_TRUE(staged->Commit());
  staged.reset();
  EXPECT_EQ(ReadHostFile(dir.host() / "Done.bin"), "complete");
  // An existing entry in any letter case is never staged over.
  EXPECT_EQ(File::CreateStaged(dir.win("DONE.BIN")), nullptr);
  EXPECT_EQ(LastError(), kErrorFileExists);

  auto late = File::CreateStaged(dir.win("late.bin"));
  ASSERT_NE(late, nullptr);
  late->Write("ours", 4);
#ifdef _WIN32
  // The name is held: no other file can take it meanwhile.
  EXPECT_EQ(File::CreateNew(dir.win("LATE.BIN")), nullptr);
  EXPECT_TRUE(late->Commit());
  late.reset();
  EXPECT_EQ(ReadHostFile(dir.host() / "late.bin"), "ours");
  dir.Write("late.bin", "theirs");
#else
  dir.Write("late.bin", "theirs");
  EXPECT_FALSE(late->Commit());
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  late.reset();
  EXPECT_EQ(ReadHostFile(dir.host() / "late.bin"), "theirs");
#endif

  auto dropped = File::CreateStaged(dir.win("dropped.bin"));
  ASSERT_NE(dropped, nullptr);
  dropped->Write("half", 4);
  dropped.reset();
  EXPECT_EQ(names(), (std::set<std::string>{"Done.bin", "late.bin"}));

  // A replacement leaves the file there as it was until it is complete, and never replaces a
  // read-only file.
  auto replacement = File::CreateStaged(dir.win("DONE.BIN"), true);
  ASSERT_NE(replacement, nullptr);
  replacement->Write("new", 3);
  EXPECT_EQ(ReadHostFile(dir.host() / "Done.bin"), "complete");
  EXPECT_TRUE(replacement->Commit());
  replacement.reset();
  EXPECT_EQ(ReadHostFile(dir.host() / "Done.bin"), "new");
  ASSERT_TRUE(SetFileAttributes(dir.win("late.bin"), kAttrReadOnly));
  auto refused = File::CreateStaged(dir.win("late.bin"), true);
  ASSERT_NE(refused, nullptr);
  refused->Write("ours", 4);
  EXPECT_FALSE(refused->Commit());
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  refused.reset();
  EXPECT_EQ(ReadHostFile(dir.host() / "late.bin"), "theirs");
  EXPECT_EQ(names(), (std::set<std::string>{"Done.bin", "late.bin"}));
  ASSERT_TRUE(SetFileAttributes(dir.win("late.bin"), kAttrNormal));
}

// New files land in the folder their path names now, also when it was removed and made again
// between two of them, by this program or behind its back, or moved away by this program.
TEST(File, StagedFilesGoWhereTheirPathLeadsNow) {
  TempDir dir;
  const auto stage = [&](const std::string& name, std::string_view bytes) {
    auto file = File::CreateStaged(dir.win(name));
    ASSERT_NE(file, nullptr) << name << " error " << LastError();
    file->Write(bytes.data(), bytes.size());
    EXPECT_TRUE(file->Commit()) << name;
  };
  ASSERT_TRUE(CreateDirectory(dir.win("App")));
  stage("App\\one.bin", "1");
  ASSERT_TRUE(DeleteFile(dir.win("App\\one.bin")));
  ASSERT_TRUE(RemoveDirectory(dir.win("App")));
  ASSERT_TRUE(CreateDirectory(dir.win("App")));
  stage("App\\two.bin", "2");
  ASSERT_TRUE(MoveFile(dir.win("App"), dir.win("Old"), false));
  std::filesystem::create_directory(dir.host() / "App");
  stage("App\\three.bin", "3");
  ASSERT_TRUE(DeleteFile(dir.win("App\\three.bin")));
  std::filesystem::remove(dir.host() / "App");
  std::filesystem::create_directory(dir.host() / "App");
  stage("App\\four.bin", "4");
  EXPECT_EQ(ReadHostFile(dir.host() / "Old" / "two.bin"), "2");
  EXPECT_EQ(ReadHostFile(dir.host() / "App" / "four.bin"), "4");
  EXPECT_EQ(Names(FindFiles(dir.win("App\\*"))), (std::set<std::string>{"four.bin"}));
  EXPECT_EQ(Names(FindFiles(dir.win("Old\\*"))), (std::set<std::string>{"two.bin"}));
}

TEST(File, CreateSeesEntriesMadeBehindItsBack) {
  // Names created in a folder by somebody else after our own files still count. (Within the
  // same tick of the file system's clock the two cannot be told apart: the names are
  // remembered by the folder's time, so the test lets a tick pass.)
  TempDir dir;
  for (int i = 0; i < 3; ++i) WriteFile(dir.win("own" + std::to_string(i)), "x");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  dir.Write("Other.Txt", "theirs");
  EXPECT_EQ(File::CreateNew(dir.win("OTHER.TXT")), nullptr);
  EXPECT_EQ(LastError(), kErrorFileExists);
  WriteFile(dir.win("other.txt"), "ours");
  EXPECT_EQ(ReadHostFile(dir.host() / "Other.Txt"), "ours");
  EXPECT_EQ(FindFiles(dir.win("*.txt")).size(), 1u);
}

TEST(Errors, MessagesAreTheWindowsTexts) {
  EXPECT_EQ(SystemErrorMessage(kErrorFileNotFound), "The system cannot find the file specified.");
  EXPECT_EQ(SystemErrorMessage(kErrorPathNotFound), "The system cannot find the path specified.");
  EXPECT_EQ(SystemErrorMessage(kErrorAccessDenied), "Access is denied.");
  EXPECT_EQ(SystemErrorMessage(kErrorDirNotEmpty), "The directory is not empty.");
  SetLastError(kErrorAccessDenied);
  const OSError error = LastOSError();
  EXPECT_EQ(error.code(), kErrorAccessDenied);
  EXPECT_STREQ(error.what(), "Access is denied.");
}

}  // namespace
}  // namespace valise::platform
