// Helpers for the tests: exceptions matched by message, and fresh temporary folders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

// Expects `statement` to throw `type` whose what() equals `message` exactly.
#define EXPECT_THROW_MSG(statement, type, message)                             \
  do {                                                                         \
    try {                                                                      \
      statement;                                                               \
      ADD_FAILURE() << "expected " #type " \"" << (message) << "\", got none"; \
    } catch (const type& error_) {                                             \
      EXPECT_EQ(std::string(error_.what()), std::string(message));             \
    } catch (const std::exception& other_) {                                   \
      ADD_FAILURE() << "expected " #type ", got \"" << other_.what() << "\"";  \
    }                                                                          \
  } while (false)

namespace valise::testing {

// A new empty folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as the host sees it.
  const std::filesystem::path& host() const { return host_; }
  // The folder as a Windows path, without a trailing backslash.
  std::string win() const;
  // A path below the folder as a Windows path ("a\\b" style relative names).
  std::string win(std::string_view relative) const;
  // Writes a file below the folder (creating its parents) and returns its host path.
  std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;

 private:
  std::filesystem::path host_;
};

// A byte string from byte values, for data with bytes that are not characters.
inline std::string Bytes(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out += static_cast<char>(v);
  return out;
}

// Reads a host file whole.
std::string ReadHostFile(const std::filesystem::path& path);

// A log file's text without the time stamp each line starts with ("2026-12-09T14:40:21.123 ");
// a line without one fails the test.
std::string WithoutTimeStamps(std::string_view log);

// A host path from UTF-8 text, and back. The narrow constructor of std::filesystem::path would
// read the text in the ANSI code page on Windows.
std::filesystem::path HostPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace valise::testing
