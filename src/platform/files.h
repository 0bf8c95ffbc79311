// Files and directories in Windows path syntax: drive letters, backslashes, names matched
// without regard to case. Calls that report failure by their result set LastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace valise::platform {

// File attributes, with the values of the Windows FILE_ATTRIBUTE_ constants.
enum FileAttribute : std::uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};

// 100-nanosecond intervals since 1601-01-01 UTC, as a Windows FILETIME.
using FileTime = std::uint64_t;

struct FindEntry {
  std::string name;  // the entry's name alone, UTF-8
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  FileTime creationTime = 0;  // on Linux the last-write time, as Wine reports it
  FileTime lastWriteTime = 0;
};

// Lists the entries that match `pattern`, a path whose last component may hold the wildcards
// "*" and "?" (matched as FindFirstFile matches them, "*.*" matching every name). Every
// attribute is admitted; "." and ".." are never listed. The visitor returns false to stop.
// Returns false (LastError set) when the folder cannot be read or nothing matched.
bool FindFiles(std::string_view pattern, const std::function<bool(const FindEntry&)>& visit);
std::vector<FindEntry> FindFiles(std::string_view pattern);

// How many new files are worth making at once. On Windows (and under Wine) each file is a
// few round trips into the system that other files' can overlap; on Linux making files in a
// folder takes the folder's lock, and more threads only add work. 1: one after the other
// (their bytes may still be copied beside the thread that makes them).
std::size_t ConcurrentFileCreations();

// The entry's attributes, or nothing when it does not exist (LastError set).
std::optional<std::uint32_t> GetFileAttributes(std::string_view path);
// The entry at `path` (no wildcards) as a search lists it, its name as the path gives it; or
// nothing when it does not exist (LastError set). One call into the system where a search
// takes three, and none into Wine's server.
std::optional<FindEntry> GetFileInfo(std::string_view path);
bool SetFileAttributes(std::string_view path, std::uint32_t attributes);

// Copies a file as CopyFile does: the copy keeps the source's attributes and last-write time.
// With failIfExists an existing destination is an error; otherwise it is overwritten (a
// read-only destination makes the copy fail).
bool CopyFile(std::string_view source, std::string_view destination, bool failIfExists);
// Renames a file; with replace an existing destination is replaced atomically.
bool MoveFile(std::string_view source, std::string_view destination, bool replace);
// Deletes a file. A read-only file or a folder is refused (kErrorAccessDenied); a missing file
// sets kErrorFileNotFound, a missing folder on the way kErrorPathNotFound.
bool DeleteFile(std::string_view path);
bool CreateDirectory(std::string_view path);
// Asks the system to delete a file (or an empty folder) when it next starts, for what stays in
// use now. True when that is scheduled; false (LastError set) where it cannot be: an account
// that may not ask for it, or a system without such a thing (the posix backend).
bool DeleteAtRestart(std::string_view path);
// The folder for temporary files, without a trailing backslash.
std::string GetTempDirectory();
// Removes an empty directory. A link (symbolic link, junction) in place of the directory is
// never removed through: the folder it points to stays. On Linux the call fails then
// (kErrorDirectory); on Windows the link itself may go.
bool RemoveDirectory(std::string_view path);

// What DeleteFileInFolder did with the file.
struct DeleteResult {
  enum class Outcome {
    Deleted,  // the file was there and is gone
    Missing,  // the file, or its folder, was not there: it counts as removed
    Failed,   // the file is still there (or was not touched); `error` says why
  };
  Outcome outcome = Outcome::Failed;
  // The system error code when the file was not deleted: kErrorFileNotFound or
  // kErrorPathNotFound when Missing, kErrorReparsePointEncountered when a link stood in place
  // of the folder, otherwise what the system reported.
  std::uint32_t error = 0;

  // Whether the file is gone (deleted now or missing before).
  bool removed() const { return outcome != Outcome::Failed; }
};

// Deletes the file `name` (a bare name, no folder) from `folder`, for removing what was once
// installed. Unlike DeleteFile it clears the file's read-only attribute, and it never follows a
// link: a symbolic link (on Windows a reparse point) in place of the folder makes it refuse,
// and a link in place of the file is deleted as a link, never its target. Sets LastError when
// the file was not deleted. Safe to call from several threads at once.
DeleteResult DeleteFileInFolder(std::string_view folder, std::string_view name);

std::string GetCurrentDirectory();
bool SetCurrentDirectory(std::string_view path);
// The full path of a possibly relative path, resolved against the current directory.
std::string GetFullPathName(std::string_view path);

// Bytes free on the drive or share holding the path that the caller may use, or nothing.
std::optional<std::uint64_t> GetDiskFreeBytes(std::string_view path);

// The running program's own full path, and its command-line parameters (without the program
// name) split as the Windows runtime splits them.
std::string ProgramPath();
std::vector<std::string> CommandLineParameters();

// An open file. Reads and writes move the file position.
class File {
 public:
  enum class Share { Read, ReadWrite };

  // Opens an existing file for reading. Other readers may always open it; with
  // Share::ReadWrite writers may too. Returns null (LastError set) on failure.
  static std::unique_ptr<File> OpenRead(std::string_view path, Share share = Share::Read);
  // Creates or truncates a file for writing, denying other writers. Null on failure.
  static std::unique_ptr<File> Create(std::string_view path);
  // Create, the file getting the attributes of the file `model` (on Linux its mode) as a copy
  // of that file would, but for read-only: for a copy of only part of it, which its writer may
  // replace or delete later. Null on failure.
  static std::unique_ptr<File> CreateLike(std::string_view path, std::string_view model);
  // Creates a file that is not there yet, for writing, denying other writers. Null on failure;
  // LastError is kErrorFileExists when an entry of that name (in any letter case) exists.
  static std::unique_ptr<File> CreateNew(std::string_view path);
  // Makes a file that is the file `path` only when it is complete (see Commit), so that a
  // crash while it is written leaves no partial file under that name. On Linux the file has no
  // name at all until then, and a crash leaves nothing. On Windows it holds its name from the
  // start, marked for deletion (nobody else can open it, and the system deletes it when its
  // handle closes, also that of a killed process) until Commit takes the mark back; a kill
  // between the file's creation and its mark, two calls apart, leaves it empty. Null when an
  // entry of that name exists (LastError kErrorFileExists) or the file cannot be made. A staged
  // file that is never committed is removed when it is closed. With `replace`, nothing is
  // looked for first, the file is written under a temporary name in the same folder (see
  // CreateTemporaryFile), and Commit replaces a file of that name whole (but neither a
  // read-only file nor a folder: kErrorAccessDenied).
  static std::unique_ptr<File> CreateStaged(std::string_view path, bool replace = false);

  virtual ~File() = default;

  // The path the file was opened by, as it was given; the errors of the calls below name it.
  const std::string& path() const { return path_; }

  // Reads up to `size` bytes; returns the count read, 0 at the end. Throws OSError on failure.
  // Every OSError of these calls names the file: "Cannot read C:\\X.BIN: ...".
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
  // Reads up to `size` bytes from `position` on; returns the count read, 0 at the end. Leaves
  // the file position unspecified. Throws OSError on failure.
  virtual std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) = 0;
  // Writes all bytes or throws OSError.
  virtual void Write(const void* buffer, std::size_t size) = 0;
  virtual void Seek(std::uint64_t position) = 0;
  virtual std::uint64_t Position() const = 0;
  virtual std::uint64_t Size() const = 0;
  // Appends up to `size` bytes of `source` from `position` on, inside the system where it can
  // (no copy through this process's memory); returns the count copied, 0 at the source's end.
  // Nothing when the system cannot copy between these two files: the caller reads and writes.
  virtual std::optional<std::size_t> CopyRangeFrom(File& source, std::uint64_t position,
                                                   std::size_t size) {
    (void)source, (void)position, (void)size;
    return std::nullopt;
  }
  // Flushes written data to the disk.
  virtual void Sync() = 0;
  virtual void SetLastWriteTime(FileTime time) = 0;
  // Gives a file of CreateStaged its name once it is complete; nothing may be written after.
  // False when an entry of that name came meanwhile (LastError kErrorAlreadyExists) or the
  // name could not be given: the staged file is gone then. Any other file has its name: true.
  virtual bool Commit() { return true; }

 protected:
  explicit File(std::string_view path) : path_(path) {}

 private:
  std::string path_;
};

// Makes a new file named "~VL", six hexadecimal digits and ".TMP" in `folder`, a name no other
// entry there has, and sets `path` to its full path; null (LastError set) when none can be made.
// Such names are the leftovers of copies that were stopped: a later install or removal of the
// folder deletes them.
std::unique_ptr<File> CreateTemporaryFile(std::string_view folder, std::string& path);

// Reads a whole file; throws OSError, naming the file, when it cannot be read.
std::string ReadWholeFile(std::string_view path);

}  // namespace valise::platform
